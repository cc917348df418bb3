#include "service/worker_cycle.h"

#include <gtest/gtest.h>

#include "settings/apply_credentials.h"
#include "support.h"

// One balloon per streak of failed log-ins, with the text of the streak's
// first code; each cycle polls when a session is held, then pauses once.
// OK in the settings dialog while the old pair is on the wire: its request
// for a new log-in survives, and the next cycle logs in with the new pair.
// A resume ends the pause; for the minute after it, a failed exchange is
// tried again after 5 s and a failed log-in shows no balloon.
TEST(WorkerCycle, ShowsOneBalloonPerStreakAndPollsWhileLoggedIn) {
  const HttpReply ok = Body(R"({"body":{"login_status":"success","session_id":"s-1","shop_id":"42"}})");
  const HttpReply no = Body(R"({"body":{"login_status":"fail"}})");
  const HttpReply ended = Body(R"({"body":{"deal_status":"No authority"}})"),
                  treated = Body(R"({"body":{"deal_status":"treated"}})"),
                  untreated = Body(R"({"body":{"deal_status":"untreated","web":["W"]}})");
  const std::u16string rejected = u"登录Zarnik失败，请检查用户名与密码。",
                       noNetwork = u"登录Zarnik失败，请检查网络情况。";
  const std::uint32_t P = 30000, R = 5000;
  const struct {
    const char* name;
    bool credentials;
    std::vector<HttpReply> logins, polls;
    std::vector<std::uint32_t> pauses;  // one a cycle
    std::vector<std::u16string> balloons;
    int pollRequests, relogin, resumeIn = -1, exchangeMs = 0;  // the pause a resume ends; how long each exchange takes
    bool saveDuringLogIn = false;
  } rows[] = {
      {"logged in: a poll at once, then one a cycle", true, {ok}, {untreated}, {P, P, P}, {}, 3, 0},
      {"no credentials", false, {}, {}, {P, P, P}, {u"请先设置登录Zarnik网点管理中心的用户名与密码。"}, 0, 1},
      {"a streak of codes", true, {{}, no, Body("[")}, {}, {P, P, P}, {noNetwork}, 0, 1},
      {"a failure after a success", true, {no, ok, no, no}, {ended}, {P, P, P, P}, {rejected, rejected}, 1, 0},
      {"saved during a log-in", true, {ok, ok}, {}, {P, P}, {}, 2, 0, -1, 0, true},
      {"resumed: session ended, back 5 s on", true, {ok, {}, ok}, {treated, ended, treated}, {P, R, R, P}, {}, 3, 0, 0},
      {"resumed: a poll fails", true, {ok}, {{}, Body("<html>")}, {P, R, R}, {}, 3, 0, 0},
      {"resumed: failing past the minute", true, {ok, {}, {}, {}}, {ended}, {P, R, R, P}, {noNetwork}, 1, 0, 0, 25000},
  };
  for (const auto& row : rows) {
    FakeServicePlatform platform;
    platform.queued[ServiceHost::Authentication].assign(row.logins.begin(), row.logins.end());
    platform.queued[ServiceHost::Orders].assign(row.polls.begin(), row.polls.end());
    platform.resumeIn = row.resumeIn;
    platform.exchangeMs = row.exchangeMs;
    platform.onNotificationDialog = [&] { EXPECT_TRUE(platform.sleeps.empty()) << "the pause follows the dialog"; };
    ShopCredentials credentials;
    if (row.credentials) SetCredentials(credentials, u"shop", u"old");
    SessionState session;
    platform.onGet = [&, saved = !row.saveDuringLogIn]() mutable {
      if (!std::exchange(saved, true)) ApplyTypedCredentials(credentials, session, u"shop", u"new");
    };
    const auto lists = std::make_unique<UntreatedState>();
    WorkerCycleState state;
    for ([[maybe_unused]] const auto pause : row.pauses) RunWorkerCycle(platform, credentials, session, *lists, state);
    EXPECT_EQ(platform.balloons, row.balloons) << row.name;
    EXPECT_EQ(platform.RequestsTo(ServiceHost::Orders), row.pollRequests) << row.name;
    EXPECT_EQ(session.reloginRequested, row.relogin) << row.name;
    EXPECT_EQ(platform.sleeps, row.pauses) << row.name;
    const auto logIn = std::pair(ServiceHost::Authentication, u"/shop_login.php?name=shop&pwd=new"s);
    EXPECT_EQ(std::count(platform.requests.begin(), platform.requests.end(), logIn), row.saveDuringLogIn) << row.name;
  }
}
