#include "app/autostart_win.h"

#include <windows.h>

#include "win32/handles.h"

std::wstring BuildAutostartCommand(const std::wstring& executablePath) {
  // Two quotes and the terminator must fit beside the path.
  if (executablePath.empty() || executablePath.size() > kRunCommandCapacity - 3) return {};
  return L"\"" + executablePath + L"\"";
}

namespace {

std::wstring RunningExecutablePath() {
  wchar_t path[kRunCommandCapacity] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, kRunCommandCapacity);
  // A result that fills the buffer means the path was cut.
  if (length == 0 || length >= kRunCommandCapacity) return {};
  return std::wstring(path, length);
}

}  // namespace

void EnsureAutostart() {
  HKEY opened = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRunKeyPath, 0, KEY_WRITE | KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return;
  UniqueKey key(opened);

  const std::wstring command = BuildAutostartCommand(RunningExecutablePath());
  // An executable path too long for the value is left alone rather than
  // replaced by a cut path.
  if (command.empty()) return;

  // The value may fill all its bytes, terminator included (a path of the
  // longest length that fits); the spare unit keeps the text terminated when
  // it was stored without one.
  wchar_t stored[kRunCommandCapacity + 1] = {};
  DWORD storedBytes = kRunCommandCapacity * sizeof(wchar_t);
  const LONG read =
      ::RegQueryValueExW(key.get(), kRunValueName, nullptr, nullptr, reinterpret_cast<BYTE*>(stored), &storedBytes);
  if (read == ERROR_SUCCESS && command == stored) return;

  const DWORD bytes = static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t));
  ::RegSetValueExW(key.get(), kRunValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()), bytes);
}
