// The authentication host's reply to a log-in, as the worker and the settings
// dialog's test read it, and what must hold whatever the reply.

#include <cstring>

#include "fuzz/fuzz_invariant.h"
#include "service/login.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::map<int, std::u16string> kVerdicts = {{LoginOk, u"测试通过！"},
                                                          {LoginRejected, u"用户名或密码不正确，请重试！"},
                                                          {LoginNetworkError, u"网络错误，请稍后再试！"},
                                                          {LoginDataError, u"数据错误，请稍后再试！"}};
  const std::string reply(reinterpret_cast<const char*>(data), size);
  ShopCredentials credentials;
  SetCredentials(credentials, u"shop", u"secret");
  SessionState session;
  SetIds(session, u"held-session", u"held-shop");
  const SessionIds before = ReadSessionIds(session);
  FakeServicePlatform platform;
  platform.answer = [&](ServiceHost, const std::u16string&) { return Body(reply); };

  const LoginResult result = LoginToService(platform, credentials, session);

  const SessionIds after = ReadSessionIds(session);
  RequireInvariant(kVerdicts.count(result) == 1, "the log-in gives a code that a reply can give");
  if (result != LoginOk) RequireInvariant(std::memcmp(&before, &after, sizeof before) == 0, "a failure keeps the ids");
  const TestLoginVerdict verdict = TestLoginWith(platform, u"shop", u"secret");
  RequireInvariant(verdict.result == (result == LoginOk), "the test passes exactly when the log-in succeeds");
  RequireInvariant(verdict.message == kVerdicts.at(result), "the test's verdict is the log-in's code");
  return 0;
}
