#include "service/login.h"

#include <gtest/gtest.h>

#include "service/worker_cycle.h"
#include "support.h"

namespace {

const char16_t kPassed[] = u"测试通过！", kWrong[] = u"用户名或密码不正确，请重试！";
const char16_t kData[] = u"数据错误，请稍后再试！", kNetwork[] = u"网络错误，请稍后再试！";
const std::u16string kNoNetwork = u"登录Zarnik失败，请检查网络情况。";
const char16_t kEnterFirst[] = u"请先输入登录帐号与密码，再测试！";
const std::map<int, std::vector<std::u16string>> kBalloons = {
    {LoginOk, {}},
    {LoginRejected, {u"登录Zarnik失败，请检查用户名与密码。"}},
    {LoginDataError, {u"登录Zarnik失败，数据错误。"}},
    {LoginConnectFailed, {kNoNetwork}},
    {LoginNetworkError, {kNoNetwork}},
    {LoginNoCredentials, {u"请先设置登录Zarnik网点管理中心的用户名与密码。"}}};

HttpReply Status(const std::string& status) { return Body(R"({"body":{"login_status":)" + status + "}}"); }
HttpReply Success(const std::string& session_id, const std::string& shop_id, const std::string& more = "") {
  return Body(R"({"body":{"login_status":"success","session_id":)" + session_id + R"(,"shop_id":)" + shop_id + "}}" +
              more);
}

}  // namespace

// Each reply gives its code to the log-in, its balloon to the worker's cycle and
// the same verdict to the settings dialog's test; only a success replaces the
// held ids ("old", "oldshop"). Without credentials, or with a path that would
// not fit, nothing is sent.
TEST(Login, TurnsEveryReplyIntoItsCodeAndVerdict) {
  const std::string id127 = '"' + std::string(127, 'i') + '"', id128 = '"' + std::string(128, 'i') + '"';
  const struct {
    HttpReply reply;
    LoginResult code;
    const char16_t* verdict;
    std::u16string ids = u"old|oldshop";  // session_id|shop_id held afterwards
    std::u16string account = u"shop 1", password = u"p&w";
    bool exists = true;
    int sent = 3;  // log-in requests: the log-in's, the test's and the cycle's
  } rows[] = {
      {{HttpReply::Status::ConnectFailed, {}}, LoginConnectFailed, u"网络连接错误，请稍后再试！"},
      {{HttpReply::Status::NoBody, {}}, LoginNetworkError, kNetwork},
      {Body(""), LoginNetworkError, kNetwork},
      {Body("<html>"), LoginDataError, kData},
      {Body("\0{}"s), LoginDataError, kData},
      {Body(R"({"body":null})"), LoginDataError, kData},
      {Body(R"([{"body":{}}])"), LoginDataError, kData},
      {Body(R"({"body":"success"})"), LoginDataError, kData},
      {Body(R"({"body":{}})"), LoginRejected, kWrong},
      {Status(R"("fail")"), LoginRejected, kWrong},
      {Status(R"("Success")"), LoginRejected, kWrong},
      {Status("true"), LoginRejected, kWrong},
      {Status("1"), LoginDataError, kData},
      {Success(R"("s-9","x":[1])", R"("p7")"), LoginOk, kPassed, u"s-9|p7"},
      {Success(R"("s")", R"("p")", "\0}"s), LoginOk, kPassed, u"s|p"},  // junk after a zero byte
      {Status(R"("success")"), LoginOk, kPassed, u"|"},
      {Success("true", "false"), LoginOk, kPassed, u"true|false"},
      {Success(R"("\u00e4")", R"("\u5e97")"), LoginOk, kPassed, u"\u00C3\u00A4|\u00E5\u00BA\u0097"},  // widened bytes
      {Success(id127, id127), LoginOk, kPassed, std::u16string(127, u'i') + u"|" + std::u16string(127, u'i')},
      {Success(id128, R"("p")"), LoginDataError, kData},
      {Success(R"("s")", id128), LoginDataError, kData},
      {Success("12", R"("p")"), LoginDataError, kData},
      {Success(R"("s")", "{}"), LoginDataError, kData},
      {Success(R"("s")", R"("p")"), LoginNoCredentials, kPassed, u"old|oldshop", u"shop 1", u"p&w", false, 1},
      {{}, LoginNoCredentials, kEnterFirst, u"old|oldshop", u"shop 1", u"", true, 0},
      {{}, LoginNoCredentials, kEnterFirst, u"old|oldshop", u"", u"p&w", true, 0},
      // 127 characters each fit the edits, but 1143 units encoded do not fit the path.
      {{}, LoginDataError, kData, u"old|oldshop", std::u16string(127, u'\u5E97'), u"p&w", true, 0},
      {{}, LoginDataError, kData, u"old|oldshop", u"shop 1", std::u16string(127, u'\u5E97'), true, 0},
  };
  for (const auto& row : rows) {
    const auto name = testing::Message() << "row " << &row - rows;
    FakeServicePlatform platform;
    platform.answer = [&](ServiceHost, const std::u16string&) { return row.reply; };
    ShopCredentials credentials;
    SetCredentials(credentials, row.account, row.password, row.exists);
    SessionState session;
    SetIds(session, u"old", u"oldshop");
    EXPECT_TRUE(LoginToService(platform, credentials, session) == row.code && session.reloginRequested == 1) << name;
    const TestLoginVerdict verdict = TestLoginWith(platform, row.account.c_str(), row.password.c_str());
    EXPECT_EQ(ReadSessionIds(session).session_id + u"|"s + ReadSessionIds(session).shop_id + u"|" + verdict.message +
                  u"|" + (verdict.result ? u"1" : u"0"),
              row.ids + u"|" + row.verdict + u"|" + (row.verdict == kPassed ? u"1" : u"0"))
        << name;
    const auto untreated = std::make_unique<UntreatedState>();
    WorkerCycleState streak;
    session.reloginRequested = 1;
    RunWorkerCycle(platform, credentials, session, *untreated, streak);
    EXPECT_TRUE(platform.balloons == kBalloons.at(row.code) &&
                platform.RequestsTo(ServiceHost::Authentication) == row.sent)
        << name;
    for (const auto& [host, path] : platform.requests)
      EXPECT_TRUE(host == ServiceHost::Orders || path == u"/shop_login.php?name=shop%201&pwd=p%26w") << name;
  }
}
