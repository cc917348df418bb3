#pragma once
// One automatic proxy lookup (detection or a setup script), bounded in time:
// Windows' lookup is synchronous and a script host that accepts and never
// answers would hold the request for good.

#include <windows.h>
#include <winhttp.h>

#include <string>

#include "service/proxy_choice.h"

struct LookupAnswer {
  DWORD accessType = WINHTTP_ACCESS_TYPE_NO_PROXY;
  std::wstring proxy, bypass;
};

// Runs the lookup on a thread of its own and waits at most boundMs for it.
// While lookups of the same kind from earlier requests still hang (two, one
// for each thread that sends requests), none is started: it fails at once.
// session keeps a script between lookups.
LookupOutcome LookUpProxyBounded(HINTERNET session, ProxyLookup lookup, const std::wstring& url,
                                 const std::wstring& scriptUrl, DWORD boundMs, LookupAnswer& answer);
