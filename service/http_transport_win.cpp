#include "service/http_transport_win.h"

#include <mutex>
#include <new>
#include <utility>

#include "service/network_change_win.h"
#include "service/proxy_choice.h"
#include "service/proxy_lookup_win.h"
#include "service/reply_body.h"
#include "text/wide_text_win.h"

namespace {

// The sessions opened for a proxy other than the first session's, each kept,
// like the first, until the process ends. A script answers the program's
// three hosts with a list or two; past this many, a request goes out on the
// first session with its proxy set on the request alone, which Windows
// honours.
constexpr std::size_t kMaxProxySessions = 8;

// Everything the transport keeps for the life of the process. The worker
// thread is never stopped and may be inside a request at exit, so the
// records are never destroyed.
struct TransportRecords {
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG proxySettings = {};
  HINTERNET httpSession = nullptr;  // the lookups run on it, so that it keeps a setup script between them
  ChosenProxy httpSessionProxy;
  std::vector<ProxyEntry> manualList;
  FailedProxyLookups failedLookups;
  ProxyListMemory answered;
  std::mutex proxySessionsLock;
  std::vector<std::pair<ChosenProxy, HINTERNET>> proxySessions;
};

TransportRecords& Records() {
  alignas(TransportRecords) static unsigned char storage[sizeof(TransportRecords)];
  static TransportRecords* records = ::new (static_cast<void*>(storage)) TransportRecords();
  return *records;
}

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

ChosenProxy TryOf(const ProxyEntry& entry, const std::wstring& bypass) {
  if (entry.empty()) return {};
  return {WINHTTP_ACCESS_TYPE_NAMED_PROXY, AsWide(entry.c_str()), bypass};
}

}  // namespace

BOOL OpenHttpSession() {
  TransportRecords& records = Records();
  if (!::WinHttpGetIEProxyConfigForCurrentUser(&records.proxySettings)) records.proxySettings = {};
  const std::wstring bypass = TextOf(records.proxySettings.lpszProxyBypass);
  if (PlainValuesOf(records.proxySettings).manualProxy) {
    records.manualList = ParseProxyList(AsUtf16(records.proxySettings.lpszProxy));
    if (!records.manualList.empty()) records.httpSessionProxy = TryOf(records.manualList.front(), bypass);
  }
  NetworkRestarted(records.failedLookups, ::GetTickCount64());
  records.httpSession = OpenSession(records.httpSessionProxy);
  if (records.httpSession) WatchNetworkChanges(NoteNetworkChanged);
  return records.httpSession != nullptr;
}

HINTERNET TheHttpSession() { return Records().httpSession; }

ProxyPlan PlanProxiesFor(const wchar_t* url) {
  TransportRecords& records = Records();
  const WINHTTP_CURRENT_USER_IE_PROXY_CONFIG& settings = records.proxySettings;
  const ULONGLONG deadline = ::GetTickCount64() + kLookupBoundMs;
  LookupAnswer found;
  const ProxyRoute route =
      ChooseProxyRoute(PlainValuesOf(settings), records.failedLookups, ::GetTickCount64(), [&](ProxyLookup lookup) {
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) return LookupOutcome::NotMade;
        return LookUpProxyBounded(records.httpSession, lookup, url, TextOf(settings.lpszAutoConfigUrl),
                                  static_cast<DWORD>(deadline - now), found);
      });
  ProxyPlan plan;
  std::wstring bypass;
  if (route == ProxyRoute::Discovered) {
    if (found.accessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY) plan.list = ParseProxyList(AsUtf16(found.proxy.c_str()));
    bypass = found.bypass;
  } else if (route == ProxyRoute::Manual) {
    plan.list = records.manualList;
    bypass = TextOf(settings.lpszProxyBypass);
  }
  // No entry that can carry plain HTTP, or no proxy at all: direct.
  if (plan.list.empty()) plan.list.emplace_back();
  for (const ProxyEntry& entry : records.answered.InTryOrder(plan.list)) plan.tries.push_back(TryOf(entry, bypass));
  return plan;
}

void NoteProxyAnswered(const ProxyPlan& plan, std::size_t index) {
  const ChosenProxy& answered = plan.tries[index];
  Records().answered.NoteAnswered(plan.list, AsUtf16(answered.proxy.c_str()));
}

HINTERNET SessionFor(const ChosenProxy& proxy) {
  TransportRecords& records = Records();
  if (proxy == records.httpSessionProxy) return records.httpSession;
  const std::lock_guard<std::mutex> hold(records.proxySessionsLock);
  for (const auto& [opened, session] : records.proxySessions) {
    if (opened == proxy) return session;
  }
  const HINTERNET session = records.proxySessions.size() < kMaxProxySessions ? OpenSession(proxy) : nullptr;
  if (!session) return records.httpSession;
  records.proxySessions.emplace_back(proxy, session);
  return session;
}

void NoteNetworkChanged() {
  TransportRecords& records = Records();
  NetworkRestarted(records.failedLookups, ::GetTickCount64());
  records.answered.Forget();
}

bool HttpGet(HINTERNET connection, const ChosenProxy& proxy, const wchar_t* path, std::string& body,
             bool* couldNotConnect) {
  if (couldNotConnect) *couldNotConnect = false;
  UniqueInternet request(::WinHttpOpenRequest(connection, L"GET", path, L"HTTP/1.1", L"", nullptr, 0));
  if (!request) return false;

  // Windows' way to give a request its proxy, whatever its session's.
  WINHTTP_PROXY_INFO info = {proxy.accessType, const_cast<wchar_t*>(NullIfEmpty(proxy.proxy)),
                             const_cast<wchar_t*>(NullIfEmpty(proxy.bypass))};
  ::WinHttpSetOption(request.get(), WINHTTP_OPTION_PROXY, &info, sizeof(info));

  if (!::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, static_cast<DWORD>(-1),
                            WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
    const DWORD error = ::GetLastError();
    if (couldNotConnect)
      *couldNotConnect = error == ERROR_WINHTTP_CANNOT_CONNECT || error == ERROR_WINHTTP_NAME_NOT_RESOLVED;
    body.clear();
    return true;
  }
  if (!::WinHttpReceiveResponse(request.get(), nullptr)) {
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
