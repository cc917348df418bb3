#include "service/proxy_choice.h"

#include <gtest/gtest.h>

#include "service/proxy_list.h"
#include "support.h"

// Detection, then the setup script, then the manual proxy; direct only when
// none of them gives a proxy. Each row chooses three times on a settled
// network: first, 1 ms before the pause after a failed lookup ends (that
// lookup is skipped), and when it ends; lookups lists what the three choices
// looked up, in order.
TEST(ProxyChoice, DetectionThenScriptThenManualProxyAndFailedLookupsPause) {
  constexpr ProxyLookup D = ProxyLookup::Detection, S = ProxyLookup::SetupScript;
  constexpr ProxyRoute Found = ProxyRoute::Discovered, Manual = ProxyRoute::Manual, Direct = ProxyRoute::Direct;
  const struct {
    const char* name;
    BrowserProxySettings settings;
    std::vector<ProxyLookup> answering, lookups;
    ProxyRoute route;
  } rows[] = {
      {"detection alone", {true, false, false}, {D}, {D, D, D}, Found},
      {"script alone", {false, true, false}, {S}, {S, S, S}, Found},
      {"manual proxy, detection on", {true, false, true}, {}, {D, D}, Manual},
      {"all three", {true, true, true}, {D, S}, {D, D, D}, Found},
      {"all three, detection fails", {true, true, true}, {S}, {D, S, S, D, S}, Found},
      {"detection and script fail", {true, true, false}, {}, {D, S, D, S}, Direct},
      {"none", {false, false, false}, {D, S}, {}, Direct},
  };
  for (const auto& row : rows) {
    FailedProxyLookups failed;
    failed.settledFromMs = 0;
    std::vector<ProxyLookup> made;
    const auto lookUp = [&](ProxyLookup lookup) {
      made.push_back(lookup);
      const bool answers = std::count(row.answering.begin(), row.answering.end(), lookup) != 0;
      return answers ? LookupOutcome::Found : LookupOutcome::Failed;
    };
    for (const std::uint64_t nowMs : {std::uint64_t{0}, kFailedLookupPauseMs - 1, kFailedLookupPauseMs})
      EXPECT_EQ(ChooseProxyRoute(row.settings, failed, nowMs, lookUp), row.route) << row.name << " at " << nowMs;
    EXPECT_EQ(made, row.lookups) << row.name;
  }
}

// A script host that is not up yet in the minutes after the network
// (re)started is asked again at the next cycle; one that fails after them
// rests ten minutes, until the network restarts. A lookup the request had
// no time left for arms no pause.
TEST(ProxyChoice, FailuresWhileTheNetworkSettlesAreRetriedAtTheNextCycle) {
  const BrowserProxySettings scriptAlone{false, true, false};
  constexpr std::uint64_t start = 7000, settled = start + kNetworkSettlingMs;
  const struct {
    std::uint64_t nowMs;
    bool restart;
    LookupOutcome outcome;
    bool lookedUp;
  } steps[] = {
      {start, true, LookupOutcome::Failed, true},
      {start + kSettlingFailurePauseMs - 1, false, LookupOutcome::Failed, false},
      {start + kSettlingFailurePauseMs, false, LookupOutcome::NotMade, true},
      {start + kSettlingFailurePauseMs + 1, false, LookupOutcome::Failed, true},
      {settled, false, LookupOutcome::Failed, true},
      {settled + kFailedLookupPauseMs - 1, false, LookupOutcome::Failed, false},
      {settled + kFailedLookupPauseMs - 1, true, LookupOutcome::Found, true},
  };
  FailedProxyLookups failed;
  for (const auto& step : steps) {
    if (step.restart) NetworkRestarted(failed, step.nowMs);
    bool lookedUp = false;
    ChooseProxyRoute(scriptAlone, failed, step.nowMs, [&](ProxyLookup) {
      lookedUp = true;
      return step.outcome;
    });
    EXPECT_EQ(lookedUp, step.lookedUp) << "at " << step.nowMs;
  }
}

// The ways a list names, as scripts, Windows and the manual setting write
// them, and the order they are tried in: the one that answered first while
// the list is the same, until the network changes.
TEST(ProxyList, EntriesInOrderAndTheOneThatAnsweredFirst) {
  const struct {
    std::u16string text;
    std::vector<ProxyEntry> entries;
  } rows[] = {
      {u"PROXY a:8080; PROXY b:8080; DIRECT", {u"a:8080", u"b:8080", u""}},
      {u"a:8080;b:8080", {u"a:8080", u"b:8080"}},
      {u"  proxy a:1 ;; direct ;SOCKS s:1; HTTPS h:443; PROXY a:1", {u"a:1", u""}},
      {u"http=a:80;https=b:443;ftp=c:21", {u"a:80"}},
      {u"PROXY 1:1; PROXY 2:2; PROXY 3:3; PROXY 4:4; PROXY 5:5", {u"1:1", u"2:2", u"3:3", u"4:4"}},
  };
  for (const auto& row : rows) EXPECT_EQ(ParseProxyList(row.text), row.entries) << "row " << &row - rows;

  const std::vector<ProxyEntry> list = {u"a:1", u"b:2", u""}, answeredFirst = {u"", u"a:1", u"b:2"};
  ProxyListMemory memory;
  memory.NoteAnswered(list, u"");
  EXPECT_EQ(memory.InTryOrder(list), answeredFirst);
  EXPECT_EQ(memory.InTryOrder({u"a:1", u"b:2"}), (std::vector<ProxyEntry>{u"a:1", u"b:2"})) << "another list";
  memory.Forget();
  EXPECT_EQ(memory.InTryOrder(list), list) << "forgotten";
}
