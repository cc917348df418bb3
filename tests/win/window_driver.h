#pragma once
// Drives the windows of another process as a user would: finds them, fills
// edits, presses buttons and reads what controls show. Presses are posted,
// so a button whose handler blocks its thread does not block the test.
#include <windows.h>

#include <optional>
#include <string>

#include "win32/handles.h"

template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs) {
  for (const DWORD start = ::GetTickCount(); !condition(); ::Sleep(50))
    if (::GetTickCount() - start >= timeoutMs) return false;
  return true;
}

// The first visible top-level window of the process with that class and
// caption (any when null; "" is an empty one) in z-order, waiting up to
// timeoutMs for one.
inline HWND WaitForWindow(DWORD processId, const wchar_t* windowClass, const wchar_t* caption, DWORD timeoutMs) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (found = nullptr; (found = ::FindWindowExW(nullptr, found, windowClass, caption)) != nullptr;) {
          DWORD owner = 0;
          if (::GetWindowThreadProcessId(found, &owner) && owner == processId && ::IsWindowVisible(found)) return true;
        }
        return false;
      },
      timeoutMs);
  return found;
}

// The text of a control; nullopt when it or its thread does not answer.
inline std::optional<std::wstring> ControlText(HWND dialog, int id) {
  wchar_t text[1024] = {};
  if (!::SendMessageTimeoutW(::GetDlgItem(dialog, id), WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 5000, nullptr))
    return std::nullopt;
  return text;
}

// A control whose thread hangs keeps its text, and the check that follows says so.
inline void SetControlText(HWND dialog, int id, const std::wstring& text) {
  ::SendMessageTimeoutW(::GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
}

inline bool ClickButton(HWND dialog, int id) { return ::PostMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0) != 0; }

inline bool WaitUntilGone(HWND window, DWORD timeoutMs) {
  return WaitUntil([&] { return !::IsWindow(window); }, timeoutMs);
}

// The window's thread handles a message within the time.
inline bool Answers(HWND window, DWORD timeoutMs = 5000) {
  return ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeoutMs, nullptr) != 0;
}

// The window with the keyboard focus on that window's thread; null when none has it.
inline HWND FocusOf(HWND window) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  return ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
}

// A program the test starts (an exe, or a set-up with its options), ended if
// it still runs when the test is done with it: gone once this returns.
class StartedProgram {
 public:
  explicit StartedProgram(const std::wstring& exe, const std::wstring& options = L"") {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    std::wstring command = L"\"" + exe + L"\"" + (options.empty() ? L"" : L" " + options);
    if (!::CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_))
      return;
    ::CloseHandle(info_.hThread);
    process_.reset(info_.hProcess);
  }
  ~StartedProgram() {
    if (process_ && !WaitForExit(0) && ::TerminateProcess(process_.get(), 1)) WaitForExit(10000);
  }
  DWORD ProcessId() const { return info_.dwProcessId; }
  std::optional<DWORD> WaitForExit(DWORD timeoutMs) const {
    DWORD code = 0;
    if (!process_ || ::WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
    ::GetExitCodeProcess(process_.get(), &code);
    return code;
  }

 private:
  PROCESS_INFORMATION info_ = {};
  UniqueKernelHandle process_;
};
