// The worker's cycles on one thread against the settings dialog's saves and
// console launches on this one, over a service that answers at once: every
// pair a reader sees is one that a single writer wrote, and no save is lost.
// scripts/tsan.sh runs it under ThreadSanitizer.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "service/console_launch.h"
#include "service/worker_cycle.h"
#include "settings/apply_credentials.h"
#include "support.h"

static std::string Query(const std::u16string& path, const std::string& name) {
  const std::string text(path.begin(), path.end());
  const std::size_t start = text.find(name + "=") + name.size() + 1;
  return start < name.size() + 1 ? "" : text.substr(start, text.find('&', start) - start);
}

TEST(Concurrency, WorkerCyclesMeetSettingsSavesAndConsoleLaunches) {
  ShopCredentials credentials;
  SessionState session;
  std::atomic<int> torn{0}, logins{0}, polls{0}, cycles{0}, lost{0}, saving{1};
  // Log-in n with the pair of save round r yields the ids "s<r>:<n>" and "p<r>:<n>".
  const auto service = [&](ServiceHost host, const std::u16string& path) {
    const std::string session_id = Query(path, "session_id");
    if (host == ServiceHost::Orders) {
      torn += session_id.substr(1) != Query(path, "shop_id").substr(1);
      return Body(++polls % 5 ? R"({"body":{"deal_status":"treated"}})" : R"({"body":{"deal_status":"No authority"}})");
    }
    if (!session_id.empty()) return Body("\"k" + session_id + '"');
    const std::string account = Query(path, "name"), ids = account.substr(1) + ":" + std::to_string(++logins);
    torn += account.substr(1) != Query(path, "pwd").substr(1);
    return Body(R"({"body":{"login_status":"success","session_id":"s)" + ids + R"(","shop_id":"p)" + ids + "\"}}");
  };
  std::thread worker([&] {
    const auto untreated = std::make_unique<UntreatedState>();
    WorkerCycleState streak;
    for (; saving; ++cycles) {
      FakeServicePlatform platform;  // one a cycle: what it records stays small
      platform.answer = service;
      RunWorkerCycle(platform, credentials, session, *untreated, streak);
    }
  });
  FakeServicePlatform platform;
  platform.answer = service;
  for (int round = 1; round <= 1000; ++round) {
    const std::string text8 = std::to_string(round) + std::string(round % 50, '-');
    const std::u16string text(text8.begin(), text8.end());
    ApplyTypedCredentials(credentials, session, u"a" + text, u"w" + text);
    OpenConsole(platform, credentials, session);
    // Two whole cycles after the save, a session held is one of its pair.
    for (const int at = cycles; cycles < at + 2;) std::this_thread::yield();
    const SessionIds ids = ReadSessionIds(session);
    const std::u16string session_id = ids.session_id, shop_id = ids.shop_id;
    torn += !session_id.empty() && session_id.substr(1) != shop_id.substr(1);
    lost += !session_id.empty() && session_id.rfind(u"s" + text + u":", 0) != 0;
  }
  saving = 0;
  worker.join();
  EXPECT_EQ(torn.load(), 0) << "pairs mixed from two writes";
  EXPECT_EQ(lost.load(), 0) << "sessions of a pair saved before the last";
  EXPECT_GT(logins.load(), 1000) << "more log-ins than saves: the worker logs in too";
}
