#include "notify/new_request_sound_win.h"

#include <windows.h>
#include <mmsystem.h>

#include <string>

#include "win32/handles.h"

namespace {

// Fixed names: the uninstaller removes exactly these. The scheme's key for
// the program is named after the exe, which is how the system finds it.
constexpr wchar_t kEventName[] = L"MorvaneNewRequest";
constexpr wchar_t kEventLabel[] = L"新业务请求";
constexpr wchar_t kProgramKey[] = L"AppEvents\\Schemes\\Apps\\Morvane";
constexpr wchar_t kEventKey[] = L"AppEvents\\Schemes\\Apps\\Morvane\\MorvaneNewRequest";
constexpr wchar_t kLabelKey[] = L"AppEvents\\EventLabels\\MorvaneNewRequest";
constexpr wchar_t kWindowsNotificationKey[] = L"AppEvents\\Schemes\\Apps\\.Default\\Notification.Default\\.Current";
// Windows 10 brought the first file; Windows 7 and 8 have only the second.
constexpr wchar_t kWindows10NotificationFile[] = L"%SystemRoot%\\media\\Windows Notify System Generic.wav";
constexpr wchar_t kWindows7NotificationFile[] = L"%SystemRoot%\\media\\Windows Notify.wav";

struct SchemeValue {
  DWORD type;
  std::wstring text;
};

// The manifest names Windows 10 among the supported systems, so the version
// reported is the real one (Windows 11 reports 10).
bool IsWindows10OrLater() {
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  return ::GetVersionExW(&version) && version.dwMajorVersion >= 10;
}

// The sound the user's scheme gives Windows' own notifications, so the
// announcement sounds like the rest of the desktop; when the scheme names
// none, the notification sound that the running Windows ships.
SchemeValue WindowsNotificationSound() {
  HKEY opened = nullptr;
  ::RegOpenKeyExW(HKEY_CURRENT_USER, kWindowsNotificationKey, 0, KEY_QUERY_VALUE, &opened);
  const UniqueKey key(opened);
  wchar_t text[MAX_PATH] = {};
  DWORD type = REG_NONE, bytes = sizeof(text) - sizeof(wchar_t);
  const bool read = key && ::RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text),
                                              &bytes) == ERROR_SUCCESS;
  if (read && (type == REG_SZ || type == REG_EXPAND_SZ) && text[0] != L'\0') return {type, text};
  return {REG_EXPAND_SZ, IsWindows10OrLater() ? kWindows10NotificationFile : kWindows7NotificationFile};
}

// Writes the key's default value only when it has none: a value that is
// there, the empty text of "none" included, is the user's.
void SetDefaultValueIfAbsent(const std::wstring& path, const SchemeValue& value) {
  HKEY created = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                        &created, nullptr) != ERROR_SUCCESS)
    return;
  const UniqueKey key(created);
  if (::RegQueryValueExW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr) != ERROR_FILE_NOT_FOUND) return;
  ::RegSetValueExW(key.get(), nullptr, 0, value.type, reinterpret_cast<const BYTE*>(value.text.c_str()),
                   static_cast<DWORD>((value.text.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

void RegisterNewRequestSound() {
  SetDefaultValueIfAbsent(kProgramKey, {REG_SZ, L"Morvane"});
  SetDefaultValueIfAbsent(kEventKey, {REG_SZ, kEventLabel});
  SetDefaultValueIfAbsent(kLabelKey, {REG_SZ, kEventLabel});
  const SchemeValue sound = WindowsNotificationSound();
  SetDefaultValueIfAbsent(std::wstring(kEventKey) + L"\\.Default", sound);
  SetDefaultValueIfAbsent(std::wstring(kEventKey) + L"\\.Current", sound);
}

void PlayNewRequestSound() {
  // Asynchronous: neither the worker nor the notice waits for the sound.
  // No default sound stands in for a missing one: no beep.
  ::PlaySoundW(kEventName, nullptr, SND_ALIAS | SND_APPLICATION | SND_ASYNC | SND_NODEFAULT);
}
