#pragma once
// Starts a program and waits for it, for the tests of the shipped exe.

#include <windows.h>

#include <optional>
#include <string>

#include "win32/handles.h"

class RunningProgram {
 public:
  // Starts exePath with the given command-line arguments; check Started().
  RunningProgram(const std::wstring& exePath, const std::wstring& arguments = L"");
  bool Started() const { return static_cast<bool>(process_); }
  DWORD ProcessId() const { return processId_; }
  // The exit code, or nullopt when the program is still running after timeoutMs.
  std::optional<DWORD> WaitForExit(DWORD timeoutMs);
  void Kill();
  // The first top-level window of the program with the given class, waiting
  // up to timeoutMs for it to appear.
  HWND FindWindowOfClass(const wchar_t* windowClass, DWORD timeoutMs);

 private:
  UniqueKernelHandle process_;
  DWORD processId_ = 0;
};
