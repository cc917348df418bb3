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
constexpr DWORD kWaitMs = 60000;
constexpr int kPageArea = 1018;  // the wizard's frame of the pages

std::wstring answer;
bool answered = false;

LRESULT CALLBACK Receive(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_COPYDATA) return ::DefWindowProcW(window, message, wParam, lParam);
  answer = static_cast<const wchar_t*>(reinterpret_cast<const COPYDATASTRUCT*>(lParam)->lpData);
  answered = true;
  return TRUE;
}

// A visible dialog of the process that has the control: the wizard (its page
// area) or a message box (its Yes button).
HWND WaitForDialogWith(DWORD process, int control) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (found = nullptr; (found = ::FindWindowExW(nullptr, found, L"#32770", nullptr)) != nullptr;) {
          DWORD owner = 0;
          ::GetWindowThreadProcessId(found, &owner);
          if (owner == process && ::IsWindowVisible(found) && ::GetDlgItem(found, control)) return true;
        }
        return false;
      },
      kWaitMs);
  return found;
}

// The wizard's current page ends with a check box: the set-up's finish page.
bool OnFinishPage(HWND wizard) {
  HWND page = ::FindWindowExW(wizard, nullptr, L"#32770", nullptr);
  for (HWND c = nullptr; (c = ::FindWindowExW(page, c, L"Button", nullptr)) != nullptr;)
    if ((::GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK) == BS_AUTOCHECKBOX) return ::IsWindowVisible(page);
  return false;
}

class SetupPages : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSW type = {};
    type.lpfnWndProc = Receive;
    type.lpszClassName = L"MorvanePageReceiver";
    ::RegisterClassW(&type);
    receiver_.reset(::CreateWindowW(type.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
  }

  // Starts the program and waits for its first dialog with that control.
  HWND Start(const std::wstring& exe, int control) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    std::wstring command = L"\"" + exe + L"\"";
    EXPECT_TRUE(::CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        << "cannot start the program";
    ::CloseHandle(info.hThread);
    process_.reset(info.hProcess);
    processId_ = info.dwProcessId;
    return WaitForDialogWith(processId_, control);
  }

  // The controls of the wizard whose text has no room, as the program measures them.
  std::wstring Misfits(HWND wizard) {
    const UniqueHook hook(ProbePages(::GetWindowThreadProcessId(wizard, nullptr)));
    answered = false;
    ::PostMessageW(wizard, ::RegisterWindowMessageW(kProbeMessage), reinterpret_cast<WPARAM>(receiver_.get()), 0);
    for (const DWORD start = ::GetTickCount(); !answered && ::GetTickCount() - start < kWaitMs; ::Sleep(10))
      for (MSG m; ::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE);) ::DispatchMessageW(&m);
    return answered ? answer : L"the page did not answer";
  }

  void Press(HWND dialog, int button) {
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(::GetDlgItem(dialog, button)); }, kWaitMs))
        << "button " << button << " stays disabled";
    ClickButton(dialog, button);
  }

  // A program left waiting by a failed step must not hold the run's output.
  void TearDown() override {
    if (process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) ::TerminateProcess(process_.get(), 1);
  }

  bool Ended() { return ::WaitForSingleObject(process_.get(), kWaitMs) == WAIT_OBJECT_0; }

  UniqueWindow receiver_;
  UniqueKernelHandle process_;
  DWORD processId_ = 0;
};

TEST_F(SetupPages, ShowTheirWholeText) {
  wchar_t own[MAX_PATH] = {}, folder[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, own, MAX_PATH);
  const std::wstring bin(own, wcsrchr(own, L'\\') + 1);
  HWND wizard = Start(bin + (sizeof(void*) == 8 ? L"morvane-setup-x64.exe" : L"morvane-setup-x86.exe"), kPageArea);
  ASSERT_TRUE(wizard) << "no set-up window";
  EXPECT_EQ(Misfits(wizard), L"") << "welcome page";
  Press(wizard, IDOK);
  ASSERT_TRUE(WaitUntil([&] { return OnFinishPage(wizard); }, kWaitMs)) << "no finish page";
  EXPECT_EQ(Misfits(wizard), L"") << "finish page";
  HWND page = ::FindWindowExW(wizard, nullptr, L"#32770", nullptr);
  ::SendMessageW(::FindWindowExW(page, nullptr, L"Button", nullptr), BM_SETCHECK, BST_UNCHECKED, 0);  // not started
  Press(wizard, IDOK);
  ASSERT_TRUE(Ended()) << "the set-up does not end";

  ::ExpandEnvironmentStringsW(L"%LOCALAPPDATA%\\Programs\\Morvane", folder, MAX_PATH);
  HWND question = Start(std::wstring(folder) + L"\\uninstall.exe", IDYES);
  Press(question, IDYES);
  ASSERT_TRUE(WaitUntilGone(question, kWaitMs)) << "the uninstall's question stays";
  Press(WaitForDialogWith(processId_, IDNO), IDNO);  // the stored account kept
  wizard = WaitForDialogWith(processId_, kPageArea);
  ASSERT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(::GetDlgItem(wizard, IDOK)); }, kWaitMs)) << "not done";
  EXPECT_EQ(Misfits(wizard), L"") << "the uninstaller's last page";
  Press(wizard, IDOK);
  ASSERT_TRUE(Ended()) << "the uninstaller does not end";
  // Its copy in the temporary folder removes the folder once it has ended.
  EXPECT_TRUE(WaitUntil([&] { return ::GetFileAttributesW(folder) == INVALID_FILE_ATTRIBUTES; }, kWaitMs));
}

}  // namespace
