#pragma once
// What the authentication host's reply to a log-in says.

#include <string>

#include "service/login.h"
#include "service/session_state.h"

// LoginOk when "body" -> "login_status" is exactly "success", LoginRejected
// for any other text, LoginDataError when the reply is not JSON, its root or
// "body" is not an object, a member read is not text, or an identifier does
// not fit its field; also when memory runs out while the reply is read. On
// LoginOk both identifiers are in ids; otherwise ids is left as it was.
LoginResult ReadLoginReply(const std::string& body, SessionIds& ids);
