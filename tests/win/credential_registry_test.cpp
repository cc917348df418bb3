// LoadCredentials and SaveCredentials against the real registry of the test
// prefix: the stored form of both values, and what odd stored values load as.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "settings/credential_store_win.h"
#include "settings/shop_credentials.h"
#include "win32/handles.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr wchar_t kKeyPath[] = L"Software\\Trevolt\\Orvent";

struct StoredValue {
  DWORD type = REG_NONE;
  Bytes bytes;
};

bool KeyExists() {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  ::RegCloseKey(key);
  return true;
}

void DeleteKey() {
  const LSTATUS status = ::RegDeleteKeyW(HKEY_CURRENT_USER, kKeyPath);
  ASSERT_TRUE(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) << status;
  ASSERT_FALSE(KeyExists());
}

UniqueKey CreateKey() {
  HKEY key = nullptr;
  ::RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  return UniqueKey(key);
}

// Stores exactly these bytes. The buffer goes on past them with non-zero
// bytes, so that no registry implementation takes it upon itself to add a
// terminator to a string value.
void WriteRaw(const wchar_t* name, const StoredValue& value) {
  const UniqueKey key = CreateKey();
  ASSERT_TRUE(key);
  Bytes padded = value.bytes;
  padded.insert(padded.end(), 4, 0xEE);
  ASSERT_EQ(::RegSetValueExW(key.get(), name, 0, value.type, padded.data(), static_cast<DWORD>(value.bytes.size())),
            ERROR_SUCCESS);
  DWORD size = 0;
  ASSERT_EQ(::RegQueryValueExW(key.get(), name, nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  ASSERT_EQ(size, value.bytes.size()) << "the registry keeps the bytes as given";
}

std::optional<StoredValue> ReadRaw(const wchar_t* name) {
  HKEY opened = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, KEY_READ, &opened) != ERROR_SUCCESS) return std::nullopt;
  const UniqueKey key(opened);
  StoredValue value;
  DWORD size = 0;
  if (::RegQueryValueExW(key.get(), name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
  value.bytes.resize(size + 1);
  if (::RegQueryValueExW(key.get(), name, nullptr, &value.type, value.bytes.data(), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  value.bytes.resize(size);
  return value;
}

void SetShopCredentials(const std::u16string& account, const std::u16string& password, bool exists = true) {
  CredentialPair pair;
  pair.exists = exists;
  account.copy(pair.account, kCredentialCapacity - 1);
  password.copy(pair.password, kCredentialCapacity - 1);
  WriteCredentials(TheShopCredentials(), pair);
}

// UTF-16LE bytes of text, with its terminator when asked.
Bytes Utf16Bytes(const std::u16string& text, bool terminated) {
  Bytes bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  if (terminated) bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

Bytes Repeated(const Bytes& pattern, std::size_t times) {
  Bytes bytes;
  for (std::size_t i = 0; i < times; ++i) bytes.insert(bytes.end(), pattern.begin(), pattern.end());
  return bytes;
}

std::string Hex(const Bytes& bytes) {
  std::string text;
  char byte[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(byte, sizeof(byte), "%02X ", b);
    text += byte;
  }
  return text;
}

class CredentialRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteKey();
    SetShopCredentials(u"", u"", false);
  }
  // Other test programs start the program in this prefix: leave no account.
  void TearDown() override { DeleteKey(); }
};

TEST_F(CredentialRegistryTest, FirstRunLoadsNothingAndCreatesNoKey) {
  EXPECT_EQ(LoadCredentials(), 0);
  const CredentialPair loaded = ReadCredentials(TheShopCredentials());
  EXPECT_TRUE(loaded.exists) << "loading creates both buffers";
  EXPECT_EQ(std::u16string(loaded.account), u"");
  EXPECT_EQ(std::u16string(loaded.password), u"");
  EXPECT_FALSE(KeyExists());
}

TEST_F(CredentialRegistryTest, SaveCreatesTheKeyWithBothValuesInTheirStoredFormAndLoadsThemBack) {
  const struct {
    const char* name;
    std::u16string account;
    std::u16string password;
    Bytes accountBytes;   // REG_SZ
    Bytes passwordBytes;  // REG_BINARY
  } rows[] = {
      {"abc", u"abc", u"abc", {0x61, 0, 0x62, 0, 0x63, 0, 0, 0}, {0x62, 0x01, 0x63, 0x01, 0x64, 0x01}},
      {"bytes that wrap", u"\u00FF\u01FF", u"\u00FF\u01FF", {0xFF, 0x00, 0xFF, 0x01, 0, 0}, {0x00, 0x01, 0x00, 0x02}},
      {"Chinese", u"网点", u"密码", {0x51, 0x7F, 0xB9, 0x70, 0, 0}, {0xC7, 0x5C, 0x02, 0x79}},
      {"longest the dialog takes", std::u16string(127, u'a'), std::u16string(127, u'z'),
       Utf16Bytes(std::u16string(127, u'a'), true), Repeated({0x7B, 0x01}, 127)},
  };
  for (const auto& row : rows) {
    DeleteKey();
    SetShopCredentials(row.account, row.password);
    EXPECT_EQ(SaveCredentials(), 1) << row.name;
    ASSERT_TRUE(KeyExists()) << row.name;
    const std::optional<StoredValue> account = ReadRaw(L"Account");
    const std::optional<StoredValue> password = ReadRaw(L"Password");
    ASSERT_TRUE(account && password) << row.name;
    EXPECT_EQ(account->type, static_cast<DWORD>(REG_SZ)) << row.name;
    EXPECT_EQ(Hex(account->bytes), Hex(row.accountBytes)) << row.name;
    EXPECT_EQ(password->type, static_cast<DWORD>(REG_BINARY)) << row.name;
    EXPECT_EQ(Hex(password->bytes), Hex(row.passwordBytes)) << row.name;

    SetShopCredentials(u"", u"", false);
    EXPECT_EQ(LoadCredentials(), 1) << row.name;
    const CredentialPair loaded = ReadCredentials(TheShopCredentials());
    EXPECT_EQ(std::u16string(loaded.account), row.account) << row.name;
    EXPECT_EQ(std::u16string(loaded.password), row.password) << row.name;
  }
}

TEST_F(CredentialRegistryTest, StoredValuesOfEveryShapeLoadAsDefined) {
  const StoredValue abc = {REG_SZ, Utf16Bytes(u"abc", true)};
  const StoredValue shiftedAbc = {REG_BINARY, {0x62, 0x01, 0x63, 0x01, 0x64, 0x01}};
  // units code units of the letter a, as the password is stored.
  auto shifted = [](std::size_t units) { return Repeated({0x62, 0x01}, units); };
  const struct {
    const char* name;
    bool key;  // the key exists
    std::optional<StoredValue> account;
    std::optional<StoredValue> password;
    int result;
    std::u16string loadedAccount;
    std::u16string loadedPassword;
  } rows[] = {
      // Every row starts from the texts "old" and "old pw" in memory.
      {"no key: nothing changes", false, std::nullopt, std::nullopt, 0, u"old", u"old pw"},
      {"empty key", true, std::nullopt, std::nullopt, 0, u"", u"old pw"},
      {"account without password", true, abc, std::nullopt, 0, u"abc", u""},
      {"both values", true, abc, shiftedAbc, 1, u"abc", u"abc"},
      {"5-byte password drops its last byte", true, abc, StoredValue{REG_BINARY, {0x62, 0x01, 0x63, 0x01, 0x64}}, 1,
       u"abc", u"ab"},
      {"zero-length password", true, abc, StoredValue{REG_BINARY, {}}, 1, u"abc", u""},
      {"password stored as REG_SZ", true, abc, StoredValue{REG_SZ, shiftedAbc.bytes}, 1, u"abc", u"abc"},
      {"account stored as REG_BINARY", true, StoredValue{REG_BINARY, Utf16Bytes(u"ab", false)}, shiftedAbc, 1, u"ab",
       u"abc"},
      {"257-byte password fits", true, abc,
       StoredValue{REG_BINARY,
                   [&] {
                     Bytes bytes = shifted(128);
                     bytes.push_back(0x62);
                     return bytes;
                   }()},
       1, u"abc", std::u16string(128, u'a')},
      {"258-byte password is refused", true, abc, StoredValue{REG_BINARY, shifted(129)}, 0, u"abc", u""},
      {"258-byte account without its terminator", true,
       StoredValue{REG_SZ, Utf16Bytes(std::u16string(129, u'a'), false)}, shiftedAbc, 0, u"", u"old pw"},
      {"account over 258 bytes: password not read", true,
       StoredValue{REG_SZ, Utf16Bytes(std::u16string(129, u'a'), true)}, shiftedAbc, 0, u"", u"old pw"},
  };
  for (const auto& row : rows) {
    DeleteKey();
    if (row.key) CreateKey();
    if (row.account) WriteRaw(L"Account", *row.account);
    if (row.password) WriteRaw(L"Password", *row.password);
    SetShopCredentials(u"old", u"old pw");

    EXPECT_EQ(LoadCredentials(), row.result) << row.name;
    const CredentialPair loaded = ReadCredentials(TheShopCredentials());
    EXPECT_EQ(std::u16string(loaded.account), row.loadedAccount) << row.name;
    EXPECT_EQ(std::u16string(loaded.password), row.loadedPassword) << row.name;
  }
}

TEST_F(CredentialRegistryTest, SaveWithoutBothTextsWritesNothing) {
  const struct {
    const char* name;
    std::u16string account;
    std::u16string password;
    bool exists;
  } rows[] = {
      {"empty account", u"", u"secret", true},
      {"empty password", u"shop", u"", true},
      {"never loaded", u"", u"", false},
  };
  for (const auto& row : rows) {
    DeleteKey();
    SetShopCredentials(row.account, row.password, row.exists);
    EXPECT_EQ(SaveCredentials(), 0) << row.name;
    EXPECT_FALSE(KeyExists()) << row.name;

    WriteRaw(L"Account", {REG_SZ, Utf16Bytes(u"kept", true)});
    EXPECT_EQ(SaveCredentials(), 0) << row.name;
    const std::optional<StoredValue> account = ReadRaw(L"Account");
    ASSERT_TRUE(account) << row.name;
    EXPECT_EQ(Hex(account->bytes), Hex(Utf16Bytes(u"kept", true))) << row.name;
    EXPECT_FALSE(ReadRaw(L"Password")) << row.name;
  }
}

TEST_F(CredentialRegistryTest, SaveReplacesAPasswordOfAnotherType) {
  WriteRaw(L"Password", {REG_SZ, Utf16Bytes(u"stale", true)});
  SetShopCredentials(u"shop", u"abc");
  ASSERT_EQ(SaveCredentials(), 1);
  const std::optional<StoredValue> password = ReadRaw(L"Password");
  ASSERT_TRUE(password);
  EXPECT_EQ(password->type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(Hex(password->bytes), Hex({0x62, 0x01, 0x63, 0x01, 0x64, 0x01}));
}

}  // namespace
