#pragma once
// The process's WinHTTP sessions and its one request operation.

#include <windows.h>
#include <winhttp.h>

#include <cstddef>
#include <string>
#include <vector>

#include "service/proxy_list.h"
#include "win32/unique_handle.h"

using UniqueInternet = UniqueHandle<HINTERNET, NullHandleTraits<HINTERNET, ::WinHttpCloseHandle>>;

constexpr wchar_t kUserAgent[] = L"Mozilla/4.0.(compatible;.MSIE.6..Windows.NT.5..SV1;..NET.CLR.1.1.4322)";
constexpr DWORD kChunkPauseMs = 50;
// A request that fails over from one entry of a proxy list to the next does
// so within the time one connection may take.
constexpr ULONGLONG kFailoverBudgetMs = 60000;

// Reads the user's browser proxy settings, opens the first session, whose
// proxy is the manual one's first entry (or none), and starts watching the
// machine's addresses. False when the session could not be opened.
BOOL OpenHttpSession();
HINTERNET TheHttpSession();

// How a request reaches its host: a proxy access type with its proxy and
// bypass list (empty: none).
struct ChosenProxy {
  DWORD accessType = WINHTTP_ACCESS_TYPE_NO_PROXY;
  std::wstring proxy, bypass;
  bool operator==(const ChosenProxy& other) const {
    return accessType == other.accessType && proxy == other.proxy && bypass == other.bypass;
  }
};

// The ways to send a request to url (the whole URL: a setup script may
// choose by its path), in the order to try them, after the lookups the
// user's browser settings ask for.
struct ProxyPlan {
  std::vector<ProxyEntry> list;  // as the settings or the lookup gave it
  std::vector<ChosenProxy> tries;
};
ProxyPlan PlanProxiesFor(const wchar_t* url);
// The try at index reached its proxy (or its host): it goes first next time.
void NoteProxyAnswered(const ProxyPlan& plan, std::size_t index);
// The session to connect on for a try, opened with its proxy: Wine takes a
// proxy only from WinHttpOpen, and ignores it on a request.
HINTERNET SessionFor(const ChosenProxy& proxy);
// The network came back or changed (a resume, new addresses): lookups that
// failed are made again and the remembered list entries are forgotten.
void NoteNetworkChanged();

// One GET of path, with that proxy, over a connection the caller opened on
// its session. True with the body's bytes (possibly none) when the exchange
// ended normally or never got a reply; false, with body untouched, when no
// request could be made, the body broke off or was too large to keep, or
// memory ran out. couldNotConnect tells a request that never reached the
// proxy (or, without one, the host) apart.
bool HttpGet(HINTERNET connection, const ChosenProxy& proxy, const wchar_t* path, std::string& body,
             bool* couldNotConnect = nullptr);
