// The authentication host's reply to a console key request, and the URL
// that the console launch hands to the browser with it.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "fake_service_platform.h"
#include "fuzz/fuzz_invariant.h"
#include "service/console_launch.h"
#include "service/request_paths.h"
#include "service/service_hosts.h"

namespace {

constexpr std::size_t kKeyTextCapacity = 128;  // code units, terminator included

bool StartsWith(const std::u16string& text, const std::u16string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool IsKeyText(const std::u16string& key) {
  if (key.size() + 1 > kKeyTextCapacity) return false;
  for (const char16_t unit : key) {
    if (unit == 0 || unit > 0xFF) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string reply(reinterpret_cast<const char*>(data), size);

  const std::optional<std::u16string> key = ExtractConsoleKey(reply);
  if (key) RequireInvariant(IsKeyText(*key), "the key fits the key text and is widened byte by byte");

  SessionState session;
  SessionIds ids;
  std::u16string(u"s-1").copy(ids.session_id, kIdentifierCapacity - 1);
  std::u16string(u"42").copy(ids.shop_id, kIdentifierCapacity - 1);
  StoreSessionIds(session, ids);
  ShopCredentials credentials;
  FakeServicePlatform platform;
  platform.QueueBody(ServiceHost::Authentication, reply);

  const int opened = OpenConsole(platform, credentials, session);

  RequireInvariant(platform.requests.size() == 1, "with a session held, only the key is asked for");
  RequireInvariant(platform.openedUrls.size() == 1, "exactly one URL is handed to the browser");
  const std::u16string& url = platform.openedUrls[0];
  const std::u16string console = std::u16string(u"http://") + MORVANE_CONSOLE_HOST + u"/";
  RequireInvariant(StartsWith(url, console), "the browser is sent to the console host over http");
  RequireInvariant(url.size() < kRequestPathCapacity, "the URL fits its buffer");
  RequireInvariant(opened == (key ? 1 : 0), "the console opens signed in exactly when a key was read");
  if (opened == 1) {
    RequireInvariant(StartsWith(url, console + u"frame/next?go=5&key="), "a key leads to the entry page");
  } else {
    RequireInvariant(url == console, "without a key the start page opens");
  }
  return 0;
}
