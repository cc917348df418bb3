#pragma once
// The pop-up in the bottom-right corner that announces new requests.

#include <windows.h>

// Shows dialog 130 modally, without an owner, on the calling thread, and
// returns when the user has closed it.
void ShowNotificationDialogModally();

INT_PTR CALLBACK NotificationDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void InitNotificationDialog(HWND dialog);
