#pragma once
// The simulator answers for the service's three hosts and for its own
// control host, all on one port; the host a request names decides which.

#include <optional>
#include <string>

enum class HostRole { Auth, Order, Console, Control, Unknown };

struct SimHosts {
  std::string auth;
  std::string order;
  std::string console;
  std::string control;
};

// Host names compare without regard to letter case; a port or a trailing
// dot after the name is ignored.
HostRole RoleOfHost(const SimHosts& hosts, const std::string& host);

// "auth", "order", "console", "control", "unknown".
const char* RoleName(HostRole role);

// One of the three service hosts, named by its role ("auth", "order",
// "console") or by its host name; nullopt for anything else.
std::optional<HostRole> ServiceRoleNamed(const SimHosts& hosts, const std::string& name);

// The host part of a Host header or of an authority: lower case, without
// port, user information or trailing dot. An IPv6 literal keeps its brackets.
std::string NormalizeHost(const std::string& authority);
