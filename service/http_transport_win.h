#pragma once
// The process's WinHTTP sessions and its one request operation.

#include <windows.h>
#include <winhttp.h>

#include <cstddef>
#include <string>

#include "win32/unique_handle.h"

using UniqueInternet = UniqueHandle<HINTERNET, NullHandleTraits<HINTERNET, ::WinHttpCloseHandle>>;

constexpr wchar_t kUserAgent[] = L"Mozilla/4.0.(compatible;.MSIE.6..Windows.NT.5..SV1;..NET.CLR.1.1.4322)";
constexpr DWORD kChunkPauseMs = 50;

// Reads the user's browser proxy settings and opens the first session, whose
// proxy is the manual one (or none). False when it could not be opened.
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
// The way the user's browser settings give for requests to originUrl
// ("http://" and the host), after the lookups they ask for.
ChosenProxy ChooseProxyFor(const wchar_t* originUrl);
// The session to connect on for it, opened with that proxy: Wine takes a
// proxy only from WinHttpOpen, and ignores it on a request.
HINTERNET SessionFor(const ChosenProxy& proxy);

// One GET of path, with that proxy, over a connection the caller opened on
// its session. True with the body's bytes (possibly none) when the exchange
// ended normally or never got a reply; false, with body untouched, when no
// request could be made, the body broke off or was too large to keep, or
// memory ran out.
bool HttpGet(HINTERNET connection, const ChosenProxy& proxy, const wchar_t* path, std::string& body);
