#include "service/login.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_service_platform.h"

namespace {

const char16_t kPassed[] = u"测试通过！";
const char16_t kWrong[] = u"用户名或密码不正确，请重试！";
const char16_t kDataError[] = u"数据错误，请稍后再试！";
const char16_t kNetworkError[] = u"网络错误，请稍后再试！";
const char16_t kConnectError[] = u"网络连接错误，请稍后再试！";
const char16_t kEnterFirst[] = u"请先输入登录帐号与密码，再测试！";

void SetCredentials(ShopCredentials& credentials, const std::u16string& account, const std::u16string& password) {
  CredentialPair pair;
  pair.exists = true;
  account.copy(pair.account, kCredentialCapacity - 1);
  password.copy(pair.password, kCredentialCapacity - 1);
  WriteCredentials(credentials, pair);
}

void SetIds(SessionState& state, const std::u16string& session_id, const std::u16string& shop_id) {
  SessionIds ids;
  session_id.copy(ids.session_id, kIdentifierCapacity - 1);
  shop_id.copy(ids.shop_id, kIdentifierCapacity - 1);
  StoreSessionIds(state, ids);
}

HttpReply Body(std::string body) { return {HttpReply::Status::Body, std::move(body)}; }

std::string Success(const std::string& ids) { return R"({"body":{"login_status":"success")" + ids + "}}"; }

}  // namespace

TEST(LoginToService, TurnsEveryReplyIntoItsCode) {
  const std::string id127(127, 'i');
  const struct {
    const char* name;
    HttpReply reply;
    LoginResult code;
    std::u16string session_id;  // what SessionState holds afterwards
    std::u16string shop_id;
    const char16_t* test_message;
  } rows[] = {
      {"no connection", {HttpReply::Status::ConnectFailed, {}}, LoginConnectFailed, u"old", u"oldshop", kConnectError},
      {"no body", {HttpReply::Status::NoBody, {}}, LoginNetworkError, u"old", u"oldshop", kNetworkError},
      {"empty body", Body(""), LoginNetworkError, u"old", u"oldshop", kNetworkError},
      {"not json", Body("<html>"), LoginDataError, u"old", u"oldshop", kDataError},
      {"zero byte first", Body(std::string("\0{}", 3)), LoginDataError, u"old", u"oldshop", kDataError},
      {"empty object", Body("{}"), LoginDataError, u"old", u"oldshop", kDataError},
      {"body null", Body(R"({"body":null})"), LoginDataError, u"old", u"oldshop", kDataError},
      {"root a list", Body(R"([{"body":{}}])"), LoginDataError, u"old", u"oldshop", kDataError},
      {"root a string", Body(R"("success")"), LoginDataError, u"old", u"oldshop", kDataError},
      {"body a string", Body(R"({"body":"success"})"), LoginDataError, u"old", u"oldshop", kDataError},
      {"body empty", Body(R"({"body":{}})"), LoginRejected, u"old", u"oldshop", kWrong},
      {"fail", Body(R"({"body":{"login_status":"fail"}})"), LoginRejected, u"old", u"oldshop", kWrong},
      {"letter case", Body(R"({"body":{"login_status":"Success"}})"), LoginRejected, u"old", u"oldshop", kWrong},
      {"empty status", Body(R"({"body":{"login_status":""}})"), LoginRejected, u"old", u"oldshop", kWrong},
      {"status true", Body(R"({"body":{"login_status":true}})"), LoginRejected, u"old", u"oldshop", kWrong},
      {"status a number", Body(R"({"body":{"login_status":1}})"), LoginDataError, u"old", u"oldshop", kDataError},
      {"status a list", Body(R"({"body":{"login_status":["success"]}})"), LoginDataError, u"old", u"oldshop",
       kDataError},
      {"status cut by a zero byte", Body(std::string(R"({"body":{"login_status":"succ)") + '\0' + R"(ess"}})"),
       LoginDataError, u"old", u"oldshop", kDataError},
      {"success", Body(Success(R"(,"session_id":"s-9","shop_id":"p7","extra":[1])")), LoginOk, u"s-9", u"p7", kPassed},
      {"success, junk after a zero byte",
       Body(Success(R"(,"session_id":"s","shop_id":"p")") + std::string("\0junk", 5)), LoginOk, u"s", u"p", kPassed},
      {"success without ids", Body(Success("")), LoginOk, u"", u"", kPassed},
      {"success with null ids", Body(Success(R"(,"session_id":null,"shop_id":null)")), LoginOk, u"", u"", kPassed},
      {"boolean ids", Body(Success(R"(,"session_id":true,"shop_id":false)")), LoginOk, u"true", u"false", kPassed},
      {"ids widened byte by byte", Body(Success(R"(,"session_id":"\u00e4","shop_id":"\u5e97")")), LoginOk,
       u"\u00C3\u00A4", u"\u00E5\u00BA\u0097", kPassed},
      {"ids of 127 bytes", Body(Success(R"(,"session_id":")" + id127 + R"(","shop_id":")" + id127 + "\"")), LoginOk,
       std::u16string(127, u'i'), std::u16string(127, u'i'), kPassed},
      {"session id of 128 bytes", Body(Success(R"(,"session_id":")" + id127 + R"(i","shop_id":"p")")), LoginDataError,
       u"old", u"oldshop", kPassed},
      {"shop id of 128 bytes", Body(Success(R"(,"session_id":"s","shop_id":")" + id127 + "i\"")), LoginDataError,
       u"old", u"oldshop", kPassed},
      {"session id a number", Body(Success(R"(,"session_id":12,"shop_id":"p")")), LoginDataError, u"old", u"oldshop",
       kPassed},
      {"shop id an object", Body(Success(R"(,"session_id":"s","shop_id":{})")), LoginDataError, u"old", u"oldshop",
       kPassed},
  };
  for (const auto& row : rows) {
    FakeServicePlatform platform;
    platform.QueueReply(ServiceHost::Authentication, row.reply);
    platform.QueueReply(ServiceHost::Authentication, row.reply);
    ShopCredentials credentials;
    SetCredentials(credentials, u"shop 1", u"p&w");
    SessionState state;
    SetIds(state, u"old", u"oldshop");
    state.reloginRequested = 1;

    EXPECT_EQ(LoginToService(platform, credentials, state), row.code) << row.name;
    const SessionIds ids = ReadSessionIds(state);
    EXPECT_EQ(std::u16string(ids.session_id), row.session_id) << row.name;
    EXPECT_EQ(std::u16string(ids.shop_id), row.shop_id) << row.name;
    EXPECT_EQ(state.reloginRequested, 1) << row.name;

    const TestLoginVerdict verdict = TestLoginWith(platform, u"shop 1", u"p&w");
    EXPECT_EQ(std::u16string(verdict.message), row.test_message) << row.name;
    EXPECT_EQ(verdict.result, row.test_message == kPassed ? 1 : 0) << row.name;

    ASSERT_EQ(platform.requests.size(), 2u) << row.name;
    for (const auto& request : platform.requests) {
      EXPECT_EQ(request.host, ServiceHost::Authentication) << row.name;
      EXPECT_EQ(request.path, u"/shop_login.php?name=shop%201&pwd=p%26w") << row.name;
    }
  }
}

TEST(LoginToService, SendsNothingWithoutCredentials) {
  const struct {
    const char* name;
    bool exists;
    std::u16string account;
    std::u16string password;
  } rows[] = {
      {"never loaded", false, u"shop", u"pw"},
      {"empty password", true, u"shop", u""},
      {"empty account", true, u"", u"pw"},
  };
  for (const auto& row : rows) {
    FakeServicePlatform platform;
    platform.fallbackReply = Body(Success(R"(,"session_id":"s","shop_id":"p")"));
    ShopCredentials credentials;
    SetCredentials(credentials, row.account, row.password);
    if (!row.exists) credentials.pair.exists = false;
    SessionState state;
    SetIds(state, u"old", u"oldshop");
    EXPECT_EQ(LoginToService(platform, credentials, state), LoginNoCredentials) << row.name;
    EXPECT_EQ(std::u16string(ReadSessionIds(state).session_id), u"old") << row.name;
    EXPECT_TRUE(platform.requests.empty()) << row.name;
    if (!row.exists) continue;
    const TestLoginVerdict verdict = TestLoginWith(platform, row.account.c_str(), row.password.c_str());
    EXPECT_EQ(verdict.result, 0) << row.name;
    EXPECT_EQ(std::u16string(verdict.message), kEnterFirst) << row.name;
    EXPECT_TRUE(platform.requests.empty()) << row.name;
  }
}

TEST(LoginToService, SendsNothingWhenThePathWouldNotFit) {
  FakeServicePlatform platform;
  platform.fallbackReply = Body(Success(R"(,"session_id":"s","shop_id":"p")"));
  const std::u16string chinese(127, u'\u5E97');
  ShopCredentials credentials;
  SetCredentials(credentials, chinese, u"pw");
  SessionState state;
  EXPECT_EQ(LoginToService(platform, credentials, state), LoginNetworkError);
  EXPECT_EQ(std::u16string(TestLoginWith(platform, chinese.c_str(), u"pw").message), kNetworkError);
  EXPECT_TRUE(platform.requests.empty());
  EXPECT_FALSE(HasSession(state));
}
