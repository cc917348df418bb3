#pragma once
// Drives the windows of another process as a user would: finds its
// top-level windows, fills its edits, presses its buttons and reads what
// its controls show. Presses are posted, so a button whose handler blocks
// its thread (a log-in on the wire) does not block the test.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

struct WindowQuery {
  DWORD processId = 0;
  const wchar_t* windowClass = nullptr;  // any class when null
  const wchar_t* caption = nullptr;      // any caption when null
  bool visibleOnly = true;
};

// The matching top-level windows, in z-order.
std::vector<HWND> FindProcessWindows(const WindowQuery& query);
// The first matching top-level window, waiting up to timeoutMs for one.
HWND WaitForProcessWindow(const WindowQuery& query, DWORD timeoutMs);

// The text of a control, or nullopt when the control or its thread does not
// answer.
std::optional<std::wstring> ReadControlText(HWND dialog, int id);
bool SetEditText(HWND dialog, int id, const std::wstring& text);
// A click on a push button (BM_CLICK), posted to the button.
bool ClickButton(HWND dialog, int id);
// Waits until the control shows exactly the text.
bool WaitForControlText(HWND dialog, int id, const std::wstring& text, DWORD timeoutMs);
bool WaitUntilWindowGone(HWND window, DWORD timeoutMs);
