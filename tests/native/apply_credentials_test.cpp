#include "settings/apply_credentials.h"

#include <gtest/gtest.h>

#include <string>

namespace {

void Hold(ShopCredentials& credentials, const std::u16string& account, const std::u16string& password) {
  CredentialPair pair;
  pair.exists = true;
  account.copy(pair.account, kCredentialCapacity - 1);
  password.copy(pair.password, kCredentialCapacity - 1);
  WriteCredentials(credentials, pair);
}

TEST(ApplyTypedCredentialsTest, OnlyAChangedPairAsksForANewLogIn) {
  struct Row {
    const char* name;
    bool held;
    std::u16string account, password;
    bool changed;
  };
  const Row rows[] = {
      {"nothing held before", false, u"shop", u"secret", true},
      {"same pair", true, u"shop", u"secret", false},
      {"other password", true, u"shop", u"secret2", true},
      {"other account", true, u"shop2", u"secret", true},
      {"account in other letter case", true, u"Shop", u"secret", true},
      {"shorter password", true, u"shop", u"secre", true},
  };
  for (const Row& row : rows) {
    ShopCredentials credentials;
    SessionState session;
    if (row.held) Hold(credentials, u"shop", u"secret");
    SessionIds ids;
    std::u16string(u"s-1").copy(ids.session_id, 3);
    std::u16string(u"42").copy(ids.shop_id, 2);
    StoreSessionIds(session, ids);
    session.reloginRequested = 0;

    EXPECT_EQ(ApplyTypedCredentials(credentials, session, row.account, row.password), row.changed) << row.name;

    const CredentialPair now = ReadCredentials(credentials);
    EXPECT_TRUE(now.exists) << row.name;
    EXPECT_EQ(std::u16string(now.account), row.account) << row.name;
    EXPECT_EQ(std::u16string(now.password), row.password) << row.name;
    EXPECT_EQ(session.reloginRequested, row.changed ? 1 : 0) << row.name;
    EXPECT_EQ(HasSession(session), !row.changed) << row.name;
    EXPECT_EQ(std::u16string(ReadSessionIds(session).shop_id), u"42") << row.name << ": the shop id stays";
  }
}

}  // namespace
