#include <gtest/gtest.h>

#include "settings/apply_credentials.h"
#include "support.h"

static Bytes Utf16Bytes(const std::u16string& text) {  // UTF-16LE: the tests run on little-endian machines
  return Bytes(reinterpret_cast<const std::uint8_t*>(text.data()),
               reinterpret_cast<const std::uint8_t*>(text.data() + text.size()));
}
static MemoryRegistry::Value Text(const Bytes& bytes) { return {false, bytes}; }
static MemoryRegistry::Value Binary(const Bytes& bytes) { return {true, bytes}; }

// Stored values of every shape; "held"/"pass" are in memory before the load.
TEST(CredentialStore, LoadsEveryStoredShape) {
  const auto abc = std::optional(Text(Utf16Bytes(u"abc\0"s))),
             shifted = std::optional(Binary({0x62, 1, 0x63, 1, 0x64, 1}));
  const std::u16string k128(128, u'k');
  const struct {
    const char* name;
    std::optional<MemoryRegistry::Value> account, password;
    int result;
    std::u16string heldAccount, heldPassword;  // afterwards
    bool keyExists = true;
  } rows[] = {
      {"no key", abc, shifted, 0, u"held", u"pass", false},
      {"empty password", abc, Binary({}), 1, u"abc", u""},
      {"bytes wrap", abc, Binary({0, 1, 0, 0, 1, 0}), 1, u"abc", u"\u00FF\uFFFF\uFF00"},
      {"5 account bytes", Text({0x61, 0, 0x62, 0, 0x63}), shifted, 1, u"ab", u"abc"},
      {"128 units and NUL", Text(Utf16Bytes(k128 + u'\0')), shifted, 1, k128, u"abc"},
      {"258 bytes, no NUL", Text(Utf16Bytes(k128 + u'k')), shifted, 0, u"", u"pass"},
      {"no account", std::nullopt, shifted, 0, u"", u"pass"},
      {"no password", abc, std::nullopt, 0, u"abc", u""},
      {"257 password bytes", abc, Binary(Bytes(257, 0x6C)), 1, u"abc", std::u16string(128, u'\u6B6B')},
      {"258 password bytes", abc, Binary(Bytes(258, 0x6C)), 0, u"abc", u""},
  };
  for (const auto& row : rows) {
    MemoryRegistry registry;
    registry.keyExists = row.keyExists;
    if (row.account) registry.values[u"Account"] = *row.account;
    if (row.password) registry.values[u"Password"] = *row.password;
    ShopCredentials credentials;
    SetCredentials(credentials, u"held", u"pass");
    EXPECT_EQ(LoadCredentials(registry, credentials), row.result) << row.name;
    EXPECT_EQ(ReadCredentials(credentials).account, row.heldAccount) << row.name;
    EXPECT_EQ(ReadCredentials(credentials).password, row.heldPassword) << row.name;
    EXPECT_EQ(registry.open, 0) << row.name << ": closed as often as opened";
  }
}

// A save writes the account as text and the password with every byte shifted
// on its own, creating the key. Unset credentials, or a key that can be
// neither opened nor created: nothing.
TEST(CredentialStore, SavesTheAccountAsTextAndThePasswordShifted) {
  const std::u16string a128(128, u'a'), b128(128, u'\u6B6B');
  const struct {
    const char* name;
    std::u16string account, password;
    int saved;
    MemoryRegistry::Value accountValue = {}, passwordValue = {};  // nothing written: as a value never written reads
    bool keyExists = true, openFails = false, createFails = false;
  } rows[] = {
      {"new key", u"ab", u"abc", 1, Text({0x61, 0, 0x62, 0, 0, 0}), Binary({0x62, 1, 0x63, 1, 0x64, 1}), false},
      {"bytes wrap", u"\u01FF", u"\u00FF\uFFFF\uFF00", 1, Text({0xFF, 1, 0, 0}), Binary({0, 1, 0, 0, 1, 0})},
      {"128 units", a128, b128, 1, Text(Utf16Bytes(a128 + u'\0')), Binary(Bytes(256, 0x6C))},
      {"no password", u"shop", u"", 0},
      {"key fails to open", u"shop", u"pw", 0, {}, {}, true, true},
      {"key cannot be created", u"shop", u"pw", 0, {}, {}, false, false, true},
  };
  for (const auto& row : rows) {
    MemoryRegistry registry;
    registry.keyExists = row.keyExists;
    registry.openFails = row.openFails;
    registry.createFails = row.createFails;
    ShopCredentials credentials;
    SetCredentials(credentials, row.account, row.password);
    EXPECT_EQ(SaveCredentials(registry, credentials), row.saved) << row.name;
    EXPECT_EQ(registry.open, 0) << row.name << ": closed as often as opened";
    EXPECT_EQ(registry.values[u"Account"], row.accountValue) << row.name;
    EXPECT_EQ(registry.values[u"Password"], row.passwordValue) << row.name;
  }
}

// Pairs typed in turn: a changed pair, or the first, asks for a new log-in
// and drops the session (the shop id stays); the same pair again does not.
TEST(ApplyTypedCredentials, OnlyAChangedPairAsksForANewLogIn) {
  const struct {
    const char* name;
    std::u16string account, password, session;  // session: the session id afterwards
    int changed;
  } rows[] = {
      {"first pair", u"shop", u"secret", u"", 1},
      {"same pair", u"shop", u"secret", u"s-1", 0},
      {"longer password", u"shop", u"secret2", u"", 1},
      {"shorter password", u"shop", u"secret", u"", 1},
      {"account's letter case", u"Shop", u"secret", u"", 1},
  };
  ShopCredentials credentials;
  SessionState session;
  for (const auto& row : rows) {
    SetIds(session, u"s-1", u"42");
    session.reloginRequested = 0;
    EXPECT_EQ(ApplyTypedCredentials(credentials, session, row.account, row.password), row.changed) << row.name;
    EXPECT_EQ(ReadCredentials(credentials).account, row.account) << row.name;
    EXPECT_EQ(ReadCredentials(credentials).password, row.password) << row.name;
    EXPECT_EQ(session.reloginRequested, row.changed) << row.name;
    EXPECT_EQ(ReadSessionIds(session).session_id, row.session) << row.name;
    EXPECT_EQ(ReadSessionIds(session).shop_id, u"42"s) << row.name;
  }
}
