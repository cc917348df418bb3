#include "service/proxy_choice.h"

#include <gtest/gtest.h>

#include "support.h"

// Detection, then the setup script, then the manual proxy; direct only when
// none of them gives a proxy. Each row chooses three times: first, 1 ms
// before the pause after a failed lookup ends (that lookup is skipped), and
// when it ends; lookups lists what the three choices looked up, in order.
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
    std::vector<ProxyLookup> made;
    const auto lookUp = [&](ProxyLookup lookup) {
      made.push_back(lookup);
      return std::count(row.answering.begin(), row.answering.end(), lookup) != 0;
    };
    for (const std::uint64_t nowMs : {std::uint64_t{0}, kFailedLookupPauseMs - 1, kFailedLookupPauseMs})
      EXPECT_EQ(ChooseProxyRoute(row.settings, failed, nowMs, lookUp), row.route) << row.name << " at " << nowMs;
    EXPECT_EQ(made, row.lookups) << row.name;
  }
}
