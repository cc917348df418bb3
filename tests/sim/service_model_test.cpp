#include "sim/service_model.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

// Tokens from a list, so that collisions can be staged.
TokenSource Scripted(std::vector<std::string> tokens) {
  auto index = std::make_shared<std::size_t>(0);
  return [tokens, index] { return *index < tokens.size() ? tokens[(*index)++] : std::string(); };
}

ServiceModel ModelWithShop() {
  ServiceModel model(MakeRandomTokenSource());
  EXPECT_EQ(model.AddShop("shop01", "secret", "1001"), ModelStatus::Ok);
  return model;
}

}  // namespace

TEST(SimServiceModel, LogsInOnlyWithTheExactAccountAndPassword) {
  ServiceModel model = ModelWithShop();
  ASSERT_EQ(model.AddShop("店铺", "密码 & =", "2002"), ModelStatus::Ok);
  const struct {
    const char* name;
    const char* account;
    const char* password;
    const char* shop_id;  // nullptr: refused
  } rows[] = {
      {"right pair", "shop01", "secret", "1001"},
      {"wrong password", "shop01", "Secret", nullptr},
      {"password of another account", "shop01", "密码 & =", nullptr},
      {"account in other case", "SHOP01", "secret", nullptr},
      {"unknown account", "shop02", "secret", nullptr},
      {"empty account and password", "", "", nullptr},
      {"chinese account, blanks and signs in the password", "店铺", "密码 & =", "2002"},
  };
  for (const auto& row : rows) {
    const auto grant = model.LogIn(row.account, row.password);
    if (row.shop_id == nullptr) {
      EXPECT_FALSE(grant) << row.name;
    } else {
      ASSERT_TRUE(grant) << row.name;
      EXPECT_EQ(grant->shop_id, row.shop_id) << row.name;
      EXPECT_EQ(grant->session_id.size(), 32u) << row.name;
    }
  }
}

TEST(SimServiceModel, EveryLogInOpensAFreshSessionAndOldOnesStayOpen) {
  ServiceModel model = ModelWithShop();
  ASSERT_EQ(model.AddEntry("1001", Category::Web, "ORD-1"), ModelStatus::Ok);
  std::set<std::string> sessions;
  for (int i = 0; i < 200; ++i) {
    const auto grant = model.LogIn("shop01", "secret");
    ASSERT_TRUE(grant);
    EXPECT_TRUE(sessions.insert(grant->session_id).second) << "session id repeated: " << grant->session_id;
  }
  for (const std::string& session : sessions) {
    EXPECT_EQ(model.Untreated("1001", session).status, UntreatedStatus::Untreated) << session;
  }
}

TEST(SimServiceModel, RepeatedTokensAreSkippedAndAnEndlessRepeatFailsTheLogIn) {
  ServiceModel model(Scripted({"aaa", "aaa", "bbb", "aaa", "bbb"}));
  ASSERT_EQ(model.AddShop("shop01", "secret", "1001"), ModelStatus::Ok);
  EXPECT_EQ(model.LogIn("shop01", "secret")->session_id, "aaa");
  EXPECT_EQ(model.LogIn("shop01", "secret")->session_id, "bbb");
  // The list is spent: the source gives only empty tokens from now on.
  EXPECT_FALSE(model.LogIn("shop01", "secret"));
  EXPECT_FALSE(model.IssueKey("aaa"));
}

TEST(SimServiceModel, KeysAreForLiveSessionsAndWorkOnce) {
  ServiceModel model = ModelWithShop();
  const auto grant = model.LogIn("shop01", "secret");
  ASSERT_TRUE(grant);
  EXPECT_FALSE(model.IssueKey("no-such-session"));
  EXPECT_FALSE(model.IssueKey(""));
  const auto first = model.IssueKey(grant->session_id);
  const auto second = model.IssueKey(grant->session_id);
  ASSERT_TRUE(first && second);
  EXPECT_NE(*first, *second);
  EXPECT_NE(*first, grant->session_id);
  EXPECT_EQ(model.RedeemKey(*first), "1001");
  EXPECT_FALSE(model.RedeemKey(*first)) << "a key works once";
  EXPECT_FALSE(model.RedeemKey(grant->session_id)) << "a session id is no key";
  EXPECT_EQ(model.RedeemKey(*second), "1001");
}

TEST(SimServiceModel, ExpiredSessionsLoseAuthorityAndTheirKeys) {
  ServiceModel model = ModelWithShop();
  ASSERT_EQ(model.AddShop("other", "pw", "2002"), ModelStatus::Ok);
  const auto mine = model.LogIn("shop01", "secret");
  const auto theirs = model.LogIn("other", "pw");
  ASSERT_TRUE(mine && theirs);
  const auto key = model.IssueKey(mine->session_id);
  ASSERT_TRUE(key);

  EXPECT_EQ(model.Untreated("2002", mine->session_id).status, UntreatedStatus::NoAuthority)
      << "a session speaks for its own shop only";
  EXPECT_EQ(model.ExpireSessions(std::string("1001")), 1u);
  EXPECT_EQ(model.Untreated("1001", mine->session_id).status, UntreatedStatus::NoAuthority);
  EXPECT_FALSE(model.IssueKey(mine->session_id));
  EXPECT_FALSE(model.RedeemKey(*key));
  EXPECT_EQ(model.Untreated("2002", theirs->session_id).status, UntreatedStatus::Treated);

  EXPECT_EQ(model.ExpireSessions(std::nullopt), 1u);
  EXPECT_EQ(model.Untreated("2002", theirs->session_id).status, UntreatedStatus::NoAuthority);
  EXPECT_TRUE(model.LogIn("shop01", "secret")) << "a new log-in still works";
}

TEST(SimServiceModel, EntriesWaitPerCategoryUntilTreated) {
  ServiceModel model = ModelWithShop();
  const std::string session = model.LogIn("shop01", "secret")->session_id;
  EXPECT_EQ(model.Untreated("1001", session).status, UntreatedStatus::Treated);

  ASSERT_EQ(model.AddEntry("1001", Category::Web, "ORD-1"), ModelStatus::Ok);
  ASSERT_EQ(model.AddEntry("1001", Category::Web, "ORD-2"), ModelStatus::Ok);
  ASSERT_EQ(model.AddEntry("1001", Category::Tousu, "投诉-1"), ModelStatus::Ok);
  ASSERT_EQ(model.AddEntry("1001", Category::Tousu, "投诉-1"), ModelStatus::Ok);
  EXPECT_EQ(model.AddEntry("9999", Category::Web, "X"), ModelStatus::UnknownShop);

  UntreatedAnswer answer = model.Untreated("1001", session);
  EXPECT_EQ(answer.status, UntreatedStatus::Untreated);
  EXPECT_EQ(answer.entries[0], (std::vector<std::string>{"ORD-1", "ORD-2"}));
  EXPECT_TRUE(answer.entries[1].empty());
  EXPECT_EQ(answer.entries[2], (std::vector<std::string>{"投诉-1", "投诉-1"}));

  EXPECT_EQ(model.TreatEntries("1001", Category::Tousu, std::string("投诉-1")), 2u) << "both copies go";
  EXPECT_EQ(model.TreatEntries("1001", Category::Liuyan, std::string("ORD-1")), 0u) << "other category";
  EXPECT_EQ(model.TreatEntries("1001", Category::Web, std::string("ORD-1")), 1u);
  answer = model.Untreated("1001", session);
  EXPECT_EQ(answer.entries[0], (std::vector<std::string>{"ORD-2"}));

  EXPECT_EQ(model.TreatEntries("1001", std::nullopt, std::nullopt), 1u);
  answer = model.Untreated("1001", session);
  EXPECT_EQ(answer.status, UntreatedStatus::Treated);
  for (const auto& list : answer.entries) EXPECT_TRUE(list.empty());
}

TEST(SimServiceModel, RefusesBadNamesAndKeepsToItsLimits) {
  ModelLimits limits;
  limits.shops = 2;
  limits.sessions = 3;
  limits.keys = 2;
  limits.entriesPerCategory = 2;
  limits.nameBytes = 8;
  limits.entryBytes = 4;
  ServiceModel model(MakeRandomTokenSource(), limits);
  const struct {
    const char* name;
    std::string account, password, shop_id;
    ModelStatus status;
  } shops[] = {
      {"empty account", "", "pw", "1", ModelStatus::InvalidText},
      {"empty shop id", "a", "pw", "", ModelStatus::InvalidText},
      {"password too long", "a", "123456789", "1", ModelStatus::InvalidText},
      {"not UTF-8", "a\xFF", "pw", "1", ModelStatus::InvalidText},
      {"first", "a", "pw", "1", ModelStatus::Ok},
      {"same account again", "a", "other", "2", ModelStatus::AccountExists},
      {"second account, same shop", "b", "pw", "1", ModelStatus::Ok},
      {"third", "c", "pw", "3", ModelStatus::Full},
  };
  for (const auto& row : shops) {
    EXPECT_EQ(model.AddShop(row.account, row.password, row.shop_id), row.status) << row.name;
  }
  EXPECT_EQ(model.ChangePassword("nobody", "x"), ModelStatus::UnknownAccount);
  EXPECT_EQ(model.ChangePassword("a", ""), ModelStatus::InvalidText);
  EXPECT_EQ(model.ChangePassword("a", "new"), ModelStatus::Ok);
  EXPECT_FALSE(model.LogIn("a", "pw"));

  EXPECT_EQ(model.AddEntry("1", Category::Web, "12345"), ModelStatus::InvalidText);
  EXPECT_EQ(model.AddEntry("1", Category::Web, "\xE4\xB8"), ModelStatus::InvalidText) << "cut UTF-8";
  EXPECT_EQ(model.AddEntry("1", Category::Web, ""), ModelStatus::Ok) << "the empty entry is an entry";
  EXPECT_EQ(model.AddEntry("1", Category::Web, "1234"), ModelStatus::Ok);
  EXPECT_EQ(model.AddEntry("1", Category::Web, "x"), ModelStatus::Full);
  EXPECT_EQ(model.AddEntry("1", Category::Liuyan, "x"), ModelStatus::Ok) << "the limit is per category";

  std::vector<std::string> sessions;
  for (int i = 0; i < 5; ++i) sessions.push_back(model.LogIn("b", "pw")->session_id);
  EXPECT_EQ(model.liveSessions(), 3u);
  EXPECT_EQ(model.Untreated("1", sessions[1]).status, UntreatedStatus::NoAuthority) << "oldest forgotten";
  EXPECT_EQ(model.Untreated("1", sessions[2]).status, UntreatedStatus::Untreated);
  for (int i = 0; i < 4; ++i) model.IssueKey(sessions[4]);
  EXPECT_EQ(model.liveKeys(), 2u);
}
