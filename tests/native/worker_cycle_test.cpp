#include "service/worker_cycle.h"

#include <gtest/gtest.h>

#include "support.h"

// One balloon per streak of failed log-ins, with the text of the streak's
// first code; each cycle polls when a session is held, then pauses once.
// OK in the settings dialog while the old pair is on the wire: its request
// for a new log-in survives, and the next cycle logs in with the new pair.
TEST(WorkerCycle, ShowsOneBalloonPerStreakAndPollsWhileLoggedIn) {
  const HttpReply ok = Body(R"({"body":{"login_status":"success","session_id":"s-1","shop_id":"42"}})");
  const HttpReply no = Body(R"({"body":{"login_status":"fail"}})");
  const std::u16string rejected = u"登录Zarnik失败，请检查用户名与密码。",
                       newPair = u"/shop_login.php?name=shop&pwd=new";
  const struct {
    const char* name;
    bool credentials;
    std::vector<HttpReply> logins, polls;
    int cycles;
    std::vector<std::u16string> balloons;
    int pollRequests, relogin;
    bool saveDuringLogIn = false;
  } rows[] = {
      {"first poll at once", true, {ok}, {Body(R"({"body":{"deal_status":"untreated","web":["W"]}})")}, 1, {}, 1, 0},
      {"logged in: one poll a cycle", true, {ok}, {}, 3, {}, 3, 0},
      {"no credentials", false, {}, {}, 3, {u"请先设置登录Zarnik网点管理中心的用户名与密码。"}, 0, 1},
      {"a streak of codes", true, {{}, no, Body("[")}, {}, 3, {u"登录Zarnik失败，请检查网络情况。"}, 0, 1},
      {"a failure after a success",
       true,
       {no, ok, no, no},
       {Body(R"({"body":{"deal_status":"No authority"}})")},
       4,
       {rejected, rejected},
       1,
       0},
      {"success without a session id", true, {Body(R"({"body":{"login_status":"success"}})"), ok}, {}, 2, {}, 1, 0},
      {"saved during a log-in", true, {ok, ok}, {}, 2, {}, 2, 0, true},
  };
  for (const auto& row : rows) {
    FakeServicePlatform platform;
    platform.queued[ServiceHost::Authentication].assign(row.logins.begin(), row.logins.end());
    platform.queued[ServiceHost::Orders].assign(row.polls.begin(), row.polls.end());
    platform.onNotificationDialog = [&] { EXPECT_TRUE(platform.sleeps.empty()) << "the pause follows the dialog"; };
    ShopCredentials credentials;
    if (row.credentials) SetCredentials(credentials, u"shop", u"old");
    SessionState session;
    platform.onGet = [&, saved = !row.saveDuringLogIn]() mutable {
      if (!std::exchange(saved, true)) SetCredentials(credentials, u"shop", u"new"), session.reloginRequested = 1;
    };
    const auto untreated = std::make_unique<UntreatedState>();
    LoginFailureStreak streak;
    for (int cycle = 0; cycle < row.cycles; ++cycle) RunWorkerCycle(platform, credentials, session, *untreated, streak);
    EXPECT_EQ(platform.balloons, row.balloons) << row.name;
    EXPECT_EQ(platform.RequestsTo(ServiceHost::Orders), row.pollRequests) << row.name;
    EXPECT_EQ(session.reloginRequested, row.relogin) << row.name;
    EXPECT_EQ(platform.sleeps, std::vector<std::uint32_t>(row.cycles, 30000)) << row.name;
    EXPECT_TRUE(!row.saveDuringLogIn || platform.requests[2].second == newPair) << row.name;
  }
}
