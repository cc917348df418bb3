#include "service/proxy_choice.h"

namespace {

bool LookUpUnlessFailedLately(ProxyLookup lookup, std::atomic<std::uint64_t>& skippedUntilMs,
                              const FailedProxyLookups& failed, std::uint64_t nowMs,
                              const std::function<LookupOutcome(ProxyLookup)>& lookUp) {
  if (nowMs < skippedUntilMs.load()) return false;
  const LookupOutcome outcome = lookUp(lookup);
  if (outcome != LookupOutcome::Failed) return outcome == LookupOutcome::Found;
  const bool settling = nowMs < failed.settledFromMs.load();
  skippedUntilMs.store(nowMs + (settling ? kSettlingFailurePauseMs : kFailedLookupPauseMs));
  return false;
}

}  // namespace

void NetworkRestarted(FailedProxyLookups& failed, std::uint64_t nowMs) {
  failed.settledFromMs.store(nowMs + kNetworkSettlingMs);
  failed.detectionSkippedUntilMs.store(0);
  failed.scriptSkippedUntilMs.store(0);
}

ProxyRoute ChooseProxyRoute(const BrowserProxySettings& settings, FailedProxyLookups& failed, std::uint64_t nowMs,
                            const std::function<LookupOutcome(ProxyLookup)>& lookUp) {
  if (settings.autoDetect &&
      LookUpUnlessFailedLately(ProxyLookup::Detection, failed.detectionSkippedUntilMs, failed, nowMs, lookUp))
    return ProxyRoute::Discovered;
  if (settings.setupScript &&
      LookUpUnlessFailedLately(ProxyLookup::SetupScript, failed.scriptSkippedUntilMs, failed, nowMs, lookUp))
    return ProxyRoute::Discovered;
  return settings.manualProxy ? ProxyRoute::Manual : ProxyRoute::Direct;
}
