#pragma once
// The Run value that starts the program when the user logs on.

#include <string>

constexpr wchar_t kRunKeyPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRunValueName[] = L"Morvane";
constexpr int kRunCommandCapacity = 260;  // characters, terminator included

// The executable's full path in double quotes, or the empty text when it does
// not fit the command buffer (a cut path would start nothing).
std::wstring BuildAutostartCommand(const std::wstring& executablePath);

// Writes the Run value when it is missing or differs from the quoted path of
// the running executable, compared exactly.
void EnsureAutostart();
