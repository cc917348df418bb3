#pragma once
// Libraries that the program looks up at run time (functions newer than
// Windows 7), loaded from the system folder alone: a DLL of the same name
// beside the exe or in the current folder must never be the one loaded.

#include <windows.h>

// The module, kept loaded until the process ends; null when it is missing.
HMODULE LoadSystemLibrary(const wchar_t* name);

// The function a module exports, or null when the module or the function is
// missing.
template <typename Function>
Function ModuleFunction(HMODULE module, const char* name) {
  return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

// The same, from a library of the system folder.
template <typename Function>
Function SystemFunction(const wchar_t* library, const char* name) {
  return ModuleFunction<Function>(LoadSystemLibrary(library), name);
}
