#include "service/console_launch.h"

#include <cstddef>

#include "service/login.h"
#include "service/request_paths.h"
#include "text/widen_text.h"

namespace {

// The service's refusal, quotes included, compared in full: anything else,
// even with a line break after it, is taken as a key.
constexpr char kRefusal[] = "\"bad request!\"";

// A longer reply is no key: a key is held to 127 code units, as the
// session's identifiers are.
constexpr std::size_t kLongestKeyReply = 127;

// The start page's URL is empty only for a console host name too long for a
// URL; the browser is then handed nothing rather than an empty text.
int OpenStartPage(ServicePlatform& platform) {
  const std::u16string url = BuildConsoleStartUrl();
  if (!url.empty()) platform.OpenUrl(url);
  return 0;
}

}  // namespace

std::optional<std::u16string> ExtractConsoleKey(const std::string& reply) {
  if (reply.empty() || reply.size() > kLongestKeyReply || reply[0] == '\0') return std::nullopt;
  if (reply == kRefusal) return std::nullopt;

  // Text ends at the first zero byte, as it does for every reply read as text.
  const std::u16string text = WidenText(reply);
  if (text.size() < 2) return std::u16string();
  return text.substr(1, text.size() - 2);
}

int OpenConsole(ServicePlatform& platform, ShopCredentials& credentials, SessionState& session) {
  // Only the session counts afterwards, not the log-in's code.
  if (!HasSession(session)) LoginToService(platform, credentials, session);
  const SessionIds ids = ReadSessionIds(session);
  if (ids.session_id[0] == u'\0') return OpenStartPage(platform);

  // A path or URL over its limit is not sent: the start page then.
  const std::u16string path = BuildKeyPath(ids.session_id);
  if (path.empty()) return OpenStartPage(platform);
  const HttpReply reply = platform.Get(ServiceHost::Authentication, path);
  if (reply.status != HttpReply::Status::Body) return OpenStartPage(platform);
  const std::optional<std::u16string> key = ExtractConsoleKey(reply.body);
  if (!key) return OpenStartPage(platform);
  const std::u16string url = BuildConsoleEntryUrl(*key);
  if (url.empty()) return OpenStartPage(platform);

  platform.OpenUrl(url);
  return 1;
}
