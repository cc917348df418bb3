#include "settings/credential_store.h"

#include <string>

#include "settings/password_shift.h"
#include "text/utf16_text.h"

namespace {

constexpr std::size_t kCredentialBytes = kCredentialCapacity * sizeof(char16_t);

// Puts text, up to its first NUL, into destination. A text with no room left
// for its terminator (129 code units before any NUL: a 258-byte Account
// without a NUL, a 258-byte Password) is refused like a value that is too
// large, rather than cut: a cut account or password is a different one, and
// logging in with it could only fail. Refusing loses nothing: the stored
// value stays as it is until the user saves new texts.
bool StoreLoadedText(const std::u16string& text, char16_t* destination) {
  const std::size_t length = Utf16Length(text.c_str(), text.size());
  if (length >= static_cast<std::size_t>(kCredentialCapacity)) return false;
  text.copy(destination, length);
  destination[length] = 0;
  return true;
}

// Code units of a REG_SZ value, low byte first; an odd last byte is dropped.
std::u16string TextOfStringValue(const std::vector<std::uint8_t>& bytes) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
  }
  return text;
}

std::vector<std::uint8_t> StringValueOf(const char16_t* text, std::size_t length) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve((length + 1) * 2);
  for (std::size_t i = 0; i <= length; ++i) {
    const char16_t unit = i < length ? text[i] : 0;
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return bytes;
}

// Reads both values into pair once the key is open. The account stays in
// place when only the password fails.
int ReadStoredPair(CredentialRegistry& registry, CredentialPair& pair) {
  const auto account = registry.ReadValue(kAccountValueName, kCredentialBytes);
  if (!account || account->size() > kCredentialBytes || !StoreLoadedText(TextOfStringValue(*account), pair.account)) {
    pair.account[0] = 0;
    return 0;
  }
  const auto password = registry.ReadValue(kPasswordValueName, kCredentialBytes);
  if (!password || password->size() > kCredentialBytes ||
      !StoreLoadedText(UnshiftPassword(password->data(), password->size()), pair.password)) {
    pair.password[0] = 0;
    return 0;
  }
  return 1;
}

bool OpenOrCreateForWrite(CredentialRegistry& registry) {
  switch (registry.OpenForWrite()) {
    case CredentialRegistry::OpenResult::Opened:
      return true;
    case CredentialRegistry::OpenResult::NotFound:
      return registry.CreateKey();
    case CredentialRegistry::OpenResult::Failed:
      break;
  }
  return false;
}

}  // namespace

int LoadCredentials(CredentialRegistry& registry, ShopCredentials& credentials) {
  // Start-up loads before the worker thread exists, so nothing can change
  // the pair between this read and the write below.
  CredentialPair pair = ReadCredentials(credentials);
  pair.exists = true;
  int result = 0;
  if (registry.OpenForRead()) {
    result = ReadStoredPair(registry, pair);
    registry.Close();
  }
  WriteCredentials(credentials, pair);
  return result;
}

int SaveCredentials(CredentialRegistry& registry, ShopCredentials& credentials) {
  const CredentialPair pair = ReadCredentials(credentials);
  if (!CredentialsAreSet(pair)) return 0;
  if (!OpenOrCreateForWrite(registry)) return 0;
  // A buffer without its terminator is read as its first 128 code units, so
  // the shifted password never exceeds 256 bytes.
  const std::size_t account_length = Utf16Length(pair.account, kCredentialCapacity - 1);
  const std::size_t password_length = Utf16Length(pair.password, kCredentialCapacity - 1);
  registry.WriteString(kAccountValueName, StringValueOf(pair.account, account_length));
  registry.WriteBinary(kPasswordValueName, ShiftPassword(pair.password, password_length));
  registry.Close();
  return 1;
}
