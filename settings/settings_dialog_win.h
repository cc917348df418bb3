#pragma once
// The dialog in which the user enters, tests and saves the shop's account
// and password.

#include <windows.h>

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Fills the edits with the credentials held, and prompts when they are not set.
void InitSettingsDialog(HWND dialog);
// Takes the typed texts over into the credentials and the registry: 1. When
// a field is empty nothing changes: 0.
int ApplySettings(HWND dialog);
