// Both records are written on one thread while another reads them; a reader
// must always get the pair of one write.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "fake_service_platform.h"
#include "service/login.h"
#include "service/session_state.h"
#include "settings/shop_credentials.h"

namespace {

// Round i writes a text of one repeated letter whose length and letter both
// change with i, so a half-written text or a text beside its partner from
// another round shows at once.
std::u16string TextOfRound(int round, char16_t first_letter, int max_length) {
  return std::u16string(1 + round % max_length, static_cast<char16_t>(first_letter + round % 26));
}

bool IsPairOfOneRound(const std::u16string& lower, const std::u16string& upper) {
  if (lower.empty() || lower.size() != upper.size()) return false;
  const char16_t letter = lower[0];
  return lower == std::u16string(lower.size(), letter) &&
         upper == std::u16string(upper.size(), static_cast<char16_t>(letter - u'a' + u'A'));
}

CredentialPair PairOfRound(int round) {
  CredentialPair pair;
  pair.exists = true;
  TextOfRound(round, u'a', kCredentialCapacity - 1).copy(pair.account, kCredentialCapacity - 1);
  TextOfRound(round, u'A', kCredentialCapacity - 1).copy(pair.password, kCredentialCapacity - 1);
  return pair;
}

SessionIds IdsOfRound(int round) {
  SessionIds ids;
  TextOfRound(round, u'a', kIdentifierCapacity - 1).copy(ids.session_id, kIdentifierCapacity - 1);
  TextOfRound(round, u'A', kIdentifierCapacity - 1).copy(ids.shop_id, kIdentifierCapacity - 1);
  return ids;
}

// Calls write(round) on a second thread, round after round, for as long as
// this thread calls read() reads times, so that every read meets writes.
template <typename Write, typename Read>
void WriteWhileReading(int reads, Write write, Read read) {
  std::atomic<bool> stop{false};
  std::atomic<int> written{0};
  std::thread writer([&] {
    for (int round = 1; !stop; ++round) {
      write(round);
      written = round;
    }
  });
  while (written == 0) std::this_thread::yield();
  for (int i = 0; i < reads; ++i) read();
  stop = true;
  writer.join();
}

}  // namespace

TEST(SharedState, SessionIdsAreReadAsOnePair) {
  SessionState state;
  int torn = 0;
  WriteWhileReading(
      50000, [&](int round) { StoreSessionIds(state, IdsOfRound(round)); },
      [&] {
        const SessionIds ids = ReadSessionIds(state);
        torn += !IsPairOfOneRound(ids.session_id, ids.shop_id);
      });
  EXPECT_EQ(torn, 0);
}

TEST(SharedState, CredentialsAreReadAsOnePair) {
  ShopCredentials credentials;
  int torn = 0;
  WriteWhileReading(
      50000, [&](int round) { WriteCredentials(credentials, PairOfRound(round)); },
      [&] {
        const CredentialPair pair = ReadCredentials(credentials);
        torn += !IsPairOfOneRound(pair.account, pair.password);
      });
  EXPECT_EQ(torn, 0);
}

TEST(SharedState, LoginSendsThePairOfOneSave) {
  ShopCredentials credentials;
  FakeServicePlatform platform;
  SessionState state;
  int unexpected = 0;
  WriteWhileReading(
      10000, [&](int round) { WriteCredentials(credentials, PairOfRound(round)); },
      [&] { unexpected += LoginToService(platform, credentials, state) != LoginNetworkError; });
  EXPECT_EQ(unexpected, 0);
  int torn = 0;
  for (const auto& request : platform.requests) {
    const std::u16string& path = request.path;
    const std::size_t name = path.find(u"name=") + 5;
    const std::size_t pwd = path.find(u"&pwd=");
    torn += pwd == std::u16string::npos || !IsPairOfOneRound(path.substr(name, pwd - name), path.substr(pwd + 5));
  }
  EXPECT_EQ(torn, 0) << "of " << platform.requests.size() << " requests";
}
