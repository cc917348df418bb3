#include "service/worker_cycle.h"

#include <gtest/gtest.h>

#include "support.h"

// One balloon per streak of failed log-ins, with the text of the streak's
// first code; each cycle polls when a session is held, then pauses once.
// A resume ends the pause; for the minute after it, a failed exchange is
// tried again after 5 s and a failed log-in shows no balloon. Two cycles in
// a row without an accepted log-in or a readable poll reply (not counting
// that minute) show the service as not connected, until the next good one.
TEST(WorkerCycle, ShowsOneBalloonPerStreakAndPollsWhileLoggedIn) {
  const HttpReply ok = Body(R"({"body":{"login_status":"success","session_id":"s-1","shop_id":"42"}})");
  const HttpReply no = Body(R"({"body":{"login_status":"fail"}})");
  const HttpReply ended = Body(R"({"body":{"deal_status":"No authority"}})"),
                  treated = Body(R"({"body":{"deal_status":"treated"}})"),
                  untreated = Body(R"({"body":{"deal_status":"untreated","web":["W"]}})");
  const std::u16string rejected = u"登录Zarnik失败，请检查用户名与密码。",
                       noNetwork = u"登录Zarnik失败，请检查网络情况。",
                       unset = u"请先设置登录Zarnik网点管理中心的用户名与密码。", one = u"Morvane（1条待处理业务请求）",
                       netAway = u"Morvane（未连接Zarnik：请检查网络）",
                       pwAway = u"Morvane（未连接Zarnik：请检查用户名与密码）",
                       pwAway1 = u"Morvane（未连接Zarnik：请检查用户名与密码，1条待处理业务请求）",
                       unsetAway = u"Morvane（未连接Zarnik：请先设置用户名与密码）",
                       dataAway1 = u"Morvane（未连接Zarnik：数据错误，1条待处理业务请求）";
  const struct {
    const char* name;
    bool credentials;
    std::vector<HttpReply> logins, polls;
    std::string pauses;  // one a cycle: P the whole pause, R the retry after a resume
    std::vector<std::u16string> balloons;
    std::vector<bool> notConnected;  // shown, cleared, in turn
    std::u16string tooltip;          // the last one set
    // resumeIn: the pause a resume ends; exchangeMs: how long each exchange takes
    int pollRequests, relogin = 0, resumeIn = -1, exchangeMs = 0;
  } rows[] = {
      {"logged in: at once, then each cycle", true, {ok}, {untreated, untreated, untreated}, "PPP", {}, {}, one, 3, 0},
      {"no credentials", false, {}, {}, "PPP", {unset}, {true}, unsetAway, 0, 1},
      {"back after a streak", true, {{}, no, Body("["), ok}, {}, "PPPP", {noNetwork}, {true, false}, u"Morvane", 1},
      {"after success", true, {no, ok, no, no}, {untreated, ended}, "PPPPP", {rejected, rejected}, {true}, pwAway1, 2},
      {"the reason follows the last failure", true, {{}, {}, no}, {}, "PPP", {noNetwork}, {true}, pwAway, 0, 1},
      {"back with a notice", true, {{}, {}, ok}, {untreated}, "PPP", {noNetwork}, {true, false}, one, 1},
      {"polls fail, one kept", true, {ok}, {untreated, {}, Body("<html>")}, "PPP", {}, {true}, dataAway1, 3, 0},
      {"resumed: ended, 5 s on", true, {ok, {}, ok}, {treated, ended, treated}, "PRRP", {}, {}, u"Morvane", 3, 0, 0},
      {"resumed: a poll fails", true, {ok}, {{}, Body("<html>")}, "PRR", {}, {}, u"", 3, 0, 0},
      {"resumed: failing", true, {ok, {}, {}, {}, {}}, {ended}, "PRRPP", {noNetwork}, {true}, netAway, 1, 0, 0, 25000},
  };
  for (const auto& row : rows) {
    FakeServicePlatform platform;
    platform.queued[ServiceHost::Authentication].assign(row.logins.begin(), row.logins.end());
    platform.queued[ServiceHost::Orders].assign(row.polls.begin(), row.polls.end());
    platform.resumeIn = row.resumeIn;
    platform.exchangeMs = row.exchangeMs;
    std::size_t cycle = 0;
    platform.onNotificationDialog = [&] {
      EXPECT_EQ(platform.sleeps.size(), cycle) << row.name << ": the pause follows the dialog";
      EXPECT_FALSE(!platform.notConnected.empty() && platform.notConnected.back()) << row.name << ": icon back first";
    };
    ShopCredentials credentials;
    if (row.credentials) SetCredentials(credentials, u"shop", u"old");
    SessionState session;
    const auto lists = std::make_unique<UntreatedState>();
    WorkerCycleState state;
    for (; cycle < row.pauses.size(); ++cycle) RunWorkerCycle(platform, credentials, session, *lists, state);
    EXPECT_EQ(platform.balloons, row.balloons) << row.name;
    EXPECT_EQ(platform.notConnected, row.notConnected) << row.name;
    EXPECT_EQ(platform.tooltips.empty() ? u"" : platform.tooltips.back(), row.tooltip) << row.name;
    const auto polls = std::count_if(platform.requests.begin(), platform.requests.end(),
                                     [](const auto& sent) { return sent.first == ServiceHost::Orders; });
    EXPECT_EQ(polls, row.pollRequests) << row.name;
    EXPECT_EQ(session.reloginRequested, row.relogin) << row.name;
    std::string slept;
    for (const std::uint32_t pause : platform.sleeps) slept += pause == 30000 ? 'P' : pause == 5000 ? 'R' : '?';
    EXPECT_EQ(slept, row.pauses) << row.name;
  }
}
