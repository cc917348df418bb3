#include "settings/credential_registry_win.h"

#include <limits>

#include "text/wide_text_win.h"

namespace {

const wchar_t* KeyPath() { return AsWide(kCredentialKeyPath); }

}  // namespace

bool Win32CredentialRegistry::OpenForRead() {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  key_.reset(key);
  return true;
}

CredentialRegistry::OpenResult Win32CredentialRegistry::OpenForWrite() {
  HKEY key = nullptr;
  const LSTATUS status = ::RegOpenKeyExW(HKEY_CURRENT_USER, KeyPath(), 0, KEY_WRITE, &key);
  if (status == ERROR_SUCCESS) {
    key_.reset(key);
    return OpenResult::Opened;
  }
  if (status == ERROR_FILE_NOT_FOUND || status == ERROR_NO_MATCH) return OpenResult::NotFound;
  return OpenResult::Failed;
}

bool Win32CredentialRegistry::CreateKey() {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, KeyPath(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  key_.reset(key);
  return true;
}

std::optional<std::vector<std::uint8_t>> Win32CredentialRegistry::ReadValue(const char16_t* name,
                                                                            std::size_t max_bytes) {
  if (!key_ || max_bytes > std::numeric_limits<DWORD>::max()) return std::nullopt;
  // Never a null buffer: with one the call would report the value's size
  // as a success instead of reading it.
  std::vector<std::uint8_t> bytes(max_bytes == 0 ? 1 : max_bytes);
  DWORD size = static_cast<DWORD>(max_bytes);
  // ERROR_MORE_DATA (a value larger than max_bytes) fails here like any
  // other error: the caller refuses the value whole.
  if (::RegQueryValueExW(key_.get(), AsWide(name), nullptr, nullptr, bytes.data(), &size) != ERROR_SUCCESS ||
      size > max_bytes) {
    return std::nullopt;
  }
  bytes.resize(size);
  return bytes;
}

void Win32CredentialRegistry::WriteString(const char16_t* name, const std::vector<std::uint8_t>& bytes) {
  WriteValue(name, REG_SZ, bytes);
}

void Win32CredentialRegistry::WriteBinary(const char16_t* name, const std::vector<std::uint8_t>& bytes) {
  WriteValue(name, REG_BINARY, bytes);
}

void Win32CredentialRegistry::WriteValue(const char16_t* name, DWORD type, const std::vector<std::uint8_t>& bytes) {
  if (!key_ || bytes.size() > std::numeric_limits<DWORD>::max()) return;
  ::RegSetValueExW(key_.get(), AsWide(name), 0, type, bytes.data(), static_cast<DWORD>(bytes.size()));
}

void Win32CredentialRegistry::Close() { key_.reset(); }
