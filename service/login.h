#pragma once
// Logging the shop in to the authentication host.

#include "service/service_platform.h"
#include "service/session_state.h"
#include "service/shop_credentials.h"

enum LoginResult : int {
  LoginOk = 0,
  LoginRejected = -1,
  LoginNoCredentials = -2,
  LoginConnectFailed = -3,
  LoginNetworkError = -4,
  LoginDataError = -5,
};

// One log-in with the stored credentials; on success, and only then, both
// identifiers of state are replaced as one update. No credentials: no
// request. A login path over its limit is not sent and gives
// LoginDataError.
LoginResult LoginToService(ServicePlatform& platform, ShopCredentials& credentials, SessionState& state);

struct TestLoginVerdict {
  int result;               // 1 when the test passed
  const char16_t* message;  // the text for the settings dialog's status line
};

// The settings dialog's test: the same exchange with the typed texts and the
// same verdict on the reply; stores nothing. message is a static text.
TestLoginVerdict TestLoginWith(ServicePlatform& platform, const char16_t* account, const char16_t* password);
