#pragma once
// What the authentication host's reply to a log-in says.

#include <string>

#include "service/login.h"
#include "service/session_state.h"

// LoginOk when "body" -> "login_status" is exactly "success", LoginRejected
// for any other text, LoginDataError when the reply is not JSON, its root or
// "body" is not an object, a member read is not text, or an identifier does
// not fit its field. On LoginOk both identifiers are in ids, when ids is not
// null; the settings test passes null and never reads them.
LoginResult ReadLoginReply(const std::string& body, SessionIds* ids);
