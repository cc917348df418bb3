#include <gtest/gtest.h>

#include "settings/apply_credentials.h"
#include "support.h"

namespace {

Bytes Utf16Bytes(const std::u16string& text) {
  Bytes bytes;
  for (const char16_t unit : text) bytes.insert(bytes.end(), {std::uint8_t(unit & 0xFF), std::uint8_t(unit >> 8)});
  return bytes;
}

}  // namespace

// Stored values of every shape; "held"/"pass" are in memory before the load.
TEST(CredentialStore, LoadsEveryStoredShape) {
  using Stored = std::optional<MemoryRegistry::Value>;
  const Stored abc{{false, Utf16Bytes(u"abc\0"s)}}, shifted{{true, {0x62, 0x01, 0x63, 0x01, 0x64, 0x01}}};
  const std::u16string k128(128, u'k');
  const struct {
    Stored account, password;
    int result;
    std::u16string held;  // account|password afterwards
    int reads;
  } rows[] = {
      {abc, shifted, 1, u"abc|abc", 2},
      {abc, Stored{{true, {0x62, 0x01, 0x63, 0x01, 0x64}}}, 1, u"abc|ab", 2},  // 5 bytes
      {abc, Stored{{true, {}}}, 1, u"abc|", 2},
      {abc, Stored{{false, shifted->bytes}}, 1, u"abc|abc", 2},  // as REG_SZ
      {Stored{{false, Utf16Bytes(u"abc")}}, shifted, 1, u"abc|abc", 2},
      {Stored{{false, Bytes{0x61, 0, 0x62, 0, 0x63}}}, shifted, 1, u"ab|abc", 2},
      {Stored{{false, Utf16Bytes(k128 + u'\0')}}, shifted, 1, k128 + u"|abc", 2},
      {Stored{{false, Utf16Bytes(k128 + u'k')}}, shifted, 0, u"|pass", 1},  // 258 bytes, no NUL
      {Stored{{false, Utf16Bytes(k128 + u"kk")}}, shifted, 0, u"|pass", 1},
      {std::nullopt, shifted, 0, u"|pass", 1},
      {abc, std::nullopt, 0, u"abc|", 2},
      {abc, Stored{{true, Bytes(257, 0x6C)}}, 1, u"abc|" + std::u16string(128, u'\u6B6B'), 2},
      {abc, Stored{{true, Bytes(258, 0x6C)}}, 0, u"abc|", 2},
  };
  for (const auto& row : rows) {
    MemoryRegistry registry;
    if (row.account) registry.values[u"Account"] = *row.account;
    if (row.password) registry.values[u"Password"] = *row.password;
    ShopCredentials credentials;
    SetCredentials(credentials, u"held", u"pass");
    EXPECT_EQ(LoadCredentials(registry, credentials), row.result) << &row - rows;
    const CredentialPair pair = ReadCredentials(credentials);
    EXPECT_EQ(pair.account + u"|"s + pair.password, row.held) << &row - rows;
    EXPECT_TRUE(registry.reads == row.reads && registry.ClosedCleanly()) << &row - rows;
  }
}

// A save writes the account as text and the password with every byte shifted
// on its own, creating the key; a load gives the same texts back. Unset
// credentials, or a key that can be neither opened nor created: nothing.
TEST(CredentialStore, SavesShiftedWhatLoadsBack) {
  const struct {
    std::u16string account, password;
    Bytes stored;  // the password's value; empty: nothing written
    bool keyExists = true, openFails = false, createFails = false;
  } rows[] = {
      {u"abc", u"abc", {0x62, 0x01, 0x63, 0x01, 0x64, 0x01}, false},
      {u"\u00FF\u01FF",
       u"\u00FF\u01FF\uFFFF\uFF00\u4E2D",
       {0x00, 0x01, 0x00, 0x02, 0x00, 0x00, 0x01, 0x00, 0x2E, 0x4F}},
      {std::u16string(128, u'a'), std::u16string(128, u'\u6B6B'), Bytes(256, 0x6C)},
      {u"", u"pw", {}},
      {u"shop", u"", {}},
      {u"shop", u"pw", {}, true, true},
      {u"shop", u"pw", {}, false, false, true},
  };
  for (const auto& row : rows) {
    MemoryRegistry registry;
    registry.keyExists = row.keyExists, registry.openFails = row.openFails, registry.createFails = row.createFails;
    ShopCredentials saved, loaded;
    SetCredentials(saved, row.account, row.password);
    EXPECT_TRUE(SaveCredentials(registry, saved) == !row.stored.empty() && registry.ClosedCleanly()) << &row - rows;
    if (row.stored.empty()) {
      EXPECT_TRUE(registry.values.empty()) << &row - rows;
      continue;
    }
    const MemoryRegistry::Value account = registry.values[u"Account"], password = registry.values[u"Password"];
    EXPECT_TRUE(!account.binary && account.bytes == Utf16Bytes(row.account + u'\0') && password.binary) << &row - rows;
    EXPECT_EQ(password.bytes, row.stored) << &row - rows;
    EXPECT_TRUE(LoadCredentials(registry, loaded) && ReadCredentials(loaded).password == row.password) << &row - rows;
  }
}

TEST(ApplyTypedCredentials, OnlyAChangedPairAsksForANewLogIn) {
  const std::u16string rows[][2] = {
      {u"shop", u"secret"}, {u"shop", u"secret2"}, {u"Shop", u"secret"}, {u"shop", u"secre"}};
  for (const bool held : {false, true}) {
    for (const auto& [account, password] : rows) {
      const bool changed = !held || &account != &rows[0][0];
      ShopCredentials credentials;
      if (held) SetCredentials(credentials, u"shop", u"secret");
      SessionState session;
      SetIds(session, u"s-1", u"42");
      session.reloginRequested = 0;
      EXPECT_EQ(ApplyTypedCredentials(credentials, session, account, password), changed) << &account - &rows[0][0];
      EXPECT_EQ(ReadCredentials(credentials).account + u"|"s + ReadCredentials(credentials).password,
                account + u"|" + password);
      EXPECT_EQ(session.reloginRequested + HasSession(session) * 2 + (ReadSessionIds(session).shop_id == u"42"s) * 4,
                changed ? 5 : 6);
    }
  }
}
