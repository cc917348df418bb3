#pragma once
// The hidden main window: the tray icon's target and the home of every command.

#include <windows.h>

constexpr int kResourceTextCapacity = 100;  // characters of the title and class name

// Loads the window title and class name from the string table.
void LoadMainWindowTexts(HINSTANCE instance);
void RegisterMainClass(HINSTANCE instance);
BOOL StartApplication(HINSTANCE instance);
HWND TheMainWindow();

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
