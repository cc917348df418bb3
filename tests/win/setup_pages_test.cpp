// The set-up's and the uninstaller's pages at the session's DPI (96 and 144
// dpi sessions run it): every visible control of each page that waits for
// the user has room for its whole text, measured inside the program by
// page_probe. The set-up installs into the prefix's default folder; the
// uninstaller, driven to its end, removes that again.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "page_probe.h"
#include "win32/handles.h"
#include "window_driver.h"

namespace {

using UniqueHook = UniqueHandle<HHOOK, NullHandleTraits<HHOOK, ::UnhookWindowsHookEx>>;
constexpr DWORD kWaitMs = 30000;
constexpr int kPageArea = 1018;  // the wizard's frame of its pages
std::wstring answer;
bool answered = false;

LRESULT CALLBACK Receive(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_COPYDATA) return ::DefWindowProcW(window, message, wParam, lParam);
  answer = static_cast<const wchar_t*>(reinterpret_cast<const COPYDATASTRUCT*>(lParam)->lpData);
  return answered = true;
}

// A program of the test's folder or the installed one; a failed step must
// not leave it holding the run's output.
struct Program {
  explicit Program(const std::wstring& exe, const std::wstring& options = L"") {
    std::wstring command = L"\"" + exe + L"\" " + options;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
      return;
    ::CloseHandle(info.hThread);
    process.reset(info.hProcess);
    id = info.dwProcessId;
  }
  ~Program() {
    if (::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) ::TerminateProcess(process.get(), 1);
  }
  // A visible dialog of it with the control: the wizard (its page area) or a question (its Yes).
  HWND Dialog(int control) const {
    HWND found = nullptr;
    WaitUntil(
        [&] {
          for (found = nullptr; (found = ::FindWindowExW(nullptr, found, L"#32770", nullptr)) != nullptr;) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(found, &owner);
            if (owner == id && ::IsWindowVisible(found) && ::GetDlgItem(found, control)) return true;
          }
          return false;
        },
        kWaitMs);
    return found;
  }
  bool Ended() const { return ::WaitForSingleObject(process.get(), kWaitMs) == WAIT_OBJECT_0; }
  UniqueKernelHandle process;
  DWORD id = 0;
};

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
  const Program setup(std::wstring(own, wcsrchr(own, L'\\') + 1) +
                          (sizeof(void*) == 8 ? L"morvane-setup-x64.exe" : L"morvane-setup-x86.exe"),
                      L"/D=" + std::wstring(folder));
  HWND wizard = setup.Dialog(kPageArea);
  ASSERT_TRUE(wizard) << "no set-up window";
  EXPECT_EQ(Misfits(wizard), L"") << "welcome page";
  ASSERT_TRUE(Press(wizard, IDOK));
  HWND run = nullptr;  // the finish page's check box, whose page is up once it is
  ASSERT_TRUE(WaitUntil(
      [&] { return (run = ::GetDlgItem(::FindWindowExW(wizard, nullptr, L"#32770", nullptr), 1203)); }, kWaitMs))
      << "no finish page";
  EXPECT_EQ(Misfits(wizard), L"") << "finish page";
  ::SendMessageW(run, BM_SETCHECK, BST_UNCHECKED, 0);  // Morvane not started
  ASSERT_TRUE(Press(wizard, IDOK) && setup.Ended()) << "the set-up does not end";

  const Program uninstaller(std::wstring(folder) + L"\\uninstall.exe");
  HWND question = uninstaller.Dialog(IDYES);
  ASSERT_TRUE(Press(question, IDYES) && WaitUntilGone(question, kWaitMs)) << "no uninstall question";
  ASSERT_TRUE(Press(uninstaller.Dialog(IDNO), IDNO)) << "no question on the stored account";  // kept
  wizard = uninstaller.Dialog(kPageArea);
  ASSERT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(::GetDlgItem(wizard, IDOK)); }, kWaitMs)) << "not done";
  EXPECT_EQ(Misfits(wizard), L"") << "the uninstaller's last page";
  ASSERT_TRUE(Press(wizard, IDOK) && uninstaller.Ended()) << "the uninstaller does not end";
  // Its copy in the temporary folder removes the folder once it has ended.
  EXPECT_TRUE(WaitUntil([&] { return ::GetFileAttributesW(folder) == INVALID_FILE_ATTRIBUTES; }, kWaitMs));
}

}  // namespace
