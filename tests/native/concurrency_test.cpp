// The worker's cycle on one thread against the user-interface thread's saves
// of the settings and console launches, round after round, over a service
// that answers at once. Every pair that a reader sees must be one that a
// single writer wrote. Run under ThreadSanitizer by scripts/tsan.sh.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "service/console_launch.h"
#include "service/worker_cycle.h"
#include "settings/apply_credentials.h"

namespace {

constexpr int kSaveRounds = 1500;

std::u16string Digits(int number) {
  std::u16string digits;
  for (const char digit : std::to_string(number)) digits += static_cast<char16_t>(digit);
  return digits;
}

std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

// The texts of save round r and of log-in n carry their number, and their
// lengths change with it, so a mixture of two writes or a partly copied
// text shows at once. All are ASCII letters and digits: the log-in path
// carries them unencoded.
std::u16string AccountOfRound(int round) { return u"shop" + Digits(round) + u"x" + std::u16string(round % 90, u'a'); }
std::u16string PasswordOfRound(int round) { return u"pw" + Digits(round) + u"x" + std::u16string(round % 90, u'p'); }
std::u16string SessionIdOf(int login) { return u"session" + Digits(login) + u"x" + std::u16string(login % 100, u's'); }
std::u16string ShopIdOf(int login) { return u"shop" + Digits(login) + u"x" + std::u16string(login % 100, u'h'); }

// The number that text carries when it is exactly the text of that number
// for make; -1 otherwise.
template <typename Make>
int NumberIn(const std::u16string& text, const std::u16string& prefix, Make make) {
  if (text.compare(0, prefix.size(), prefix) != 0) return -1;
  int number = 0;
  std::size_t i = prefix.size();
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9' && i < prefix.size() + 6; ++i) {
    number = number * 10 + (text[i] - u'0');
  }
  return i > prefix.size() && text == make(number) ? number : -1;
}

// The save round whose pair this is, or -1 for a pair no save wrote.
int RoundOfPair(const std::u16string& account, const std::u16string& password) {
  const int round = NumberIn(account, u"shop", AccountOfRound);
  return round >= 0 && NumberIn(password, u"pw", PasswordOfRound) == round ? round : -1;
}

// The log-in whose identifiers these are, or -1 for a pair no log-in stored.
int LoginOfIds(const std::u16string& session_id, const std::u16string& shop_id) {
  const int login = NumberIn(session_id, u"session", SessionIdOf);
  return login >= 1 && NumberIn(shop_id, u"shop", ShopIdOf) == login ? login : -1;
}

std::u16string QueryValue(const std::u16string& path, const std::u16string& name, const std::u16string& next) {
  const std::size_t start = path.find(name);
  if (start == std::u16string::npos) return u"";
  const std::size_t end = next.empty() ? path.size() : path.find(next, start);
  return path.substr(start + name.size(), end == std::u16string::npos ? std::u16string::npos : end - start - name.size());
}

// The service and what both threads saw of it. Any call may come from
// either thread.
class InstantService {
 public:
  std::atomic<int> latestSave{0};
  std::atomic<int> pairChecks{0};

  std::string LogIn(const std::u16string& path) {
    const int round =
        RoundOfPair(QueryValue(path, u"name=", u"&pwd="), QueryValue(path, u"&pwd=", u""));
    CheckPair(round >= 0 && round <= latestSave, "a log-in sent a credential pair that no save wrote");
    std::lock_guard<std::mutex> hold(lock_);
    if (round < 0) return "{\"body\":{\"login_status\":\"fail\"}}";
    roundOfLogin_.push_back(round);
    const int login = static_cast<int>(roundOfLogin_.size());
    return "{\"body\":{\"login_status\":\"success\",\"session_id\":\"" + Narrow(SessionIdOf(login)) +
           "\",\"shop_id\":\"" + Narrow(ShopIdOf(login)) + "\"}}";
  }

  int SavedRoundOfLogin(int login) {
    std::lock_guard<std::mutex> hold(lock_);
    return login >= 1 && login <= static_cast<int>(roundOfLogin_.size()) ? roundOfLogin_[login - 1] : -1;
  }

  void CheckSessionPair(const std::u16string& session_id, const std::u16string& shop_id) {
    // With the session dropped, shop_id keeps an older log-in's value.
    if (session_id.empty()) {
      CheckPair(shop_id.empty() || NumberIn(shop_id, u"shop", ShopIdOf) >= 1, "a cleared session left a torn shop_id");
    } else {
      CheckPair(LoginOfIds(session_id, shop_id) >= 1, "session_id and shop_id of different log-ins were read");
    }
  }

  void CheckPair(bool holds, const char* what) {
    ++pairChecks;
    if (holds) return;
    std::lock_guard<std::mutex> hold(lock_);
    if (firstFault_.empty()) firstFault_ = what;
  }

  std::string FirstFault() {
    std::lock_guard<std::mutex> hold(lock_);
    return firstFault_;
  }

 private:
  std::mutex lock_;
  std::vector<int> roundOfLogin_;  // entry n - 1: the save round log-in n sent
  std::string firstFault_;
};

// One thread's view of the service: answers at once, shows nothing and
// never pauses.
class InstantPlatform : public ServicePlatform {
 public:
  explicit InstantPlatform(InstantService& service) : service_(service) {}

  HttpReply Get(ServiceHost host, const std::u16string& path) override {
    if (host == ServiceHost::Orders) return Body(PollReply(path));
    if (path.rfind(u"/shop_login.php?", 0) == 0) return Body(service_.LogIn(path));
    const std::u16string session_id = QueryValue(path, u"session_id=", u"");
    service_.CheckPair(NumberIn(session_id, u"session", SessionIdOf) >= 1, "a key was asked for a torn session_id");
    return Body("\"key" + Narrow(session_id) + "\"");
  }
  void SetTooltipText(const std::u16string&) override {}
  void ShowBalloon(const std::u16string&) override {}
  void ShowNotificationDialog() override {}
  void OpenUrl(const std::u16string&) override {}
  void Sleep(std::uint32_t) override {}

 private:
  static HttpReply Body(std::string body) { return HttpReply{HttpReply::Status::Body, std::move(body)}; }

  // Changing lists, "treated" in between, and now and then the service
  // forgetting the session, so the poll drops it from the worker's side too.
  std::string PollReply(const std::u16string& path) {
    service_.CheckSessionPair(QueryValue(path, u"session_id=", u""), QueryValue(path, u"shop_id=", u"&session_id="));
    const int poll = ++polls_;
    if (poll % 50 == 0) return "{\"body\":{\"deal_status\":\"No authority\"}}";
    // Lists only now and then: each one costs the poll a large allocation.
    if (poll % 20 != 0) return "{\"body\":{\"deal_status\":\"treated\"}}";
    const std::string entry = "\"ZN" + std::to_string(poll / 3) + "\"";
    return "{\"body\":{\"deal_status\":\"untreated\",\"web\":[" + entry + ",\"ZN1\"],\"tousu\":[" + entry + "]}}";
  }

  InstantService& service_;
  int polls_ = 0;
};

CredentialPair PairOfRound(int round) {
  CredentialPair pair;
  pair.exists = true;
  AccountOfRound(round).copy(pair.account, kCredentialCapacity - 1);
  PasswordOfRound(round).copy(pair.password, kCredentialCapacity - 1);
  return pair;
}

// What the settings dialog's OK does with changed texts.
void SaveChangedSettings(ShopCredentials& credentials, SessionState& session, int round) {
  ApplyTypedCredentials(credentials, session, AccountOfRound(round), PasswordOfRound(round));
}

class ConcurrencyTest : public ::testing::Test {
 protected:
  InstantService service;
  ShopCredentials credentials;
  SessionState session;
  std::unique_ptr<UntreatedState> untreated = std::make_unique<UntreatedState>();
  LoginFailureStreak streak;
};

TEST_F(ConcurrencyTest, WorkerCyclesMeetSettingsSavesAndConsoleLaunches) {
  WriteCredentials(credentials, PairOfRound(0));
  InstantPlatform workerPlatform(service);
  InstantPlatform interfacePlatform(service);
  std::atomic<bool> saving{true};
  std::atomic<int> workerCycles{0};
  int consoleKeys = 0;
  int roundsWithSession = 0;
  int lostSaves = 0;

  std::thread worker([&] {
    do {
      RunWorkerCycle(workerPlatform, credentials, session, *untreated, streak);
      ++workerCycles;
    } while (saving);
  });

  for (int round = 1; round <= kSaveRounds; ++round) {
    service.latestSave = round;
    SaveChangedSettings(credentials, session, round);
    const int cyclesAtSave = workerCycles;
    consoleKeys += OpenConsole(interfacePlatform, credentials, session);
    const CredentialPair pair = ReadCredentials(credentials);
    service.CheckPair(RoundOfPair(pair.account, pair.password) == round, "the credentials read are not the last saved");

    // Once a whole cycle has run after the save, whatever the interleaving,
    // the session held is one of a log-in with this round's pair, unless a
    // poll has just dropped it.
    while (workerCycles < cyclesAtSave + 2) std::this_thread::sleep_for(std::chrono::microseconds(20));
    const SessionIds ids = ReadSessionIds(session);
    service.CheckSessionPair(ids.session_id, ids.shop_id);
    if (ids.session_id[0] != 0) {
      ++roundsWithSession;
      lostSaves += service.SavedRoundOfLogin(LoginOfIds(ids.session_id, ids.shop_id)) != round;
    }
  }
  saving = false;
  worker.join();

  EXPECT_EQ(service.FirstFault(), "");
  EXPECT_EQ(lostSaves, 0) << "saves whose new pair was never logged in with, of " << kSaveRounds;
  EXPECT_GT(roundsWithSession, kSaveRounds / 2) << "most rounds end with a session to check";
  EXPECT_GE(service.pairChecks, 2 * kSaveRounds) << "the readers ran";
  EXPECT_GT(consoleKeys, 0) << "some launches found a session and fetched a key";
}

}  // namespace
