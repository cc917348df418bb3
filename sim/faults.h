#pragma once
// Faults a host can be made to show, so that the program's handling of a
// broken service can be seen: a fault is armed per host (optionally for one
// path and for a number of requests) and every matching request suffers it.

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <variant>

#include "sim/host_roles.h"
#include "sim/query_text.h"

enum class FaultKind {
  Refuse,       // the connection is reset before a byte of the reply
  Slow,         // the normal reply, after a delay
  ServerError,  // status 500 with an HTML page
  Truncate,     // the normal reply's headers and half its body, then the connection ends
  Garbage,      // status 200 with text that is not JSON
  Huge,         // the normal reply padded with blanks to a huge body
  ZeroByte,     // the normal reply with a zero byte inside
};

// "refuse", "slow", "error500", "truncate", "garbage", "huge", "nul".
const char* FaultKindName(FaultKind kind);
std::optional<FaultKind> FaultKindNamed(const std::string& name);

constexpr std::chrono::milliseconds kMaxFaultDelay{120000};
constexpr std::size_t kDefaultHugeBytes = 50u << 20;
constexpr std::size_t kMaxHugeBytes = 256u << 20;

struct FaultPlan {
  FaultKind kind = FaultKind::Garbage;
  int times = 0;  // requests left to suffer it; 0 means every request until cleared
  std::chrono::milliseconds delay{10000};
  std::size_t hugeBytes = kDefaultHugeBytes;
  std::optional<std::size_t> zeroAt;  // where the zero byte goes; the middle when absent
  std::string path;                   // only this path (no query); every path when empty
};

// A plan from named options: kind (required), times, delay_ms, size, offset,
// path. Numbers are decimal and must lie within their limits; the error
// text names the option that does not.
std::variant<FaultPlan, std::string> ParseFaultPlan(const QueryParams& options);

class FaultTable {
 public:
  // Replaces what was armed for the role.
  void Arm(HostRole role, FaultPlan plan);
  // Clears one role, or every role when nullopt.
  void Clear(std::optional<HostRole> role);
  // The fault the next request for role and path must suffer, counting
  // that request against the plan's times.
  std::optional<FaultPlan> Take(HostRole role, const std::string& path);
  const std::map<HostRole, FaultPlan>& armed() const { return armed_; }

 private:
  std::map<HostRole, FaultPlan> armed_;
};

// The bodies of the faults that do not start from the normal reply.
std::string ServerErrorPage();
std::string GarbageBody();
// body with a zero byte inserted at `at` (clamped to its end), or in the
// middle when at is nullopt.
std::string WithZeroByte(const std::string& body, std::optional<std::size_t> at);
