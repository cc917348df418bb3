#pragma once
// Drives a modal dialog the way a user would, from a second thread: the
// dialog runs its own modal loop on the test's thread while the driver looks
// at it and presses its buttons and keys.

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

struct DrivenDialog {
  INT_PTR result = -1;        // what the modal call returned
  bool appeared = false;      // the dialog came on screen
  bool closedByDriver = false;  // it was gone when the driver had done its part
};

// Calls show on this thread; once the dialog that show opens is visible,
// drive runs on another thread with its handle. A dialog that drive leaves
// open is cancelled after a grace period so that the test can go on.
DrivenDialog RunDrivenDialog(const std::function<INT_PTR()>& show, const std::function<void(HWND)>& drive);

// The visible top-level dialog window of the given thread, found with
// FindWindowExW among the windows of the dialog class.
HWND WaitForDialogOfThread(DWORD threadId, std::chrono::milliseconds timeout);

// A click on a push button, as the button reports it to its dialog; returns
// once the dialog has handled it.
void PressButton(HWND dialog, int id);
// A key pressed and released on the control that has the focus.
void PressKey(HWND dialog, UINT virtualKey);
// Characters typed into a control, one WM_CHAR each.
void TypeInto(HWND dialog, int id, const std::wstring& text);
void SetControlText(HWND dialog, int id, const std::wstring& text);
std::wstring ControlText(HWND dialog, int id);
// True when the window is gone within the timeout.
bool WaitUntilClosed(HWND window, std::chrono::milliseconds timeout);
