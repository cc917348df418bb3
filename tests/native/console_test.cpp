#include "service/console_launch.h"

#include <gtest/gtest.h>

#include "service/service_hosts.h"
#include "support.h"

// The key is the reply without its first and last characters, percent-encoded
// into the entry URL; any failure opens the start page. A log-in comes first
// only when no session is held, and no key is asked for without one.
TEST(Console, OpensTheEntryWithTheKeyOrFallsBackToTheStartPage) {
  const std::u16string start = u"http://" + std::u16string(MORVANE_CONSOLE_HOST) + u"/",
                       entry = start + u"frame/next?go=5&key=";
  const std::string login = R"({"body":{"login_status":"success","session_id":"s-1","shop_id":"42"}})";
  const auto key = std::pair(ServiceHost::Authentication, u"/shop_key.php?session_id=s-1"s),
             logIn = std::pair(ServiceHost::Authentication, u"/shop_login.php?name=shop&pwd=secret"s);
  const struct {
    const char* name;
    bool held, credentials;
    std::vector<HttpReply> replies;
    std::vector<std::pair<ServiceHost, std::u16string>> requests;
    int opened;
    std::u16string url;
  } rows[] = {
      {"no quotes", true, false, {Body("abcd")}, {key}, 1, entry + u"bc"},
      {"one byte", true, false, {Body("x")}, {key}, 1, entry},
      {"refusal", true, false, {Body("\"bad request!\"")}, {key}, 0, start},
      {"refusal, line break", true, false, {Body("\"bad request!\"\n")}, {key}, 1, entry + u"bad%20request%21%22"},
      {"escapes", true, false, {Body("\"a b\"#\\u%\xe4\"")}, {key}, 1, entry + u"a%20b%22%23%5Cu%25%E4"},
      {"zero byte", true, false, {Body("\"ab\0cd\""s)}, {key}, 1, entry + u"a"},
      {"zero byte first", true, false, {Body("\0abc\""s)}, {key}, 0, start},
      {"127 bytes", true, false, {Body('"' + std::string(125, 'k') + '"')}, {key}, 1, entry + std::u16string(125, 'k')},
      {"128 bytes", true, false, {Body('"' + std::string(126, 'k') + '"')}, {key}, 0, start},
      {"failed exchange", true, false, {{HttpReply::Status::NoBody, "\"k-9\""}}, {key}, 0, start},
      {"logs in first", false, true, {Body(login), Body("\"k-1\"")}, {logIn, key}, 1, entry + u"k-1"},
      {"rejected log-in", false, true, {Body(R"({"body":{"login_status":"fail"}})")}, {logIn}, 0, start},
  };
  for (const auto& row : rows) {
    FakeServicePlatform platform;
    platform.queued[ServiceHost::Authentication].assign(row.replies.begin(), row.replies.end());
    ShopCredentials credentials;
    if (row.credentials) SetCredentials(credentials, u"shop", u"secret");
    SessionState session;
    if (row.held) SetIds(session, u"s-1", u"42");
    EXPECT_EQ(OpenConsole(platform, credentials, session), row.opened) << row.name;
    EXPECT_EQ(platform.requests, row.requests) << row.name;
    EXPECT_EQ(platform.openedUrls, std::vector{row.url}) << row.name;
    // The callers show the balloon; the worker still logs in on its own.
    EXPECT_TRUE(platform.balloons.empty()) << row.name;
    EXPECT_EQ(session.reloginRequested, 1) << row.name;
  }
}
