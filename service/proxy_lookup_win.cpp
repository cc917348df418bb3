#include "service/proxy_lookup_win.h"

#include <atomic>
#include <memory>

#include "win32/handles.h"

namespace {

struct Lookup {
  HINTERNET session;
  ProxyLookup kind;
  std::wstring url, scriptUrl;
  UniqueKernelHandle ended{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  bool found = false;  // written before ended is set, read after
  LookupAnswer answer;
};

// Lookups of each kind out at a time: one for each thread that sends
// requests (the worker and the user-interface thread's Test or console
// command), so that two requests at once both look up. Plain atomics, never
// destroyed while a lookup thread may still run at exit.
constexpr int kMostOutstanding = 2;
std::atomic<int> outstanding[2];

std::wstring TextOf(const wchar_t* text) { return text ? text : L""; }

bool LookUp(Lookup& lookup, WINHTTP_PROXY_INFO& found) {
  WINHTTP_AUTOPROXY_OPTIONS options = {};
  if (lookup.kind == ProxyLookup::Detection) {
    options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
    options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
  } else {
    options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
    options.lpszAutoConfigUrl = lookup.scriptUrl.c_str();
  }
  // Without the user's log-on first, which lets Windows keep the script
  // between lookups; with it only for a script host that asks.
  if (::WinHttpGetProxyForUrl(lookup.session, lookup.url.c_str(), &options, &found)) return true;
  if (::GetLastError() != ERROR_WINHTTP_LOGIN_FAILURE) return false;
  options.fAutoLogonIfChallenged = TRUE;
  return ::WinHttpGetProxyForUrl(lookup.session, lookup.url.c_str(), &options, &found) != FALSE;
}

DWORD WINAPI Run(LPVOID parameter) {
  // The thread's own hold on the lookup, which the waiter may have given up.
  const std::unique_ptr<std::shared_ptr<Lookup>> held(static_cast<std::shared_ptr<Lookup>*>(parameter));
  const std::shared_ptr<Lookup> lookup = *held;
  WINHTTP_PROXY_INFO found = {};
  const bool ok = LookUp(*lookup, found);
  LookupAnswer answer{found.dwAccessType, TextOf(found.lpszProxy), TextOf(found.lpszProxyBypass)};
  if (found.lpszProxy) ::GlobalFree(found.lpszProxy);
  if (found.lpszProxyBypass) ::GlobalFree(found.lpszProxyBypass);
  lookup->found = ok;
  lookup->answer = std::move(answer);
  --outstanding[static_cast<int>(lookup->kind)];
  ::SetEvent(lookup->ended.get());
  return 0;
}

}  // namespace

LookupOutcome LookUpProxyBounded(HINTERNET session, ProxyLookup kind, const std::wstring& url,
                                 const std::wstring& scriptUrl, DWORD boundMs, LookupAnswer& answer) {
  // Lookups that still hang from earlier requests: this one fails at once.
  if (++outstanding[static_cast<int>(kind)] > kMostOutstanding) {
    --outstanding[static_cast<int>(kind)];
    return LookupOutcome::Failed;
  }
  // Shared with the thread, which may outlive this wait.
  const auto lookup = std::make_shared<Lookup>();
  lookup->session = session;
  lookup->kind = kind;
  lookup->url = url;
  lookup->scriptUrl = scriptUrl;
  auto held = std::make_unique<std::shared_ptr<Lookup>>(lookup);
  const HANDLE thread = lookup->ended ? ::CreateThread(nullptr, 0, Run, held.get(), 0, nullptr) : nullptr;
  if (!thread) {
    --outstanding[static_cast<int>(kind)];
    return LookupOutcome::Failed;
  }
  held.release();  // the thread's now
  ::CloseHandle(thread);
  if (::WaitForSingleObject(lookup->ended.get(), boundMs) != WAIT_OBJECT_0 || !lookup->found)
    return LookupOutcome::Failed;
  answer = lookup->answer;
  return LookupOutcome::Found;
}
