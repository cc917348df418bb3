#include "service/login.h"

#include <gtest/gtest.h>

#include "service/worker_cycle.h"
#include "support.h"

// The settings dialog's verdicts and the worker's balloons.
const TestLoginVerdict kPassed{1, u"测试通过！"}, kWrong{0, u"用户名或密码不正确，请重试！"},
    kConnect{0, u"网络连接错误，请稍后再试！"}, kData{0, u"数据错误，请稍后再试！"},
    kNetwork{0, u"网络错误，请稍后再试！"}, kEnterFirst{0, u"请先输入登录帐号与密码，再测试！"};
const std::u16string kNoNetwork = u"登录Zarnik失败，请检查网络情况。", kBadData = u"登录Zarnik失败，数据错误。",
                     kRejected = u"登录Zarnik失败，请检查用户名与密码。",
                     kUnset = u"请先设置登录Zarnik网点管理中心的用户名与密码。";

static HttpReply Success(const std::string& session_id, const std::string& shop_id) {
  return Body(R"({"body":{"login_status":"success","session_id":)" + session_id + R"(,"shop_id":)" + shop_id + "}}");
}

// Each reply gives its code to the log-in, its balloon to the worker's cycle and
// the same verdict to the settings dialog's test; only a success replaces the
// held ids ("s0", "p0"). Without credentials, or with a path that would not
// fit, nothing is sent.
TEST(Login, TurnsEveryReplyIntoItsCodeAndVerdict) {
  const std::string id127 = '"' + std::string(127, 'i') + '"', id128 = '"' + std::string(128, 'i') + '"';
  const std::u16string i127(127, u'i'), shops(127, u'\u5E97');  // 127 fit the edits; 1143 units encoded do not
  const struct {
    const char* name;
    HttpReply reply;
    LoginResult code;
    TestLoginVerdict verdict;
    std::vector<std::u16string> balloons;
    std::u16string session = u"s0", shop = u"p0", account = u"shop 1", password = u"p&w";  // ids held afterwards
    bool exists = true;
    int sent = 3;  // log-in requests: the log-in's, the test's and the cycle's
  } rows[] = {
      {"connect failed", {HttpReply::Status::ConnectFailed, {}}, LoginConnectFailed, kConnect, {kNoNetwork}},
      {"empty body", Body(""), LoginNetworkError, kNetwork, {kNoNetwork}},
      {"zero byte first", Body("\0{}"s), LoginDataError, kData, {kBadData}},
      {"body a text", Body(R"({"body":"success"})"), LoginDataError, kData, {kBadData}},
      {"no status", Body(R"({"body":{}})"), LoginRejected, kWrong, {kRejected}},
      {"status's letter case", Body(R"({"body":{"login_status":"Success"}})"), LoginRejected, kWrong, {kRejected}},
      {"status a number", Body(R"({"body":{"login_status":1}})"), LoginDataError, kData, {kBadData}},
      {"no ids", Body(R"({"body":{"login_status":"success"}})"), LoginOk, kPassed, {}, u"", u""},
      {"ids true and false", Success(R"(true,"x":[1])", "false"), LoginOk, kPassed, {}, u"true", u"false"},
      {"widened", Success(R"("\u00e4")", R"("\u5e97")"), LoginOk, kPassed, {}, u"\u00C3\u00A4", u"\u00E5\u00BA\u0097"},
      {"127-byte ids", Success(id127, id127), LoginOk, kPassed, {}, i127, i127},
      {"128-byte session id", Success(id128, R"("p")"), LoginDataError, kData, {kBadData}},
      {"128-byte shop id", Success(R"("s")", id128), LoginDataError, kData, {kBadData}},
      {"object shop id", Success(R"("s")", "{}"), LoginDataError, kData, {kBadData}},
      {"unset", {}, LoginNoCredentials, kNetwork, {kUnset}, u"s0", u"p0", u"shop 1", u"p&w", false, 1},
      {"no password", {}, LoginNoCredentials, kEnterFirst, {kUnset}, u"s0", u"p0", u"shop 1", u"", true, 0},
      {"no account", {}, LoginNoCredentials, kEnterFirst, {kUnset}, u"s0", u"p0", u"", u"p&w", true, 0},
      {"path too long", {}, LoginDataError, kData, {kBadData}, u"s0", u"p0", shops, u"p&w", true, 0},
  };
  for (const auto& row : rows) {
    FakeServicePlatform platform;
    platform.answer = [&](ServiceHost, const std::u16string&) { return row.reply; };
    ShopCredentials credentials;
    SetCredentials(credentials, row.account, row.password, row.exists);
    SessionState session;
    SetIds(session, u"s0", u"p0");
    EXPECT_EQ(LoginToService(platform, credentials, session), row.code) << row.name;
    EXPECT_EQ(ReadSessionIds(session).session_id, row.session) << row.name;
    EXPECT_EQ(ReadSessionIds(session).shop_id, row.shop) << row.name;
    const TestLoginVerdict verdict = TestLoginWith(platform, row.account.c_str(), row.password.c_str());
    EXPECT_EQ(verdict.result, row.verdict.result) << row.name;
    EXPECT_EQ(std::u16string(verdict.message), row.verdict.message) << row.name;
    WorkerCycleState streak;
    RunWorkerCycle(platform, credentials, session, *std::make_unique<UntreatedState>(), streak);
    EXPECT_EQ(platform.balloons, row.balloons) << row.name;
    const auto logIn = std::pair(ServiceHost::Authentication, u"/shop_login.php?name=shop%201&pwd=p%26w"s);
    EXPECT_EQ(std::count(platform.requests.begin(), platform.requests.end(), logIn), row.sent) << row.name;
  }
}
