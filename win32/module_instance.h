#pragma once
// The module the program's dialogs, icons and strings are loaded from.

#include <windows.h>

// Kept once by start-up, before any window exists; null until then, which
// the resource calls read as the executable itself.
void KeepModuleInstance(HINSTANCE instance);
HINSTANCE TheModuleInstance();
