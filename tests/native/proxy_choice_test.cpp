#include "service/proxy_choice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

// Detection, then the setup script, then the manual proxy; direct only when
// none gives a proxy. A failed lookup is skipped until its pause is over.
TEST(ProxyChoice, DetectionThenScriptThenManualProxyAndFailedLookupsPause) {
  constexpr ProxyLookup D = ProxyLookup::Detection, S = ProxyLookup::SetupScript;
  constexpr ProxyRoute Found = ProxyRoute::Discovered, Manual = ProxyRoute::Manual, Direct = ProxyRoute::Direct;
  const struct {
    const char* name;
    BrowserProxySettings settings;
    std::vector<ProxyLookup> answering, lookups, lookupsWithinPause;
    ProxyRoute route;
  } rows[] = {
      {"detection alone", {true, false, false}, {D}, {D}, {D}, Found},
      {"script alone", {false, true, false}, {S}, {S}, {S}, Found},
      {"manual proxy, detection on", {true, false, true}, {}, {D}, {}, Manual},
      {"all three", {true, true, true}, {D, S}, {D}, {D}, Found},
      {"all three, detection fails", {true, true, true}, {S}, {D, S}, {S}, Found},
      {"detection and script fail", {true, true, false}, {}, {D, S}, {}, Direct},
      {"none", {false, false, false}, {D, S}, {}, {}, Direct},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FailedProxyLookups failed;
    std::vector<ProxyLookup> made;
    const auto lookUp = [&](ProxyLookup lookup) {
      made.push_back(lookup);
      return std::count(row.answering.begin(), row.answering.end(), lookup) != 0;
    };
    const std::uint64_t start = 5000;
    EXPECT_EQ(ChooseProxyRoute(row.settings, failed, start, lookUp), row.route);
    EXPECT_EQ(made, row.lookups);
    made.clear();
    EXPECT_EQ(ChooseProxyRoute(row.settings, failed, start + kFailedLookupPauseMs - 1, lookUp), row.route);
    EXPECT_EQ(made, row.lookupsWithinPause);
    made.clear();
    ChooseProxyRoute(row.settings, failed, start + kFailedLookupPauseMs, lookUp);
    EXPECT_EQ(made, row.lookups) << "tried again once the pause is over";
  }
}
