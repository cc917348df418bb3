#include "service/http_transport_win.h"

#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "service/proxy_choice.h"
#include "service/reply_body.h"

namespace {

WINHTTP_CURRENT_USER_IE_PROXY_CONFIG proxySettings = {};
HINTERNET httpSession = nullptr;  // the lookups run on it, so that it keeps a setup script between them
ChosenProxy httpSessionProxy;
FailedProxyLookups failedLookups;

// The sessions opened for a proxy that a lookup gave, each kept, like the
// first, until the process ends. A script answers the program's three hosts
// with a proxy or two; past this many, a request goes out on the first
// session with its proxy set on the request alone, which Windows honours.
constexpr std::size_t kMaxProxySessions = 8;
std::mutex proxySessionsLock;
std::vector<std::pair<ChosenProxy, HINTERNET>> proxySessions;

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

const wchar_t* NullIfEmpty(const std::wstring& text) { return text.empty() ? nullptr : text.c_str(); }
std::wstring TextOf(const wchar_t* text) { return text ? text : L""; }

HINTERNET OpenSession(const ChosenProxy& proxy) {
  const HINTERNET session =
      ::WinHttpOpen(kUserAgent, proxy.accessType, NullIfEmpty(proxy.proxy), NullIfEmpty(proxy.bypass), 0);
  if (!session) return nullptr;
  ::WinHttpSetTimeouts(session, kResolveTimeoutMs, kConnectTimeoutMs, kSendTimeoutMs, kReceiveTimeoutMs);
  DWORD headersTimeout = kReceiveResponseTimeoutMs;
  ::WinHttpSetOption(session, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headersTimeout, sizeof(headersTimeout));
  return session;
}

BrowserProxySettings PlainValuesOf(const WINHTTP_CURRENT_USER_IE_PROXY_CONFIG& settings) {
  const auto present = [](const wchar_t* text) { return text && *text; };
  return {settings.fAutoDetect != FALSE, present(settings.lpszAutoConfigUrl), present(settings.lpszProxy)};
}

// One lookup on the first session; found is filled when it gives a proxy
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

}  // namespace

BOOL OpenHttpSession() {
  if (!::WinHttpGetIEProxyConfigForCurrentUser(&proxySettings)) proxySettings = {};
  if (PlainValuesOf(proxySettings).manualProxy)
    httpSessionProxy = {WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxySettings.lpszProxy,
                        TextOf(proxySettings.lpszProxyBypass)};
  httpSession = OpenSession(httpSessionProxy);
  return httpSession != nullptr;
}

HINTERNET TheHttpSession() { return httpSession; }

ChosenProxy ChooseProxyFor(const wchar_t* originUrl) {
  WINHTTP_PROXY_INFO found = {};
  const ProxyRoute route = ChooseProxyRoute(PlainValuesOf(proxySettings), failedLookups, ::GetTickCount64(),
                                            [&](ProxyLookup lookup) { return LookUpProxy(lookup, originUrl, found); });
  ChosenProxy chosen;
  if (route == ProxyRoute::Discovered)
    chosen = {found.dwAccessType, TextOf(found.lpszProxy), TextOf(found.lpszProxyBypass)};
  if (route == ProxyRoute::Manual) chosen = httpSessionProxy;
  if (found.lpszProxy) ::GlobalFree(found.lpszProxy);
  if (found.lpszProxyBypass) ::GlobalFree(found.lpszProxyBypass);
  return chosen;
}

HINTERNET SessionFor(const ChosenProxy& proxy) {
  if (proxy == httpSessionProxy) return httpSession;
  const std::lock_guard<std::mutex> hold(proxySessionsLock);
  for (const auto& [opened, session] : proxySessions) {
    if (opened == proxy) return session;
  }
  const HINTERNET session = proxySessions.size() < kMaxProxySessions ? OpenSession(proxy) : nullptr;
  if (!session) return httpSession;
  proxySessions.emplace_back(proxy, session);
  return session;
}

bool HttpGet(HINTERNET connection, const ChosenProxy& proxy, const wchar_t* path, std::string& body) {
  UniqueInternet request(::WinHttpOpenRequest(connection, L"GET", path, L"HTTP/1.1", L"", nullptr, 0));
  if (!request) return false;

  // Windows' way to give a request its proxy, whatever its session's.
  WINHTTP_PROXY_INFO info = {proxy.accessType, const_cast<wchar_t*>(NullIfEmpty(proxy.proxy)),
                             const_cast<wchar_t*>(NullIfEmpty(proxy.bypass))};
  ::WinHttpSetOption(request.get(), WINHTTP_OPTION_PROXY, &info, sizeof(info));

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
