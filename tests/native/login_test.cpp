#include "service/login.h"

#include <gtest/gtest.h>

#include <memory>

#include "service/worker_cycle.h"

#include "support.h"

namespace {

const char16_t kPassed[] = u"测试通过！", kWrong[] = u"用户名或密码不正确，请重试！";
const char16_t kData[] = u"数据错误，请稍后再试！", kNetwork[] = u"网络错误，请稍后再试！";

const std::map<int, std::vector<std::u16string>> kBalloons = {
    {LoginOk, {}}, {LoginRejected, {u"登录Zarnik失败，请检查用户名与密码。"}}, {LoginDataError, {u"登录Zarnik失败，数据错误。"}},
    {LoginConnectFailed, {u"登录Zarnik失败，请检查网络情况。"}}, {LoginNetworkError, {u"登录Zarnik失败，请检查网络情况。"}}};

std::string Success(const std::string& ids) { return R"({"body":{"login_status":"success")" + ids + "}}"; }
std::string Ids(const std::string& session_id, const std::string& shop_id) {
  return R"(,"session_id":)" + session_id + R"(,"shop_id":)" + shop_id;
}

}  // namespace

// Each reply gives its code to the log-in, its balloon to the worker's cycle and
// the same verdict to the settings dialog's test; only a success replaces the
// held ids ("old", "oldshop").
TEST(Login, TurnsEveryReplyIntoItsCodeAndVerdict) {
  const std::string id127 = '"' + std::string(127, 'i') + '"', id128 = '"' + std::string(128, 'i') + '"';
  const struct {
    const char* name;
    HttpReply reply;
    LoginResult code;
    const char16_t* verdict;
    std::u16string ids = u"old|oldshop";  // session_id|shop_id held afterwards
  } rows[] = {
      {"no connection", {HttpReply::Status::ConnectFailed, {}}, LoginConnectFailed, u"网络连接错误，请稍后再试！"},
      {"no body", {HttpReply::Status::NoBody, {}}, LoginNetworkError, kNetwork},
      {"empty body", Body(""), LoginNetworkError, kNetwork},
      {"not json", Body("<html>"), LoginDataError, kData},
      {"zero byte first", Body("\0{}"s), LoginDataError, kData},
      {"empty object", Body("{}"), LoginDataError, kData},
      {"body null", Body(R"({"body":null})"), LoginDataError, kData},
      {"root a list", Body(R"([{"body":{}}])"), LoginDataError, kData},
      {"body a text", Body(R"({"body":"success"})"), LoginDataError, kData},
      {"body empty", Body(R"({"body":{}})"), LoginRejected, kWrong},
      {"fail", Body(R"({"body":{"login_status":"fail"}})"), LoginRejected, kWrong},
      {"letter case", Body(R"({"body":{"login_status":"Success"}})"), LoginRejected, kWrong},
      {"status true", Body(R"({"body":{"login_status":true}})"), LoginRejected, kWrong},
      {"status a number", Body(R"({"body":{"login_status":1}})"), LoginDataError, kData},
      {"success", Body(Success(Ids("\"s-9\"", "\"p7\"") + ",\"x\":[1]")), LoginOk, kPassed, u"s-9|p7"},
      {"junk after a zero byte", Body(Success(Ids("\"s\"", "\"p\"")) + "\0}"s), LoginOk, kPassed, u"s|p"},
      {"success without ids", Body(Success("")), LoginOk, kPassed, u"|"},
      {"boolean ids", Body(Success(Ids("true", "false"))), LoginOk, kPassed, u"true|false"},
      {"widened bytes", Body(Success(Ids(R"("\u00e4")", R"("\u5e97")"))), LoginOk, kPassed, u"\u00C3\u00A4|\u00E5\u00BA\u0097"},
      {"ids of 127 bytes", Body(Success(Ids(id127, id127))), LoginOk, kPassed,
       std::u16string(127, u'i') + u"|" + std::u16string(127, u'i')},
      {"session id of 128 bytes", Body(Success(Ids(id128, "\"p\""))), LoginDataError, kData},
      {"shop id of 128 bytes", Body(Success(Ids("\"s\"", id128))), LoginDataError, kData},
      {"session id a number", Body(Success(Ids("12", "\"p\""))), LoginDataError, kData},
      {"shop id an object", Body(Success(Ids("\"s\"", "{}"))), LoginDataError, kData},
  };
  for (const auto& row : rows) {
    FakeServicePlatform platform;
    platform.answer = [&](ServiceHost, const std::u16string&) { return row.reply; };
    ShopCredentials credentials;
    SetCredentials(credentials, u"shop 1", u"p&w");
    SessionState session;
    SetIds(session, u"old", u"oldshop");
    EXPECT_EQ(LoginToService(platform, credentials, session), row.code) << row.name;
    const SessionIds ids = ReadSessionIds(session);
    EXPECT_EQ(ids.session_id + u"|"s + ids.shop_id, row.ids) << row.name;
    EXPECT_EQ(session.reloginRequested, 1) << row.name;
    const TestLoginVerdict verdict = TestLoginWith(platform, u"shop 1", u"p&w");
    EXPECT_EQ(verdict.message + u""s, row.verdict) << row.name;
    EXPECT_EQ(verdict.result, row.verdict == kPassed) << row.name;
    const auto untreated = std::make_unique<UntreatedState>();
    LoginFailureStreak streak;
    session.reloginRequested = 1;
    RunWorkerCycle(platform, credentials, session, *untreated, streak);
    EXPECT_EQ(platform.balloons, kBalloons.at(row.code)) << row.name;
    EXPECT_EQ(platform.RequestsTo(ServiceHost::Authentication), 3) << row.name;
    for (const auto& [host, path] : platform.requests) {
      EXPECT_TRUE(host == ServiceHost::Orders || path == u"/shop_login.php?name=shop%201&pwd=p%26w") << row.name;
    }
  }
}

TEST(Login, SendsNothingWithoutCredentialsOrWhenThePathWouldNotFit) {
  const char16_t kEnterFirst[] = u"请先输入登录帐号与密码，再测试！";
  const struct {
    bool exists;
    std::u16string account, password;
    LoginResult code;
    const char16_t* verdict;  // nullptr: the dialog never holds such texts
  } rows[] = {
      {false, u"shop", u"pw", LoginNoCredentials, nullptr}, {true, u"shop", u"", LoginNoCredentials, kEnterFirst},
      {true, u"", u"pw", LoginNoCredentials, kEnterFirst},
      {true, std::u16string(127, u'\u5E97'), u"pw", LoginNetworkError, kNetwork},  // 1143 units once encoded
  };
  for (const auto& row : rows) {
    FakeServicePlatform platform;
    platform.answer = [](ServiceHost, const std::u16string&) { return Body(Success(Ids("\"s\"", "\"p\""))); };
    ShopCredentials credentials;
    SetCredentials(credentials, row.account, row.password, row.exists);
    SessionState session;
    EXPECT_EQ(LoginToService(platform, credentials, session), row.code) << &row - rows;
    EXPECT_TRUE(!row.verdict || TestLoginWith(platform, row.account.c_str(), row.password.c_str()).message ==
                                    std::u16string(row.verdict)) << &row - rows;
    EXPECT_TRUE(platform.requests.empty() && !HasSession(session)) << &row - rows;
  }
}
