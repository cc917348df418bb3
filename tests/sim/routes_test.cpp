#include "sim/routes.h"

#include <gtest/gtest.h>

#include <string>

#include "sim/query_text.h"

namespace {

class SimRoutes : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(model.AddShop("shop01", "p&w =中", "1001"), ModelStatus::Ok);
    ASSERT_EQ(model.AddShop("shop02", "pw", "2002"), ModelStatus::Ok);
  }

  ServiceReply Ask(HostRole role, const std::string& path, const std::string& query) {
    return AnswerServiceRequest(model, ServiceRequest{role, path, ParseQuery(query)});
  }

  // The session id of a successful log-in, read from the reply's fixed layout.
  std::string LogIn() {
    const std::string body = Ask(HostRole::Auth, "/shop_login.php", "name=shop01&pwd=p%26w%20%3D%E4%B8%AD").body;
    const std::string marker = "\"session_id\":\"";
    const std::size_t start = body.find(marker);
    if (start == std::string::npos) return std::string();
    return body.substr(start + marker.size(), 32);
  }

  ServiceModel model{MakeRandomTokenSource()};
};

}  // namespace

TEST_F(SimRoutes, LogInRepliesExactlyAsTheProgramReadsThem) {
  const std::string session = LogIn();
  ASSERT_EQ(session.size(), 32u);
  const struct {
    const char* name;
    const char* query;
    const char* body;  // nullptr: a success, checked apart
  } rows[] = {
      {"percent-encoded UTF-8 password", "name=shop01&pwd=p%26w%20%3D%E4%B8%AD", nullptr},
      {"plus as a blank", "name=shop01&pwd=p%26w+%3D%E4%B8%AD", nullptr},
      {"password raw, ampersand splits it", "name=shop01&pwd=p&w =中", R"({"body":{"login_status":"fail"}})"},
      {"wrong password", "name=shop01&pwd=pw", R"({"body":{"login_status":"fail"}})"},
      {"no parameters", "", R"({"body":{"login_status":"fail"}})"},
  };
  for (const auto& row : rows) {
    const ServiceReply reply = Ask(HostRole::Auth, "/shop_login.php", row.query);
    EXPECT_EQ(reply.status, 200) << row.name;
    EXPECT_EQ(reply.contentType.rfind("application/json", 0), 0u) << row.name;
    if (row.body != nullptr) {
      EXPECT_EQ(reply.body, row.body) << row.name;
      continue;
    }
    const std::string prefix = R"({"body":{"login_status":"success","session_id":")";
    const std::string suffix = R"(","shop_id":"1001"}})";
    ASSERT_EQ(reply.body.size(), prefix.size() + 32 + suffix.size()) << row.name << ": " << reply.body;
    EXPECT_EQ(reply.body.substr(0, prefix.size()), prefix) << row.name;
    EXPECT_EQ(reply.body.substr(prefix.size() + 32), suffix) << row.name;
    EXPECT_NE(reply.body.substr(prefix.size(), 32), session) << row.name << ": every log-in a fresh session";
  }
}

TEST_F(SimRoutes, KeyIsABareJsonStringOrTheRefusal) {
  const std::string session = LogIn();
  const ServiceReply key = Ask(HostRole::Auth, "/shop_key.php", "session_id=" + session);
  ASSERT_EQ(key.body.size(), 34u) << key.body;
  EXPECT_EQ(key.body.front(), '"');
  EXPECT_EQ(key.body.back(), '"');
  for (const char* query : {"session_id=unknown", "session_id=", ""}) {
    EXPECT_EQ(Ask(HostRole::Auth, "/shop_key.php", query).body, "\"bad request!\"") << query;
  }
  model.ExpireSessions(std::nullopt);
  EXPECT_EQ(Ask(HostRole::Auth, "/shop_key.php", "session_id=" + session).body, "\"bad request!\"");
}

TEST_F(SimRoutes, UntreatedSheetListsEveryCategoryOrSaysTreatedOrNoAuthority) {
  const std::string session = LogIn();
  const std::string sheet = "shop_id=1001&session_id=" + session;
  EXPECT_EQ(Ask(HostRole::Order, "/untreatedSheet.php", sheet).body, R"({"body":{"deal_status":"treated"}})");

  ASSERT_EQ(model.AddEntry("1001", Category::Web, "ORD-1001"), ModelStatus::Ok);
  ASSERT_EQ(model.AddEntry("1001", Category::Liuyan, "留言-7"), ModelStatus::Ok);
  EXPECT_EQ(Ask(HostRole::Order, "/untreatedSheet.php", sheet).body,
            R"({"body":{"deal_status":"untreated","liuyan":["\u7559\u8a00-7"],"tousu":[],"web":["ORD-1001"]}})");

  const std::string no_authority = R"({"body":{"deal_status":"No authority"}})";
  const struct {
    const char* name;
    std::string query;
  } refused[] = {
      {"another shop's id", "shop_id=2002&session_id=" + session},
      {"unknown session", "shop_id=1001&session_id=nope"},
      {"no session", "shop_id=1001"},
      {"nothing", ""},
  };
  for (const auto& row : refused) {
    EXPECT_EQ(Ask(HostRole::Order, "/untreatedSheet.php", row.query).body, no_authority) << row.name;
  }
  model.ExpireSessions(std::string("1001"));
  EXPECT_EQ(Ask(HostRole::Order, "/untreatedSheet.php", sheet).body, no_authority) << "expired";
}

TEST_F(SimRoutes, ConsoleTakesAKeyOnceAndShowsTheWaitingRequests) {
  ASSERT_EQ(model.AddEntry("1001", Category::Tousu, "<script>投诉</script>"), ModelStatus::Ok);
  const std::string session = LogIn();
  const std::string quoted = Ask(HostRole::Auth, "/shop_key.php", "session_id=" + session).body;
  const std::string key = quoted.substr(1, quoted.size() - 2);

  const ServiceReply page = Ask(HostRole::Console, "/frame/next", "go=5&key=" + key);
  EXPECT_EQ(page.status, 200);
  EXPECT_EQ(page.contentType, "text/html; charset=utf-8");
  EXPECT_NE(page.body.find("<span id=\"shop\">1001</span>"), std::string::npos);
  EXPECT_NE(page.body.find("客户投诉（1）"), std::string::npos);
  EXPECT_NE(page.body.find("<li>&lt;script&gt;投诉&lt;/script&gt;</li>"), std::string::npos) << page.body;

  EXPECT_EQ(Ask(HostRole::Console, "/frame/next", "go=5&key=" + key).status, 403) << "spent";
  EXPECT_EQ(Ask(HostRole::Console, "/frame/next", "go=5").status, 403);
  EXPECT_EQ(Ask(HostRole::Console, "/", "").status, 200);
}

TEST_F(SimRoutes, PathsAHostDoesNotHaveAreNotFound) {
  const struct {
    HostRole role;
    const char* path;
  } rows[] = {
      {HostRole::Auth, "/untreatedSheet.php"}, {HostRole::Order, "/shop_login.php"},
      {HostRole::Console, "/shop_key.php"},    {HostRole::Auth, "/SHOP_LOGIN.PHP"},
      {HostRole::Console, "/frame/next/"},     {HostRole::Unknown, "/"},
      {HostRole::Control, "/state"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Ask(row.role, row.path, "go=5").status, 404) << RoleName(row.role) << row.path;
  }
  EXPECT_EQ(Ask(HostRole::Console, "/frame/next", "go=4&key=x").status, 404);
}
