#include "service/console_launch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "fake_service_platform.h"
#include "service/request_paths.h"

namespace {

using namespace std::string_literals;

TEST(ExtractConsoleKeyTest, CutsTheFirstAndLastCharacterOrRefuses) {
  struct Row {
    const char* name;
    std::string reply;
    std::optional<std::u16string> key;
  };
  const Row rows[] = {
      {"quoted key", "\"k-9\"", u"k-9"},
      {"two quotes", "\"\"", u""},
      {"no quotes", "abcd", u"bc"},
      {"one byte", "x", u""},
      {"refusal", "\"bad request!\"", std::nullopt},
      {"refusal without quotes", "bad request!", u"ad request"},
      {"refusal and line break", "\"bad request!\"\n", u"bad request!\""},
      {"refusal and CRLF", "\"bad request!\"\r\n", u"bad request!\"\r"},
      {"escape kept verbatim", "\"a\\u0041\"", u"a\\u0041"},
      {"bytes widened one by one", "\"\xe4\xb8\xad\"", u"\u00e4\u00b8\u00ad"},
      {"text ends at a zero byte", "\"ab\0cd\""s, u"a"},
      {"first byte zero", "\0abc\""s, std::nullopt},
      {"127 bytes fit", "\"" + std::string(125, 'k') + "\"", std::u16string(125, u'k')},
      {"128 bytes do not", "\"" + std::string(126, 'k') + "\"", std::nullopt},
      {"empty reply", "", std::nullopt},
  };
  for (const Row& row : rows) EXPECT_EQ(ExtractConsoleKey(row.reply), row.key) << row.name;
}

class OpenConsoleTest : public ::testing::Test {
 protected:
  void HoldSession(const char16_t* sessionId) {
    SessionIds ids;
    std::u16string(sessionId).copy(ids.session_id, kIdentifierCapacity - 1);
    std::u16string(u"42").copy(ids.shop_id, kIdentifierCapacity - 1);
    StoreSessionIds(session, ids);
  }
  void SaveCredentials() {
    CredentialPair pair;
    pair.exists = true;
    std::u16string(u"shop").copy(pair.account, kCredentialCapacity - 1);
    std::u16string(u"secret").copy(pair.password, kCredentialCapacity - 1);
    WriteCredentials(credentials, pair);
  }

  FakeServicePlatform platform;
  ShopCredentials credentials;
  SessionState session;
};

TEST_F(OpenConsoleTest, OpensTheEntryWithTheKeyOrFallsBackToTheStartPage) {
  struct Row {
    const char* name;
    HttpReply keyReply;
    int result;
    std::u16string url;
  };
  const Row rows[] = {
      {"key", {HttpReply::Status::Body, "\"k-9\""}, 1, BuildConsoleEntryUrl(u"k-9")},
      {"empty key", {HttpReply::Status::Body, "\"\""}, 1, BuildConsoleEntryUrl(u"")},
      {"refusal", {HttpReply::Status::Body, "\"bad request!\""}, 0, BuildConsoleStartUrl()},
      {"refusal and line break", {HttpReply::Status::Body, "\"bad request!\"\n"}, 1,
       BuildConsoleEntryUrl(u"bad request!\"")},
      {"oversized reply", {HttpReply::Status::Body, std::string(300, 'k')}, 0, BuildConsoleStartUrl()},
      {"empty reply", {HttpReply::Status::Body, ""}, 0, BuildConsoleStartUrl()},
      {"no reply", {HttpReply::Status::NoBody, {}}, 0, BuildConsoleStartUrl()},
      {"no connection", {HttpReply::Status::ConnectFailed, {}}, 0, BuildConsoleStartUrl()},
  };
  for (const Row& row : rows) {
    FakeServicePlatform fresh;
    HoldSession(u"s-1");
    fresh.QueueReply(ServiceHost::Authentication, row.keyReply);

    EXPECT_EQ(OpenConsole(fresh, credentials, session), row.result) << row.name;

    ASSERT_EQ(fresh.requests.size(), 1u) << row.name;
    EXPECT_EQ(fresh.requests[0].host, ServiceHost::Authentication) << row.name;
    EXPECT_EQ(fresh.requests[0].path, BuildKeyPath(u"s-1")) << row.name;
    EXPECT_EQ(fresh.openedUrls, std::vector<std::u16string>{row.url}) << row.name;
  }
}

TEST_F(OpenConsoleTest, WithoutSessionOrCredentialsOpensTheStartPageUnasked) {
  EXPECT_EQ(OpenConsole(platform, credentials, session), 0);
  EXPECT_TRUE(platform.requests.empty());
  EXPECT_EQ(platform.openedUrls, std::vector<std::u16string>{BuildConsoleStartUrl()});
  EXPECT_TRUE(platform.balloons.empty()) << "the callers show the balloon";
}

TEST_F(OpenConsoleTest, WithoutSessionLogsInFirstAndUsesTheNewSession) {
  SaveCredentials();
  platform.QueueBody(ServiceHost::Authentication,
                     "{\"body\":{\"login_status\":\"success\",\"session_id\":\"s-7\",\"shop_id\":\"42\"}}");
  platform.QueueBody(ServiceHost::Authentication, "\"k-1\"");

  EXPECT_EQ(OpenConsole(platform, credentials, session), 1);

  ASSERT_EQ(platform.requests.size(), 2u);
  EXPECT_EQ(platform.requests[0].path, BuildLoginPath(u"shop", u"secret"));
  EXPECT_EQ(platform.requests[1].path, BuildKeyPath(u"s-7"));
  EXPECT_EQ(platform.openedUrls, std::vector<std::u16string>{BuildConsoleEntryUrl(u"k-1")});
  EXPECT_EQ(session.reloginRequested, 1) << "the worker still logs in on its own";
}

TEST_F(OpenConsoleTest, ARejectedLogInAsksForNoKey) {
  SaveCredentials();
  platform.QueueBody(ServiceHost::Authentication, "{\"body\":{\"login_status\":\"fail\"}}");

  EXPECT_EQ(OpenConsole(platform, credentials, session), 0);

  EXPECT_EQ(platform.requests.size(), 1u);
  EXPECT_EQ(platform.openedUrls, std::vector<std::u16string>{BuildConsoleStartUrl()});
}

}  // namespace
