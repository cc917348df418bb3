#include "service/login.h"

#include "service/login_reply.h"
#include "service/request_paths.h"

namespace {

// The one exchange of a log-in and of the settings dialog's test.
LoginResult ExchangeLogin(ServicePlatform& platform, const char16_t* account, const char16_t* password,
                          SessionIds& ids) {
  const std::u16string path = BuildLoginPath(account, password);
  // A path over its limit is not sent. The texts, not the network, are at
  // fault: the caller hears of a data error.
  if (path.empty()) return LoginDataError;
  const HttpReply reply = platform.Get(ServiceHost::Authentication, path);
  switch (reply.status) {
    case HttpReply::Status::ConnectFailed:
      return LoginConnectFailed;
    case HttpReply::Status::NoBody:
      return LoginNetworkError;
    case HttpReply::Status::Body:
      if (reply.body.empty()) return LoginNetworkError;
      return ReadLoginReply(reply.body, ids);
  }
  return LoginNetworkError;
}

bool IsEmpty(const char16_t* text) { return text == nullptr || text[0] == 0; }

}  // namespace

LoginResult LoginToService(ServicePlatform& platform, ShopCredentials& credentials, SessionState& state) {
  // One copy of the pair: a save in the settings dialog meanwhile gives the
  // old pair or the new one, never a mixture.
  const CredentialPair pair = ReadCredentials(credentials);
  if (!CredentialsAreSet(pair)) return LoginNoCredentials;
  SessionIds ids;
  const LoginResult result = ExchangeLogin(platform, pair.account, pair.password, ids);
  if (result == LoginOk) StoreSessionIds(state, ids);
  return result;
}

TestLoginVerdict TestLoginWith(ServicePlatform& platform, const char16_t* account, const char16_t* password) {
  if (IsEmpty(account) || IsEmpty(password)) return {0, u"请先输入登录帐号与密码，再测试！"};
  // The identifiers are read and dropped: a reply the log-in would refuse
  // for them must not pass the test.
  SessionIds ids;
  switch (ExchangeLogin(platform, account, password, ids)) {
    case LoginOk:
      return {1, u"测试通过！"};
    case LoginConnectFailed:
      return {0, u"网络连接错误，请稍后再试！"};
    case LoginNetworkError:
      return {0, u"网络错误，请稍后再试！"};
    case LoginDataError:
      return {0, u"数据错误，请稍后再试！"};
    case LoginRejected:
    case LoginNoCredentials:
      break;
  }
  return {0, u"用户名或密码不正确，请重试！"};
}
