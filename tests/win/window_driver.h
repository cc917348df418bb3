#pragma once
// Drives the windows of another process as a user would: finds them, fills
// edits, presses buttons and reads what controls show. Presses are posted,
// so a button whose handler blocks its thread does not block the test.
#include <windows.h>

#include <optional>
#include <string>

template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs) {
  for (const DWORD start = ::GetTickCount(); !condition(); ::Sleep(50))
    if (::GetTickCount() - start >= timeoutMs) return false;
  return true;
}

struct WindowSearch {
  DWORD processId;
  const wchar_t *windowClass, *caption;  // any when null
  HWND found = nullptr;
};

inline BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter) {
  auto& search = *reinterpret_cast<WindowSearch*>(parameter);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  wchar_t name[256] = {}, caption[256] = {};
  ::GetClassNameW(window, name, 256);
  ::GetWindowTextW(window, caption, 256);
  if (owner == search.processId && ::IsWindowVisible(window) &&
      (!search.windowClass || lstrcmpW(name, search.windowClass) == 0) &&
      (!search.caption || lstrcmpW(caption, search.caption) == 0))
    search.found = window;
  return !search.found;
}

// The first visible top-level window of the process with that class and
// caption in z-order, waiting up to timeoutMs for one.
inline HWND WaitForWindow(DWORD processId, const wchar_t* windowClass, const wchar_t* caption, DWORD timeoutMs) {
  WindowSearch search{processId, windowClass, caption};
  WaitUntil([&] { return !::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search)) && search.found; }, timeoutMs);
  return search.found;
}

// The text of a control; nullopt when it or its thread does not answer.
inline std::optional<std::wstring> ControlText(HWND dialog, int id) {
  wchar_t text[1024] = {};
  DWORD_PTR copied = 0;
  const HWND control = ::GetDlgItem(dialog, id);
  if (!control || !::SendMessageTimeoutW(control, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                                         5000, &copied))
    return std::nullopt;
  return std::wstring(text);
}

inline bool SetControlText(HWND dialog, int id, const std::wstring& text) {
  DWORD_PTR result = 0;
  const HWND control = ::GetDlgItem(dialog, id);
  return control &&
         ::SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 5000,
                               &result) &&
         result == TRUE;
}

inline bool ClickButton(HWND dialog, int id) { return ::PostMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0) != 0; }

inline bool WaitForControlText(HWND dialog, int id, const std::wstring& text, DWORD timeoutMs) {
  return WaitUntil([&] { return ControlText(dialog, id) == text; }, timeoutMs);
}

inline bool WaitUntilGone(HWND window, DWORD timeoutMs) {
  return WaitUntil([&] { return !::IsWindow(window); }, timeoutMs);
}

// The window's thread handles a message within the time.
inline bool Answers(HWND window, DWORD timeoutMs = 5000) {
  DWORD_PTR result = 0;
  return ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeoutMs, &result) != 0;
}
