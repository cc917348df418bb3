#pragma once
// The end-to-end tests' side of zarnik-sim: its control interface (shops,
// waiting entries, sessions, faults, the request log) and the web console as
// a browser reaches it. Everything goes over WinHTTP through the simulator
// as the proxy, the same way the program under test reaches it.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "service/http_transport_win.h"

// One request the service hosts received, as the simulator logged it.
struct SimRequest {
  std::uint64_t seq = 0;
  std::int64_t timeMs = 0;  // arrival, milliseconds since 1970
  std::string host;
  std::string role;    // "auth", "order", "console"
  std::string target;  // path and query
  bool proxied = false;
  std::string userAgent;
  std::string fault;  // the fault it suffered, or empty

  // The decoded value of a query parameter, if the target has it.
  std::optional<std::string> Param(const std::string& name) const;
  // The path without the query.
  std::string Path() const;
};

struct SimPage {
  DWORD status = 0;
  std::string body;
};

using FormFields = std::vector<std::pair<std::string, std::string>>;

class SimControl {
 public:
  explicit SimControl(int port);

  bool Ready() const { return static_cast<bool>(session_); }
  int Port() const { return port_; }
  // What the simulator said when an operation failed.
  const std::string& LastError() const { return lastError_; }

  // A control operation with its form fields; true when the simulator
  // answered {"ok":true}.
  bool Post(const std::string& path, const FormFields& fields);

  bool AddShop(const std::string& account, const std::string& password, const std::string& shopId);
  bool AddEntry(const std::string& shopId, const std::string& category, const std::string& entry);
  // Handles every waiting entry of the shop.
  bool TreatAll(const std::string& shopId);
  bool ExpireSessions(const std::string& shopId);
  // kind as the simulator names it ("refuse", "garbage", ...), until cleared.
  bool ArmFault(const std::string& host, const std::string& kind);
  bool ClearFaults();

  // The logged requests after seq, oldest first; nullopt when the log could
  // not be read.
  std::optional<std::vector<SimRequest>> RequestsSince(std::uint64_t seq);
  // The sequence number of the newest logged request (0 for none).
  std::optional<std::uint64_t> LastSeq();
  // Waits until a request after seq satisfies the predicate; returns it.
  template <typename Predicate>
  std::optional<SimRequest> WaitForRequest(std::uint64_t seq, Predicate predicate, DWORD timeoutMs);
  // The live sessions and unspent keys of every shop.
  std::optional<std::pair<int, int>> SessionsAndKeys();

  // A GET of an absolute http URL through the simulator, as a browser set
  // to use it as the proxy would send it.
  std::optional<SimPage> Browse(const std::string& url);

 private:
  std::optional<SimPage> Exchange(const std::wstring& host, const wchar_t* verb, const std::wstring& path,
                                  const std::string& form);

  int port_;
  UniqueInternet session_;
  std::string lastError_;
};

// The port the test run's simulator listens on, from the port file its
// fixture wrote (a Unix path); nullopt when there is none.
std::optional<int> ReadSimPort(const char* portFile);

template <typename Predicate>
std::optional<SimRequest> SimControl::WaitForRequest(std::uint64_t seq, Predicate predicate, DWORD timeoutMs) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    if (const auto requests = RequestsSince(seq)) {
      for (const SimRequest& request : *requests)
        if (predicate(request)) return request;
    }
    if (::GetTickCount() - start >= timeoutMs) return std::nullopt;
    ::Sleep(200);
  }
}
