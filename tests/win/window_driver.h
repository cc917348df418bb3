#pragma once
// Drives top-level windows as a user would, those of another process and
// those of the test's own (pass GetCurrentProcessId()): finds them, fills
// edits, presses buttons and reads what controls show. Presses are posted,
// so a button whose handler blocks its thread does not block the test.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// The visible top-level windows of the process with that class and caption
// (any when null), in z-order.
std::vector<HWND> FindWindows(DWORD processId, const wchar_t* windowClass, const wchar_t* caption = nullptr);
// The first of them, waiting up to timeoutMs for one.
HWND WaitForWindow(DWORD processId, const wchar_t* windowClass, const wchar_t* caption, DWORD timeoutMs);
// The text of a control; nullopt when it or its thread does not answer.
std::optional<std::wstring> ControlText(HWND dialog, int id);
bool SetControlText(HWND dialog, int id, const std::wstring& text);
bool ClickButton(HWND dialog, int id);
bool WaitForControlText(HWND dialog, int id, const std::wstring& text, DWORD timeoutMs);
bool WaitUntilGone(HWND window, DWORD timeoutMs);
// The window's thread handles a message within the time.
bool Answers(HWND window, DWORD timeoutMs = 5000);
