#include "tests/win/window_driver.h"

namespace {

struct Search {
  DWORD processId;
  const wchar_t* windowClass;
  const wchar_t* caption;
  std::vector<HWND> found;
};

BOOL CALLBACK Collect(HWND window, LPARAM parameter) {
  auto& search = *reinterpret_cast<Search*>(parameter);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  wchar_t name[256] = {};
  wchar_t caption[256] = {};
  ::GetClassNameW(window, name, 256);
  ::GetWindowTextW(window, caption, 256);
  if (owner == search.processId && ::IsWindowVisible(window) &&
      (!search.windowClass || lstrcmpW(name, search.windowClass) == 0) &&
      (!search.caption || lstrcmpW(caption, search.caption) == 0))
    search.found.push_back(window);
  return TRUE;
}

template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs) {
  for (const DWORD start = ::GetTickCount(); !condition(); ::Sleep(50))
    if (::GetTickCount() - start >= timeoutMs) return false;
  return true;
}

}  // namespace

std::vector<HWND> FindWindows(DWORD processId, const wchar_t* windowClass, const wchar_t* caption) {
  Search search{processId, windowClass, caption, {}};
  ::EnumWindows(Collect, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitForWindow(DWORD processId, const wchar_t* windowClass, const wchar_t* caption, DWORD timeoutMs) {
  std::vector<HWND> windows;
  WaitUntil([&] { return !(windows = FindWindows(processId, windowClass, caption)).empty(); }, timeoutMs);
  return windows.empty() ? nullptr : windows.front();
}

std::optional<std::wstring> ControlText(HWND dialog, int id) {
  wchar_t text[1024] = {};
  DWORD_PTR copied = 0;
  const HWND control = ::GetDlgItem(dialog, id);
  if (!control || !::SendMessageTimeoutW(control, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                                         5000, &copied))
    return std::nullopt;
  return std::wstring(text);
}

bool SetControlText(HWND dialog, int id, const std::wstring& text) {
  DWORD_PTR result = 0;
  const HWND control = ::GetDlgItem(dialog, id);
  return control &&
         ::SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 5000,
                               &result) &&
         result == TRUE;
}

bool ClickButton(HWND dialog, int id) { return ::PostMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0) != 0; }

bool WaitForControlText(HWND dialog, int id, const std::wstring& text, DWORD timeoutMs) {
  return WaitUntil([&] { return ControlText(dialog, id) == text; }, timeoutMs);
}

bool WaitUntilGone(HWND window, DWORD timeoutMs) {
  return WaitUntil([&] { return !::IsWindow(window); }, timeoutMs);
}

bool Answers(HWND window, DWORD timeoutMs) {
  DWORD_PTR result = 0;
  return ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeoutMs, &result) != 0;
}
