#pragma once
// Which way a request reaches the service, from the user's browser proxy
// settings, in the order Windows documents for them: automatic detection when
// it is on, then the setup script's address when one is set, then the manual
// proxy with its bypass list; a direct connection only when none of them
// gives a proxy. A lookup that fails falls through to the next one.

#include <atomic>
#include <cstdint>
#include <functional>

struct BrowserProxySettings {
  bool autoDetect = false;
  bool setupScript = false;  // a setup script's (PAC) address is set
  bool manualProxy = false;
};

enum class ProxyLookup { Detection, SetupScript };
enum class ProxyRoute { Discovered, Manual, Direct };  // Discovered: what the last lookup gave
// NotMade: the request's time for lookups had run out before this one.
enum class LookupOutcome { Found, Failed, NotMade };

// A failed lookup is not made again for ten minutes, so that a network
// without a detection service (or a script host that is down) does not cost
// every request of the 30-second cycle a fresh wait on it.
constexpr std::uint64_t kFailedLookupPauseMs = 10 * 60 * 1000;
// But the network is often not up yet in the first minutes after the
// program's start, a resume or a change of the machine's addresses: a
// failure then is tried again at the next cycle, not ten minutes later.
constexpr std::uint64_t kNetworkSettlingMs = 5 * 60 * 1000;
constexpr std::uint64_t kSettlingFailurePauseMs = 20 * 1000;
// All lookups of one request together; past it the request goes the next way.
constexpr std::uint32_t kLookupBoundMs = 15 * 1000;

// Until when each lookup is skipped, on the caller's clock; shared by the
// worker and the user-interface thread.
struct FailedProxyLookups {
  std::atomic<std::uint64_t> detectionSkippedUntilMs{0};
  std::atomic<std::uint64_t> scriptSkippedUntilMs{0};
  std::atomic<std::uint64_t> settledFromMs{kNetworkSettlingMs};
};

// The network has (re)started at nowMs: the program's start, a resume, new
// addresses. Every failure is forgotten and the settling minutes begin.
void NetworkRestarted(FailedProxyLookups& failed, std::uint64_t nowMs);

// lookUp makes one lookup and says how it went.
ProxyRoute ChooseProxyRoute(const BrowserProxySettings& settings, FailedProxyLookups& failed, std::uint64_t nowMs,
                            const std::function<LookupOutcome(ProxyLookup)>& lookUp);
