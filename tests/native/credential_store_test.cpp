#include "settings/credential_store.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// The credential key held in memory, with the failures a real registry can
// give. It checks that every open key is closed and nothing touches a key
// that is not open.
class MemoryRegistry : public CredentialRegistry {
 public:
  struct Value {
    bool binary;
    Bytes bytes;
  };

  bool keyExists = false;
  bool openFails = false;  // any error other than a missing key
  bool createFails = false;
  std::map<std::u16string, Value> values;
  std::vector<std::u16string> reads;
  int opens = 0;
  int closes = 0;
  bool misuse = false;

  bool OpenForRead() override { return Open(keyExists && !openFails); }
  OpenResult OpenForWrite() override {
    if (openFails) return OpenResult::Failed;
    if (!keyExists) return OpenResult::NotFound;
    Open(true);
    return OpenResult::Opened;
  }
  bool CreateKey() override {
    if (createFails) return false;
    keyExists = true;
    return Open(true);
  }
  std::optional<Bytes> ReadValue(const char16_t* name, std::size_t max_bytes) override {
    misuse |= !open_;
    reads.push_back(name);
    const auto found = values.find(name);
    if (found == values.end() || found->second.bytes.size() > max_bytes) return std::nullopt;
    return found->second.bytes;
  }
  void WriteString(const char16_t* name, const Bytes& bytes) override { Write(name, false, bytes); }
  void WriteBinary(const char16_t* name, const Bytes& bytes) override { Write(name, true, bytes); }
  void Close() override {
    misuse |= !open_;
    open_ = false;
    ++closes;
  }

  bool ClosedCleanly() const { return !misuse && !open_ && opens == closes; }

 private:
  bool Open(bool succeeds) {
    misuse |= open_;
    if (succeeds) {
      open_ = true;
      ++opens;
    }
    return succeeds;
  }
  void Write(const char16_t* name, bool binary, const Bytes& bytes) {
    misuse |= !open_;
    values[name] = {binary, bytes};
  }

  bool open_ = false;
};

Bytes Utf16Bytes(const std::u16string& text) {
  Bytes bytes;
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return bytes;
}

void SetPair(ShopCredentials& credentials, const std::u16string& account, const std::u16string& password) {
  CredentialPair pair;
  pair.exists = true;
  account.copy(pair.account, kCredentialCapacity - 1);
  password.copy(pair.password, kCredentialCapacity - 1);
  WriteCredentials(credentials, pair);
}

Bytes OddLength(Bytes bytes) {
  bytes.pop_back();
  return bytes;
}

std::u16string Account(ShopCredentials& credentials) { return ReadCredentials(credentials).account; }
std::u16string Password(ShopCredentials& credentials) { return ReadCredentials(credentials).password; }

}  // namespace

TEST(LoadCredentials, ReadsStoredValuesAndDecidesEveryOddShape) {
  using Stored = std::optional<MemoryRegistry::Value>;
  const auto sz = [](Bytes bytes) { return Stored({false, std::move(bytes)}); };
  const auto bin = [](Bytes bytes) { return Stored({true, std::move(bytes)}); };
  const Stored abc_account = sz(Utf16Bytes(std::u16string(u"abc") + u'\0'));
  const Stored abc_password = bin({0x62, 0x01, 0x63, 0x01, 0x64, 0x01});
  const std::u16string k128(128, u'k');
  const struct {
    const char* name;
    Stored account_value;
    Stored password_value;
    int result;
    std::u16string account;  // held before the load: "held" and "pass"
    std::u16string password;
    std::size_t values_read;
  } rows[] = {
      {"as saved", abc_account, abc_password, 1, u"abc", u"abc", 2},
      {"password of 5 bytes", abc_account, bin({0x62, 0x01, 0x63, 0x01, 0x64}), 1, u"abc", u"ab", 2},
      {"zero-length password", abc_account, bin({}), 1, u"abc", u"", 2},
      {"password stored as REG_SZ", abc_account, sz(abc_password->bytes), 1, u"abc", u"abc", 2},
      {"account without its NUL", sz(Utf16Bytes(u"abc")), abc_password, 1, u"abc", u"abc", 2},
      {"account with an odd byte", sz(OddLength(Utf16Bytes(u"abc"))), abc_password, 1, u"ab", u"abc", 2},
      {"account of 128 units and its NUL", sz(Utf16Bytes(k128 + u'\0')), abc_password, 1, k128, u"abc", 2},
      {"account of 258 bytes without a NUL", sz(Utf16Bytes(k128 + u'k')), abc_password, 0, u"", u"pass", 1},
      {"account larger than 258 bytes", sz(Utf16Bytes(k128 + u"kk")), abc_password, 0, u"", u"pass", 1},
      {"account missing", std::nullopt, abc_password, 0, u"", u"pass", 1},
      {"password missing", abc_account, std::nullopt, 0, u"abc", u"", 2},
      {"password of 257 bytes", abc_account, bin(Bytes(257, 0x6C)), 1, u"abc", std::u16string(128, u'\u6B6B'), 2},
      {"password of 258 bytes", abc_account, bin(Bytes(258, 0x6C)), 0, u"abc", u"", 2},
  };
  for (const auto& row : rows) {
    MemoryRegistry registry;
    registry.keyExists = true;
    if (row.account_value) registry.values[u"Account"] = *row.account_value;
    if (row.password_value) registry.values[u"Password"] = *row.password_value;
    ShopCredentials credentials;
    SetPair(credentials, u"held", u"pass");
    EXPECT_EQ(LoadCredentials(registry, credentials), row.result) << row.name;
    EXPECT_EQ(Account(credentials), row.account) << row.name;
    EXPECT_EQ(Password(credentials), row.password) << row.name;
    EXPECT_TRUE(ReadCredentials(credentials).exists) << row.name;
    EXPECT_EQ(registry.reads.size(), row.values_read) << row.name;
    EXPECT_TRUE(registry.ClosedCleanly()) << row.name;
  }
}

TEST(LoadCredentials, KeepsWhatItCannotReplace) {
  {
    MemoryRegistry no_key;
    ShopCredentials credentials;
    EXPECT_EQ(LoadCredentials(no_key, credentials), 0);
    EXPECT_TRUE(ReadCredentials(credentials).exists);
    EXPECT_FALSE(CredentialsAreSet(ReadCredentials(credentials)));
    EXPECT_TRUE(no_key.ClosedCleanly());
  }
  {
    MemoryRegistry unreadable_key;
    unreadable_key.keyExists = true;
    unreadable_key.openFails = true;
    ShopCredentials credentials;
    SetPair(credentials, u"held", u"pass");
    EXPECT_EQ(LoadCredentials(unreadable_key, credentials), 0);
    EXPECT_EQ(Account(credentials), u"held");
    EXPECT_EQ(Password(credentials), u"pass");
  }
}

TEST(SaveCredentials, WritesAccountAsTextAndPasswordShifted) {
  MemoryRegistry registry;
  ShopCredentials credentials;
  SetPair(credentials, u"abc", u"abc");
  EXPECT_EQ(SaveCredentials(registry, credentials), 1);
  EXPECT_TRUE(registry.keyExists) << "the first save creates the key";
  EXPECT_TRUE(registry.ClosedCleanly());
  EXPECT_FALSE(registry.values[u"Account"].binary);
  EXPECT_EQ(registry.values[u"Account"].bytes, (Bytes{0x61, 0x00, 0x62, 0x00, 0x63, 0x00, 0x00, 0x00}));
  EXPECT_TRUE(registry.values[u"Password"].binary);
  EXPECT_EQ(registry.values[u"Password"].bytes, (Bytes{0x62, 0x01, 0x63, 0x01, 0x64, 0x01}));
}

TEST(SaveCredentials, SurvivesALoadUnchanged) {
  const std::u16string accounts[] = {u"\u00FF\u01FF", u"\u5E97\u94FA-01", std::u16string(128, u'a')};
  const std::u16string passwords[] = {u"\u01FF\u00FF", u"p&=w d", std::u16string(128, u'\uFFFF')};
  for (int i = 0; i < 3; ++i) {
    MemoryRegistry registry;
    ShopCredentials saved;
    SetPair(saved, accounts[i], passwords[i]);
    ASSERT_EQ(SaveCredentials(registry, saved), 1) << i;
    ShopCredentials loaded;
    EXPECT_EQ(LoadCredentials(registry, loaded), 1) << i;
    EXPECT_EQ(Account(loaded), accounts[i]) << i;
    EXPECT_EQ(Password(loaded), passwords[i]) << i;
  }
}

TEST(SaveCredentials, WritesNothingWithoutCredentialsOrAKey) {
  const struct {
    const char* name;
    std::u16string account;
    std::u16string password;
    bool open_fails;
    bool create_fails;
  } rows[] = {
      {"empty account", u"", u"pw", false, false},
      {"empty password", u"shop", u"", false, false},
      {"key cannot be opened", u"shop", u"pw", true, false},
      {"key cannot be created", u"shop", u"pw", false, true},
  };
  for (const auto& row : rows) {
    MemoryRegistry registry;
    registry.openFails = row.open_fails;
    registry.createFails = row.create_fails;
    ShopCredentials credentials;
    SetPair(credentials, row.account, row.password);
    EXPECT_EQ(SaveCredentials(registry, credentials), 0) << row.name;
    EXPECT_TRUE(registry.values.empty()) << row.name;
    EXPECT_TRUE(registry.ClosedCleanly()) << row.name;
  }
  MemoryRegistry registry;
  ShopCredentials never_loaded;
  EXPECT_EQ(SaveCredentials(registry, never_loaded), 0);
  EXPECT_EQ(registry.opens, 0);
}
