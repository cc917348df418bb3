#include "service/http_transport_win.h"

#include <new>

#include "service/reply_body.h"

namespace {

WINHTTP_CURRENT_USER_IE_PROXY_CONFIG proxySettings = {};
HINTERNET httpSession = nullptr;

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

void ApplyDiscoveredProxy(HINTERNET request, const wchar_t* originUrl) {
  const DWORD flags = ProxyLookupFlags(proxySettings);
  if (flags == 0) return;
  WINHTTP_AUTOPROXY_OPTIONS options = {};
  options.dwFlags = flags;
  options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
  options.lpszAutoConfigUrl = proxySettings.lpszAutoConfigUrl;
  options.fAutoLogonIfChallenged = FALSE;
  WINHTTP_PROXY_INFO info = {};
  if (!::WinHttpGetProxyForUrl(httpSession, originUrl, &options, &info)) return;
  ::WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &info, sizeof(info));
  if (info.lpszProxy) ::GlobalFree(info.lpszProxy);
  if (info.lpszProxyBypass) ::GlobalFree(info.lpszProxyBypass);
}

}  // namespace

SessionAccess ChooseSessionAccess(bool settingsRead, const WINHTTP_CURRENT_USER_IE_PROXY_CONFIG& settings) {
  if (!settingsRead) return {WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr};
  if (settings.fAutoDetect) return {WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, nullptr, nullptr};
  if (settings.lpszProxy) return {WINHTTP_ACCESS_TYPE_NAMED_PROXY, settings.lpszProxy, settings.lpszProxyBypass};
  return {WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr};
}

DWORD ProxyLookupFlags(const WINHTTP_CURRENT_USER_IE_PROXY_CONFIG& settings) {
  if (!settings.fAutoDetect) return 0;
  DWORD flags = WINHTTP_AUTOPROXY_AUTO_DETECT;
  if (settings.lpszAutoConfigUrl) flags |= WINHTTP_AUTOPROXY_CONFIG_URL;
  return flags;
}

BOOL OpenHttpSession() {
  const bool read = ::WinHttpGetIEProxyConfigForCurrentUser(&proxySettings) != FALSE;
  if (!read) proxySettings = {};
  const SessionAccess access = ChooseSessionAccess(read, proxySettings);
  httpSession = ::WinHttpOpen(kUserAgent, access.accessType, access.proxy, access.bypass, 0);
  if (httpSession) BoundEveryWait(httpSession);
  return httpSession != nullptr;
}

HINTERNET TheHttpSession() { return httpSession; }

bool HttpGet(HINTERNET connection, const wchar_t* originUrl, const wchar_t* path, std::string& body) {
  UniqueInternet request(::WinHttpOpenRequest(connection, L"GET", path, L"HTTP/1.1", L"", nullptr, 0));
  if (!request) return false;

  ApplyDiscoveredProxy(request.get(), originUrl);

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
