// The browser proxy settings the program meets at its start, each part on a
// fresh start of the build's exe (MORVANE_EXE) with a shop's credentials
// stored: a manual list whose first proxy refuses connections, a setup
// script whose host is down for the first minute, a script host that never
// answers beside the manual proxy, and automatic detection beside it, as
// Windows 10 and 11 keep it. Any proxy that works is the
// simulator, and the service's host names do not resolve here, so a log-in
// in the simulator's log came through the way the part is about.
#include "res/resource_ids.h"
#include "e2e_harness.h"

namespace {

// The look-ups of one request take at most this long together.
constexpr DWORD kLookUpBoundMs = 15000;
// Wine's WinHttpGetProxyForUrl keeps a failed script download for 60 s and
// answers from it meanwhile: no program gets the script sooner.
constexpr DWORD kWineKeepsFailedScriptMs = 60000;

bool IsProxiedLogIn(const SimRequest& r) { return IsLogIn(r) && r.entry["proxied"].asBool(); }
bool IsProxiedPoll(const SimRequest& r) { return IsPoll(r) && r.entry["proxied"].asBool(); }

std::uint64_t ScriptRequests() { return SimCall("/state", {}, false)["script_host"]["requests"].asUInt64(); }

using Proxy = EndToEnd;

TEST_F(Proxy, FailoverHealAndBoundedLookUp) {
  WriteValue(kCredentialsKey, L"Account", Text(Wide(account_)));
  WriteValue(kCredentialsKey, L"Password", storedPassword_);
  struct Part {
    const char* name;
    const wchar_t* record;  // of tests/wine/sim.sh
    const char* scriptHost;
    DWORD answersAfterMs;  // then the script host answers with the simulator as the proxy (0: never)
    DWORD boundMs;         // for the log-in, from the start or from that answer
    bool asksScript;
  };
  const Part parts[] = {
      {"failover to the list's second proxy", L"MorvaneProxyList", "refuse", 0, kCycleMs, false},
      {"a script host up a minute after the start", L"MorvaneHostScriptAlone", "refuse", 60000,
       2 * kCycleMs + kWineKeepsFailedScriptMs, true},
      {"a script host that never answers, the manual proxy beside", L"MorvaneHostScriptAndProxy", "hang", 0,
       kCycleMs + kLookUpBoundMs, true},
      {"detection, which finds nothing here, the manual proxy beside", L"MorvaneDetectionAndProxy", "refuse", 0,
       kCycleMs + kLookUpBoundMs, false},
  };
  const wchar_t* connections = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
  for (const Part& part : parts) {
    SCOPED_TRACE(part.name);
    SimCall("/script", {{"mode", part.scriptHost}});
    const std::optional<RegValue> record = ReadValue(connections, part.record);
    ASSERT_TRUE(record) << "tests/wine/sim.sh did not write it";
    WriteValue(connections, L"DefaultConnectionSettings", *record);
    const std::uint64_t start = LogMark(), asked = ScriptRequests();
    MorvaneRun program(_wgetenv(L"MORVANE_EXE"));
    ASSERT_NE(program.MainWindow(), nullptr) << "the program did not start";
    if (part.answersAfterMs) {
      ::Sleep(part.answersAfterMs);  // the host's downtime, not a wait for the program
      SimCall("/script", {{"mode", "answer"}});
    }
    const std::optional<SimRequest> login = WaitForRequest(start, IsProxiedLogIn, part.boundMs);
    EXPECT_TRUE(login) << "no log-in through the proxy within " << part.boundMs / 1000 << " s";
    EXPECT_TRUE(WaitForRequest(login ? login->seq : start, IsProxiedPoll, 5000)) << "no poll through the proxy";
    EXPECT_TRUE(!part.asksScript || ScriptRequests() > asked) << "the script host was never asked";
    program.Command(IDM_EXIT);
    program.WaitForExit(10000);
  }
}

}  // namespace
