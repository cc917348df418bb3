// The set-up's pages at the session's DPI (96 and 144 dpi sessions run it):
// every visible control of each page that waits for the user has room for
// its whole text, measured inside the set-up by page_probe. The set-up
// installs into the prefix's default folder; the uninstaller removes it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "page_probe.h"
#include "win32/handles.h"
#include "window_driver.h"

namespace {

using UniqueHook = UniqueHandle<HHOOK, NullHandleTraits<HHOOK, ::UnhookWindowsHookEx>>;
constexpr DWORD kWaitMs = 30000;
std::wstring answer;
bool answered = false;

LRESULT CALLBACK Receive(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_COPYDATA) return ::DefWindowProcW(window, message, wParam, lParam);
  answer = static_cast<const wchar_t*>(reinterpret_cast<const COPYDATASTRUCT*>(lParam)->lpData);
  return answered = true;
}

bool Ended(const StartedProgram& program) { return program.WaitForExit(kWaitMs).has_value(); }

// The controls of the wizard whose text has no room, as its own process measures them.
std::wstring Misfits(HWND wizard) {
  static const UniqueWindow receiver(
      ::CreateWindowW(L"Static", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
  ::SetWindowLongPtrW(receiver.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Receive));
  const UniqueHook hook(ProbePages(::GetWindowThreadProcessId(wizard, nullptr)));
  answered = false;
  ::PostMessageW(wizard, ::RegisterWindowMessageW(kProbeMessage), reinterpret_cast<WPARAM>(receiver.get()), 0);
  for (const DWORD start = ::GetTickCount(); !answered && ::GetTickCount() - start < kWaitMs; ::Sleep(10))
    for (MSG m; ::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE);) ::DispatchMessageW(&m);
  return answered ? answer : L"the page did not answer";
}

// Presses the button once it is enabled (on the wizard: the page's work is done).
bool Press(HWND dialog, int button) {
  return WaitUntil([&] { return ::IsWindowEnabled(::GetDlgItem(dialog, button)); }, kWaitMs) &&
         ClickButton(dialog, button);
}

TEST(SetupPages, ShowTheirWholeText) {
  wchar_t own[MAX_PATH] = {}, folder[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, own, MAX_PATH);
  // Named, so that an installation left elsewhere does not draw the set-up there.
  ::ExpandEnvironmentStringsW(L"%LOCALAPPDATA%\\Programs\\Morvane", folder, MAX_PATH);
  const StartedProgram setup(std::wstring(own, wcsrchr(own, L'\\') + 1) +
                                 (sizeof(void*) == 8 ? L"morvane-setup-x64.exe" : L"morvane-setup-x86.exe"),
                             L"/D=" + std::wstring(folder));
  const HWND wizard = WaitForWindow(setup.ProcessId(), L"#32770", nullptr, kWaitMs);
  ASSERT_TRUE(wizard) << "no set-up window";
  EXPECT_EQ(Misfits(wizard), L"") << "welcome page";
  ASSERT_TRUE(Press(wizard, IDOK));
  HWND run = nullptr;  // the finish page's check box, whose page is up once it is
  ASSERT_TRUE(WaitUntil(
      [&] { return (run = ::GetDlgItem(::FindWindowExW(wizard, nullptr, L"#32770", nullptr), 1203)); }, kWaitMs))
      << "no finish page";
  EXPECT_EQ(Misfits(wizard), L"") << "finish page";
  ::SendMessageW(run, BM_SETCHECK, BST_UNCHECKED, 0);  // Morvane not started
  ASSERT_TRUE(Press(wizard, IDOK) && Ended(setup)) << "the set-up does not end";

  // The uninstaller's own pages are those NSIS draws for every program; it
  // runs silently here, and its copy in the temporary folder removes the folder.
  const StartedProgram uninstaller(std::wstring(folder) + L"\\uninstall.exe", L"/S");
  ASSERT_TRUE(Ended(uninstaller)) << "the uninstaller does not end";
  EXPECT_TRUE(WaitUntil([&] { return ::GetFileAttributesW(folder) == INVALID_FILE_ATTRIBUTES; }, kWaitMs));
}

}  // namespace
