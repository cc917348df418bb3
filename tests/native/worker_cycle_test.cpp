#include "service/worker_cycle.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fake_service_platform.h"
#include "service/request_paths.h"

namespace {

const std::string kLoginSuccess =
    "{\"body\":{\"login_status\":\"success\",\"session_id\":\"s-1\",\"shop_id\":\"42\"}}";
const std::string kLoginRejected = "{\"body\":{\"login_status\":\"fail\"}}";
const std::string kOnePending = "{\"body\":{\"deal_status\":\"untreated\",\"web\":[\"W1\"]}}";

const std::u16string kRejectedText = u"登录Zarnik失败，请检查用户名与密码。";
const std::u16string kNoCredentialsText = u"请先设置登录Zarnik网点管理中心的用户名与密码。";
const std::u16string kNetworkText = u"登录Zarnik失败，请检查网络情况。";
const std::u16string kDataErrorText = u"登录Zarnik失败，数据错误。";

class WorkerCycleTest : public ::testing::Test {
 protected:
  void SetUp() override { SaveCredentials(u"shop", u"secret"); }

  void SaveCredentials(const char16_t* account, const char16_t* password) {
    CredentialPair pair;
    pair.exists = true;
    std::u16string(account).copy(pair.account, kCredentialCapacity - 1);
    std::u16string(password).copy(pair.password, kCredentialCapacity - 1);
    WriteCredentials(credentials, pair);
  }

  void RunCycle() { RunWorkerCycle(platform, credentials, session, *untreated, streak); }

  int RequestsTo(ServiceHost host) const {
    int count = 0;
    for (const auto& request : platform.requests) count += request.host == host;
    return count;
  }

  FakeServicePlatform platform;
  ShopCredentials credentials;
  SessionState session;
  std::unique_ptr<UntreatedState> untreated = std::make_unique<UntreatedState>();
  LoginFailureStreak streak;
};

TEST_F(WorkerCycleTest, TheFirstPollFollowsTheFirstLogInAtOnce) {
  std::vector<std::uint32_t> sleepsDuringDialog{99};
  platform.onNotificationDialog = [&] { sleepsDuringDialog = platform.sleeps; };
  platform.QueueBody(ServiceHost::Authentication, kLoginSuccess);
  platform.QueueBody(ServiceHost::Orders, kOnePending);

  RunCycle();

  ASSERT_EQ(platform.requests.size(), 2u);
  EXPECT_EQ(platform.requests[0].host, ServiceHost::Authentication);
  EXPECT_EQ(platform.requests[0].path, BuildLoginPath(u"shop", u"secret"));
  EXPECT_EQ(platform.requests[1].host, ServiceHost::Orders);
  EXPECT_EQ(platform.requests[1].path, BuildPollPath(u"42", u"s-1"));
  EXPECT_EQ(session.reloginRequested, 0);
  EXPECT_TRUE(platform.balloons.empty());
  EXPECT_TRUE(sleepsDuringDialog.empty()) << "the pause comes after the dialog";
  EXPECT_EQ(platform.sleeps, std::vector<std::uint32_t>{30000});
}

TEST_F(WorkerCycleTest, WhileLoggedInEachCyclePollsAndPausesOnce) {
  platform.QueueBody(ServiceHost::Authentication, kLoginSuccess);
  for (int cycle = 0; cycle < 3; ++cycle) RunCycle();
  EXPECT_EQ(RequestsTo(ServiceHost::Authentication), 1);
  EXPECT_EQ(RequestsTo(ServiceHost::Orders), 3);
  EXPECT_EQ(platform.sleeps, (std::vector<std::uint32_t>{30000, 30000, 30000}));
}

TEST_F(WorkerCycleTest, EachFailureCodeShowsItsBalloon) {
  struct Row {
    const char* name;
    bool credentialsSet;
    HttpReply loginReply;
    std::u16string balloon;
  };
  const Row rows[] = {
      {"rejected", true, {HttpReply::Status::Body, kLoginRejected}, kRejectedText},
      {"no credentials", false, {HttpReply::Status::Body, kLoginSuccess}, kNoCredentialsText},
      {"no connection", true, {HttpReply::Status::ConnectFailed, {}}, kNetworkText},
      {"no reply", true, {HttpReply::Status::NoBody, {}}, kNetworkText},
      {"unreadable reply", true, {HttpReply::Status::Body, "not json"}, kDataErrorText},
  };
  for (const Row& row : rows) {
    FakeServicePlatform fresh;
    ShopCredentials rowCredentials;
    if (row.credentialsSet) WriteCredentials(rowCredentials, ReadCredentials(credentials));
    SessionState rowSession;
    LoginFailureStreak rowStreak;
    fresh.QueueReply(ServiceHost::Authentication, row.loginReply);

    RunWorkerCycle(fresh, rowCredentials, rowSession, *untreated, rowStreak);

    EXPECT_EQ(fresh.balloons, std::vector<std::u16string>{row.balloon}) << row.name;
    EXPECT_TRUE(rowStreak.failureReported) << row.name;
    EXPECT_EQ(rowSession.reloginRequested, 1) << row.name;
    EXPECT_FALSE(HasSession(rowSession)) << row.name;
    EXPECT_EQ(fresh.sleeps, std::vector<std::uint32_t>{30000}) << row.name;
    for (const auto& request : fresh.requests) EXPECT_NE(request.host, ServiceHost::Orders) << row.name;
  }
}

TEST_F(WorkerCycleTest, AStreakOfFailuresShowsOnlyItsFirstBalloon) {
  platform.QueueStatus(ServiceHost::Authentication, HttpReply::Status::NoBody);
  platform.QueueBody(ServiceHost::Authentication, kLoginRejected);
  platform.QueueBody(ServiceHost::Authentication, "[");
  for (int cycle = 0; cycle < 3; ++cycle) RunCycle();
  EXPECT_EQ(RequestsTo(ServiceHost::Authentication), 3);
  EXPECT_EQ(platform.balloons, std::vector<std::u16string>{kNetworkText});
}

TEST_F(WorkerCycleTest, AFailureAfterASuccessStartsANewStreak) {
  platform.QueueBody(ServiceHost::Authentication, kLoginRejected);
  platform.QueueBody(ServiceHost::Authentication, kLoginSuccess);
  platform.QueueBody(ServiceHost::Authentication, kLoginRejected);
  platform.QueueBody(ServiceHost::Authentication, kLoginRejected);

  RunCycle();
  RunCycle();
  EXPECT_TRUE(HasSession(session));
  EXPECT_FALSE(streak.failureReported);

  // The settings dialog saved a wrong password.
  session.reloginRequested = 1;
  RunCycle();
  EXPECT_FALSE(HasSession(session)) << "the session is dropped before the attempt";
  RunCycle();

  EXPECT_EQ(platform.balloons, (std::vector<std::u16string>{kRejectedText, kRejectedText}));
  EXPECT_EQ(RequestsTo(ServiceHost::Orders), 1);
}

TEST_F(WorkerCycleTest, SuccessWithoutASessionIdNeitherPollsNorComplains) {
  platform.QueueBody(ServiceHost::Authentication, "{\"body\":{\"login_status\":\"success\"}}");
  platform.QueueBody(ServiceHost::Authentication, kLoginSuccess);

  RunCycle();
  EXPECT_EQ(RequestsTo(ServiceHost::Orders), 0);
  EXPECT_TRUE(platform.balloons.empty());
  EXPECT_EQ(session.reloginRequested, 0);

  RunCycle();
  EXPECT_EQ(RequestsTo(ServiceHost::Authentication), 2) << "an empty session_id forces the next log-in";
  EXPECT_EQ(RequestsTo(ServiceHost::Orders), 1);
}

TEST_F(WorkerCycleTest, MissingCredentialsAreReportedOnceUntilSaved) {
  WriteCredentials(credentials, CredentialPair{});
  for (int cycle = 0; cycle < 3; ++cycle) RunCycle();
  EXPECT_EQ(platform.balloons, std::vector<std::u16string>{kNoCredentialsText});
  EXPECT_TRUE(platform.requests.empty());

  SaveCredentials(u"shop", u"secret");
  platform.QueueBody(ServiceHost::Authentication, kLoginSuccess);
  RunCycle();
  EXPECT_TRUE(HasSession(session));
  EXPECT_EQ(RequestsTo(ServiceHost::Orders), 1);
  EXPECT_EQ(platform.sleeps.size(), 4u);
}

TEST_F(WorkerCycleTest, CredentialsSavedDuringALogInAreUsedAtTheNextCycle) {
  platform.QueueBody(ServiceHost::Authentication, kLoginSuccess);
  platform.onGet = [&](ServiceHost host) {
    if (host != ServiceHost::Authentication) return;
    platform.onGet = nullptr;
    // What the settings dialog's OK does on the other thread while the
    // old credentials are on the wire.
    session.reloginRequested = 1;
    ClearSessionId(session);
    SaveCredentials(u"shop", u"new-secret");
  };

  RunCycle();
  EXPECT_EQ(session.reloginRequested, 1) << "the save's request must survive the log-in it overlapped";

  platform.QueueBody(ServiceHost::Authentication, kLoginSuccess);
  RunCycle();
  const auto& last = platform.requests.at(platform.requests.size() - 2);
  EXPECT_EQ(last.host, ServiceHost::Authentication);
  EXPECT_NE(last.path.find(u"pwd=new-secret"), std::u16string::npos);
  EXPECT_EQ(session.reloginRequested, 0);
}

TEST_F(WorkerCycleTest, AFailedForcedLogInIsStillForcedNextTime) {
  platform.QueueBody(ServiceHost::Authentication, kLoginRejected);
  RunCycle();
  EXPECT_EQ(session.reloginRequested, 1);
}

}  // namespace
