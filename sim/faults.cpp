#include "sim/faults.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace {

constexpr long long kMaxTimes = 1000000;

// A whole decimal number from first to last, or nullopt.
std::optional<long long> ParseNumber(const std::string& text, long long first, long long last) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  errno = 0;
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  if (errno != 0 || value < first || value > last) return std::nullopt;
  return value;
}

}  // namespace

const char* FaultKindName(FaultKind kind) {
  switch (kind) {
    case FaultKind::Refuse:
      return "refuse";
    case FaultKind::Slow:
      return "slow";
    case FaultKind::ServerError:
      return "error500";
    case FaultKind::Truncate:
      return "truncate";
    case FaultKind::Garbage:
      return "garbage";
    case FaultKind::Huge:
      return "huge";
    case FaultKind::ZeroByte:
      return "nul";
  }
  return "";
}

std::optional<FaultKind> FaultKindNamed(const std::string& name) {
  for (const FaultKind kind : {FaultKind::Refuse, FaultKind::Slow, FaultKind::ServerError, FaultKind::Truncate,
                               FaultKind::Garbage, FaultKind::Huge, FaultKind::ZeroByte}) {
    if (name == FaultKindName(kind)) return kind;
  }
  return std::nullopt;
}

std::variant<FaultPlan, std::string> ParseFaultPlan(const QueryParams& options) {
  FaultPlan plan;
  const std::string* kind = FindParam(options, "kind");
  if (kind == nullptr) return std::string("kind missing");
  const auto parsed_kind = FaultKindNamed(*kind);
  if (!parsed_kind) return "unknown kind " + *kind;
  plan.kind = *parsed_kind;

  if (const std::string* times = FindParam(options, "times")) {
    const auto value = ParseNumber(*times, 0, kMaxTimes);
    if (!value) return std::string("times must be 0 to 1000000");
    plan.times = static_cast<int>(*value);
  }
  if (const std::string* delay = FindParam(options, "delay_ms")) {
    const auto value = ParseNumber(*delay, 0, kMaxFaultDelay.count());
    if (!value) return std::string("delay_ms must be 0 to 120000");
    plan.delay = std::chrono::milliseconds(*value);
  }
  if (const std::string* size = FindParam(options, "size")) {
    const auto value = ParseNumber(*size, 1, static_cast<long long>(kMaxHugeBytes));
    if (!value) return std::string("size must be 1 to 268435456");
    plan.hugeBytes = static_cast<std::size_t>(*value);
  }
  if (const std::string* offset = FindParam(options, "offset")) {
    const auto value = ParseNumber(*offset, 0, static_cast<long long>(kMaxHugeBytes));
    if (!value) return std::string("offset must be 0 to 268435456");
    plan.zeroAt = static_cast<std::size_t>(*value);
  }
  if (const std::string* path = FindParam(options, "path")) plan.path = *path;
  return plan;
}

void FaultTable::Arm(HostRole role, FaultPlan plan) { armed_[role] = std::move(plan); }

void FaultTable::Clear(std::optional<HostRole> role) {
  if (role) {
    armed_.erase(*role);
  } else {
    armed_.clear();
  }
}

std::optional<FaultPlan> FaultTable::Take(HostRole role, const std::string& path) {
  const auto found = armed_.find(role);
  if (found == armed_.end()) return std::nullopt;
  FaultPlan plan = found->second;
  if (!plan.path.empty() && plan.path != path) return std::nullopt;
  if (plan.times > 0 && --found->second.times == 0) armed_.erase(found);
  return plan;
}

std::string ServerErrorPage() {
  return "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 2.0//EN\">\n<html><head>\n<title>500 Internal Server "
         "Error</title>\n</head><body>\n<h1>Internal Server Error</h1>\n<p>The server encountered an internal "
         "error or misconfiguration and was unable to complete your request.</p>\n</body></html>\n";
}

std::string GarbageBody() {
  return "<br />\n<b>Warning</b>:  mysql_connect(): Too many connections in <b>/var/www/shop/db.php</b> on line "
         "<b>12</b><br />\n\x89\xFE\xFF{\"body\":";
}

std::string WithZeroByte(const std::string& body, std::optional<std::size_t> at) {
  const std::size_t position = at ? std::min(*at, body.size()) : body.size() / 2;
  std::string result = body;
  result.insert(position, 1, '\0');
  return result;
}
