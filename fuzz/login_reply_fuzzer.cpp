// The authentication host's reply to a log-in, as the worker and the
// settings dialog's test read it.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fake_service_platform.h"
#include "fuzz/fuzz_invariant.h"
#include "service/login.h"
#include "text/json_reply.h"
#include "text/utf16_text.h"
#include "text/widen_text.h"

namespace {

const char16_t kAccount[] = u"shop";
const char16_t kPassword[] = u"secret";

void HoldCredentials(ShopCredentials& credentials) {
  CredentialPair pair;
  pair.exists = true;
  std::u16string(kAccount).copy(pair.account, kCredentialCapacity - 1);
  std::u16string(kPassword).copy(pair.password, kCredentialCapacity - 1);
  WriteCredentials(credentials, pair);
}

// A session of an earlier log-in that a failed one must leave alone.
void HoldSession(SessionState& session) {
  SessionIds ids;
  std::u16string(u"held-session").copy(ids.session_id, kIdentifierCapacity - 1);
  std::u16string(u"held-shop").copy(ids.shop_id, kIdentifierCapacity - 1);
  StoreSessionIds(session, ids);
}

bool IsLoginResult(int code) { return code >= LoginDataError && code <= LoginOk; }

// Terminated inside its field, and widened: one code unit per reply byte.
bool IsStoredIdentifier(const char16_t* field) {
  const std::size_t length = Utf16Length(field, kIdentifierCapacity);
  if (length >= static_cast<std::size_t>(kIdentifierCapacity)) return false;
  for (std::size_t i = 0; i < length; ++i) {
    if (field[i] > 0xFF) return false;
  }
  return true;
}

bool IsTestVerdictText(const char16_t* text) {
  static const char16_t* const kTexts[] = {
      u"测试通过！", u"用户名或密码不正确，请重试！", u"网络连接错误，请稍后再试！",
      u"网络错误，请稍后再试！", u"数据错误，请稍后再试！",
  };
  for (const char16_t* known : kTexts) {
    if (text != nullptr && std::u16string(text) == known) return true;
  }
  return false;
}

// The member of the reply's "body" as text, widened, in full: what a
// successful log-in must have stored, neither cut nor padded.
std::u16string IdentifierInReply(const std::string& reply, const char* name) {
  const auto root = ParseReply(reply);
  if (!root) return u"<not JSON>";
  const auto text = ReadText(MemberOf(MemberOf(*root, "body"), name));
  return text ? WidenText(*text) : u"<not text>";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string reply(reinterpret_cast<const char*>(data), size);

  ShopCredentials credentials;
  HoldCredentials(credentials);
  SessionState session;
  HoldSession(session);
  const SessionIds before = ReadSessionIds(session);
  FakeServicePlatform platform;
  platform.QueueBody(ServiceHost::Authentication, reply);

  const LoginResult result = LoginToService(platform, credentials, session);

  RequireInvariant(IsLoginResult(result), "the log-in returned one of its six codes");
  RequireInvariant(platform.requests.size() == 1, "the log-in made exactly one request");
  const SessionIds after = ReadSessionIds(session);
  if (result != LoginOk) {
    RequireInvariant(std::memcmp(&before, &after, sizeof before) == 0, "a failed log-in left the session as it was");
  }
  RequireInvariant(IsStoredIdentifier(after.session_id), "session_id is terminated within 127 units, widened");
  RequireInvariant(IsStoredIdentifier(after.shop_id), "shop_id is terminated within 127 units, widened");
  if (result == LoginOk) {
    RequireInvariant(after.session_id == IdentifierInReply(reply, "session_id"), "session_id is stored whole");
    RequireInvariant(after.shop_id == IdentifierInReply(reply, "shop_id"), "shop_id is stored whole");
  }
  RequireInvariant(session.reloginRequested == 1, "the log-in itself never touches reloginRequested");

  // The settings test reads the same reply; it skips the identifiers, so a
  // reply refused only for them still passes the test.
  FakeServicePlatform testPlatform;
  testPlatform.QueueBody(ServiceHost::Authentication, reply);
  const TestLoginVerdict verdict = TestLoginWith(testPlatform, kAccount, kPassword);
  RequireInvariant(IsTestVerdictText(verdict.message), "the test wrote one of its verdicts");
  RequireInvariant(verdict.result == 0 || verdict.result == 1, "the test's result is 1 or 0");
  if (result == LoginOk) RequireInvariant(verdict.result == 1, "a reply that logs in passes the test");
  if (verdict.result == 1) {
    RequireInvariant(result == LoginOk || result == LoginDataError, "a passed test means success was read");
  }
  if (result == LoginRejected) {
    RequireInvariant(std::u16string(verdict.message) == u"用户名或密码不正确，请重试！",
                     "a refusal reads as a refusal in the test too");
  }
  return 0;
}
