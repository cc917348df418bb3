#include "tests/win/browser_proxy_settings.h"

#include "win32/handles.h"

namespace {

constexpr wchar_t kConnectionsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
constexpr wchar_t kSettingsValue[] = L"DefaultConnectionSettings";
constexpr DWORD kRecordVersion = 0x46;

void AppendDword(std::vector<std::uint8_t>& bytes, DWORD value) {
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<std::uint8_t>(value >> shift));
}

void AppendText(std::vector<std::uint8_t>& bytes, const std::string& text) {
  AppendDword(bytes, static_cast<DWORD>(text.size()));
  bytes.insert(bytes.end(), text.begin(), text.end());
}

UniqueKey OpenConnectionsKey() {
  HKEY key = nullptr;
  ::RegCreateKeyExW(HKEY_CURRENT_USER, kConnectionsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  return UniqueKey(key);
}

std::optional<std::vector<std::uint8_t>> ReadSettingsValue(HKEY key) {
  DWORD size = 0;
  if (::RegQueryValueExW(key, kSettingsValue, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
  std::vector<std::uint8_t> bytes(size + 1);
  if (::RegQueryValueExW(key, kSettingsValue, nullptr, nullptr, bytes.data(), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  bytes.resize(size);
  return bytes;
}

bool WriteSettingsValue(HKEY key, const std::vector<std::uint8_t>& bytes) {
  return ::RegSetValueExW(key, kSettingsValue, 0, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size())) ==
         ERROR_SUCCESS;
}

}  // namespace

std::vector<std::uint8_t> EncodeBrowserProxySettings(const BrowserProxySettings& settings) {
  std::vector<std::uint8_t> bytes;
  AppendDword(bytes, kRecordVersion);
  AppendDword(bytes, 1);
  AppendDword(bytes, settings.flags);
  AppendText(bytes, settings.proxy);
  AppendText(bytes, settings.bypass);
  AppendText(bytes, settings.configUrl);
  return bytes;
}

ScopedBrowserProxySettings::ScopedBrowserProxySettings(const BrowserProxySettings& settings) {
  const UniqueKey key = OpenConnectionsKey();
  if (!key) return;
  previous_ = ReadSettingsValue(key.get());
  written_ = WriteSettingsValue(key.get(), EncodeBrowserProxySettings(settings));
}

ScopedBrowserProxySettings::~ScopedBrowserProxySettings() {
  if (!written_) return;
  const UniqueKey key = OpenConnectionsKey();
  if (previous_) {
    WriteSettingsValue(key.get(), *previous_);
  } else {
    ::RegDeleteValueW(key.get(), kSettingsValue);
  }
}
