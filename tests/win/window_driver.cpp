#include "tests/win/window_driver.h"

namespace {

// Long enough for a busy user-interface thread, short enough that a hung
// one fails the test instead of stalling it.
constexpr UINT kAnswerTimeoutMs = 5000;
constexpr DWORD kPollMs = 50;

struct Search {
  const WindowQuery* query;
  std::vector<HWND> found;
};

bool TextEquals(HWND window, const wchar_t* expected, bool isClass) {
  wchar_t text[256] = {};
  if (isClass)
    ::GetClassNameW(window, text, 256);
  else
    ::GetWindowTextW(window, text, 256);
  return lstrcmpW(text, expected) == 0;
}

BOOL CALLBACK Collect(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<Search*>(parameter);
  const WindowQuery& query = *search->query;
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != query.processId) return TRUE;
  if (query.visibleOnly && !::IsWindowVisible(window)) return TRUE;
  if (query.windowClass && !TextEquals(window, query.windowClass, true)) return TRUE;
  if (query.caption && !TextEquals(window, query.caption, false)) return TRUE;
  search->found.push_back(window);
  return TRUE;
}

}  // namespace

std::vector<HWND> FindProcessWindows(const WindowQuery& query) {
  Search search{&query, {}};
  ::EnumWindows(Collect, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitForProcessWindow(const WindowQuery& query, DWORD timeoutMs) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    const std::vector<HWND> found = FindProcessWindows(query);
    if (!found.empty()) return found.front();
    if (::GetTickCount() - start >= timeoutMs) return nullptr;
    ::Sleep(kPollMs);
  }
}

std::optional<std::wstring> ReadControlText(HWND dialog, int id) {
  HWND control = ::GetDlgItem(dialog, id);
  if (!control) return std::nullopt;
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &length))
    return std::nullopt;
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!::SendMessageTimeoutW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                             kAnswerTimeoutMs, &copied))
    return std::nullopt;
  text.resize(copied < text.size() ? static_cast<size_t>(copied) : text.size() - 1);
  return text;
}

bool SetEditText(HWND dialog, int id, const std::wstring& text) {
  HWND control = ::GetDlgItem(dialog, id);
  DWORD_PTR result = 0;
  return control && ::SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                                          SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &result) &&
         result == TRUE;
}

bool ClickButton(HWND dialog, int id) {
  HWND button = ::GetDlgItem(dialog, id);
  return button && ::PostMessageW(button, BM_CLICK, 0, 0);
}

bool WaitForControlText(HWND dialog, int id, const std::wstring& text, DWORD timeoutMs) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    if (ReadControlText(dialog, id) == text) return true;
    if (::GetTickCount() - start >= timeoutMs) return false;
    ::Sleep(kPollMs);
  }
}

bool WaitUntilWindowGone(HWND window, DWORD timeoutMs) {
  const DWORD start = ::GetTickCount();
  while (::IsWindow(window)) {
    if (::GetTickCount() - start >= timeoutMs) return false;
    ::Sleep(kPollMs);
  }
  return true;
}
