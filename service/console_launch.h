#pragma once
// Opening the web console in the browser, signed in with a one-time key.

#include <optional>
#include <string>

#include "service/service_platform.h"
#include "service/session_state.h"
#include "service/shop_credentials.h"

// The balloon both callers show when OpenConsole returns 0.
inline constexpr char16_t kConsoleLoginFailedText[] = u"自动登录失败，请检查用户名与密码。";

// Asks the authentication host for a key for the session (logging in first
// when there is none) and opens the console's entry URL with it: 1. When no
// key can be had, opens the console's start page instead: 0.
int OpenConsole(ServicePlatform& platform, ShopCredentials& credentials, SessionState& session);

// The key in a key reply: the reply without its first and last characters,
// which stand for the enclosing quotes and are not checked. nullopt for the
// service's refusal, for a reply of more than 127 bytes, and for an empty
// one or one whose first byte is zero.
std::optional<std::u16string> ExtractConsoleKey(const std::string& reply);
