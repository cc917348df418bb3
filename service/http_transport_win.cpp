#include "service/http_transport_win.h"

#include <new>

#include "service/proxy_choice.h"
#include "service/reply_body.h"

namespace {

WINHTTP_CURRENT_USER_IE_PROXY_CONFIG proxySettings = {};
HINTERNET httpSession = nullptr;
FailedProxyLookups failedLookups;

// Windows' own defaults, set explicitly so that every phase of a request is
// bounded also where the platform's defaults differ: name resolution
// unbounded, 60 s to connect, 30 s for each send and each receive.
constexpr int kResolveTimeoutMs = 0;
constexpr int kConnectTimeoutMs = 60000;
constexpr int kSendTimeoutMs = 30000;
constexpr int kReceiveTimeoutMs = 30000;
// The wait for the reply's headers. Windows ends it with the receive
// time-out when the host stays silent; Wine waits with this one alone, and
// its default is infinite, so a host that accepts and never answers would
// hold the request for good.
constexpr DWORD kReceiveResponseTimeoutMs = kReceiveTimeoutMs;

void BoundEveryWait(HINTERNET session) {
  ::WinHttpSetTimeouts(session, kResolveTimeoutMs, kConnectTimeoutMs, kSendTimeoutMs, kReceiveTimeoutMs);
  DWORD headersTimeout = kReceiveResponseTimeoutMs;
  ::WinHttpSetOption(session, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headersTimeout, sizeof(headersTimeout));
}

bool Present(const wchar_t* text) { return text && *text; }

BrowserProxySettings PlainValuesOf(const WINHTTP_CURRENT_USER_IE_PROXY_CONFIG& settings) {
  return {settings.fAutoDetect != FALSE, Present(settings.lpszAutoConfigUrl), Present(settings.lpszProxy)};
}

// One lookup on the session; found is filled when it gives a proxy
// configuration (which may be a direct connection, if a script says so).
bool LookUpProxy(ProxyLookup lookup, const wchar_t* originUrl, WINHTTP_PROXY_INFO& found) {
  WINHTTP_AUTOPROXY_OPTIONS options = {};
  if (lookup == ProxyLookup::Detection) {
    options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
    options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
  } else {
    options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
    options.lpszAutoConfigUrl = proxySettings.lpszAutoConfigUrl;
  }
  // Without the user's log-on first, which lets Windows keep the script
  // between lookups; with it only for a script host that asks.
  if (::WinHttpGetProxyForUrl(httpSession, originUrl, &options, &found)) return true;
  if (::GetLastError() != ERROR_WINHTTP_LOGIN_FAILURE) return false;
  options.fAutoLogonIfChallenged = TRUE;
  return ::WinHttpGetProxyForUrl(httpSession, originUrl, &options, &found) != FALSE;
}

void ApplyChosenProxy(HINTERNET request, const wchar_t* originUrl) {
  WINHTTP_PROXY_INFO found = {};
  const ProxyRoute route = ChooseProxyRoute(PlainValuesOf(proxySettings), failedLookups, ::GetTickCount64(),
                                            [&](ProxyLookup lookup) { return LookUpProxy(lookup, originUrl, found); });
  WINHTTP_PROXY_INFO chosen = {WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr};
  if (route == ProxyRoute::Discovered) chosen = found;
  if (route == ProxyRoute::Manual)
    chosen = {WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxySettings.lpszProxy, proxySettings.lpszProxyBypass};
  ::WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &chosen, sizeof(chosen));
  if (found.lpszProxy) ::GlobalFree(found.lpszProxy);
  if (found.lpszProxyBypass) ::GlobalFree(found.lpszProxyBypass);
}

}  // namespace

BOOL OpenHttpSession() {
  if (!::WinHttpGetIEProxyConfigForCurrentUser(&proxySettings)) proxySettings = {};
  // Every HttpGet sets its request's way; the session's own is the one when
  // no lookup answers, for whatever else is sent on it.
  const bool manual = PlainValuesOf(proxySettings).manualProxy;
  httpSession = ::WinHttpOpen(kUserAgent, manual ? WINHTTP_ACCESS_TYPE_NAMED_PROXY : WINHTTP_ACCESS_TYPE_NO_PROXY,
                              manual ? proxySettings.lpszProxy : WINHTTP_NO_PROXY_NAME,
                              manual ? proxySettings.lpszProxyBypass : WINHTTP_NO_PROXY_BYPASS, 0);
  if (httpSession) BoundEveryWait(httpSession);
  return httpSession != nullptr;
}

HINTERNET TheHttpSession() { return httpSession; }

bool HttpGet(HINTERNET connection, const wchar_t* originUrl, const wchar_t* path, std::string& body) {
  UniqueInternet request(::WinHttpOpenRequest(connection, L"GET", path, L"HTTP/1.1", L"", nullptr, 0));
  if (!request) return false;

  ApplyChosenProxy(request.get(), originUrl);

  if (!::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, static_cast<DWORD>(-1),
                            WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !::WinHttpReceiveResponse(request.get(), nullptr)) {
    body.clear();
    return true;
  }

  std::string collected;
  std::string chunk;
  for (;;) {
    DWORD available = 0;
    if (!::WinHttpQueryDataAvailable(request.get(), &available)) {
      if (!collected.empty()) return false;
      break;
    }
    if (available == 0) break;
    if (available > kMaxReplyBytes) return false;
    try {
      chunk.resize(available);
    } catch (const std::bad_alloc&) {
      return false;
    }
    DWORD read = 0;
    if (!::WinHttpReadData(request.get(), chunk.data(), available, &read)) return false;
    if (read == 0) break;
    if (!AppendReplyChunk(collected, chunk.data(), read)) return false;
    ::Sleep(kChunkPauseMs);
  }
  body.swap(collected);
  return true;
}
