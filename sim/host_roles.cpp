#include "sim/host_roles.h"

#include <algorithm>
#include <cctype>

std::string NormalizeHost(const std::string& authority) {
  std::string host = authority;
  const std::size_t at = host.rfind('@');
  if (at != std::string::npos) host.erase(0, at + 1);
  if (!host.empty() && host.front() == '[') {
    const std::size_t close = host.find(']');
    if (close != std::string::npos) host.erase(close + 1);
  } else {
    const std::size_t colon = host.find(':');
    if (colon != std::string::npos) host.erase(colon);
  }
  if (!host.empty() && host.back() == '.') host.pop_back();
  std::transform(host.begin(), host.end(), host.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return host;
}

HostRole RoleOfHost(const SimHosts& hosts, const std::string& host) {
  const std::string name = NormalizeHost(host);
  if (name.empty()) return HostRole::Unknown;
  if (name == NormalizeHost(hosts.auth)) return HostRole::Auth;
  if (name == NormalizeHost(hosts.order)) return HostRole::Order;
  if (name == NormalizeHost(hosts.console)) return HostRole::Console;
  if (name == NormalizeHost(hosts.control)) return HostRole::Control;
  return HostRole::Unknown;
}

const char* RoleName(HostRole role) {
  switch (role) {
    case HostRole::Auth:
      return "auth";
    case HostRole::Order:
      return "order";
    case HostRole::Console:
      return "console";
    case HostRole::Control:
      return "control";
    case HostRole::Unknown:
      break;
  }
  return "unknown";
}

std::optional<HostRole> ServiceRoleNamed(const SimHosts& hosts, const std::string& name) {
  for (const HostRole role : {HostRole::Auth, HostRole::Order, HostRole::Console}) {
    if (name == RoleName(role)) return role;
  }
  const HostRole role = RoleOfHost(hosts, name);
  if (role == HostRole::Auth || role == HostRole::Order || role == HostRole::Console) return role;
  return std::nullopt;
}
