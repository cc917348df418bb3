#include "service/login_reply.h"

#include <new>

#include "text/json_reply.h"
#include "text/widen_text.h"

namespace {

bool ReadIdentifier(const Json::Value& body, const char* name, char16_t* field) {
  const auto text = ReadText(MemberOf(body, name));
  return text && WidenText(text->c_str(), field, kIdentifierCapacity);
}

}  // namespace

LoginResult ReadLoginReply(const std::string& body, SessionIds& ids) {
  try {
    const auto root = ParseReply(body);
    if (!root) return LoginDataError;
    const Json::Value& reply = MemberOf(*root, "body");
    if (!reply.isObject()) return LoginDataError;
    const auto status = ReadText(MemberOf(reply, "login_status"));
    if (!status) return LoginDataError;
    if (*status != "success") return LoginRejected;
    SessionIds read;
    if (!ReadIdentifier(reply, "session_id", read.session_id) || !ReadIdentifier(reply, "shop_id", read.shop_id)) {
      return LoginDataError;
    }
    ids = read;
    return LoginOk;
  } catch (const std::bad_alloc&) {
    return LoginDataError;
  }
}
