#include "service/proxy_choice.h"

namespace {

bool LookUpUnlessFailedLately(ProxyLookup lookup, std::atomic<std::uint64_t>& skippedUntilMs, std::uint64_t nowMs,
                              const std::function<bool(ProxyLookup)>& lookUp) {
  if (nowMs < skippedUntilMs.load()) return false;
  if (lookUp(lookup)) return true;
  skippedUntilMs.store(nowMs + kFailedLookupPauseMs);
  return false;
}

}  // namespace

ProxyRoute ChooseProxyRoute(const BrowserProxySettings& settings, FailedProxyLookups& failed, std::uint64_t nowMs,
                            const std::function<bool(ProxyLookup)>& lookUp) {
  if (settings.autoDetect &&
      LookUpUnlessFailedLately(ProxyLookup::Detection, failed.detectionSkippedUntilMs, nowMs, lookUp))
    return ProxyRoute::Discovered;
  if (settings.setupScript &&
      LookUpUnlessFailedLately(ProxyLookup::SetupScript, failed.scriptSkippedUntilMs, nowMs, lookUp))
    return ProxyRoute::Discovered;
  return settings.manualProxy ? ProxyRoute::Manual : ProxyRoute::Direct;
}
