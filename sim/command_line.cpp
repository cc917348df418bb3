#include "sim/command_line.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "sim/default_hosts.h"

namespace {

constexpr char kControlHost[] = "sim.control";

bool IsHostName(const std::string& name) {
  if (name.empty() || name.size() > 253) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
           c == '_';
  });
}

std::optional<int> ParsePort(const std::string& text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
  const long port = std::strtol(text.c_str(), nullptr, 10);
  if (port > 65535) return std::nullopt;
  return static_cast<int>(port);
}

// ACCOUNT:PASSWORD:SHOP_ID, split at the first and the last colon so that
// a password may hold colons.
std::optional<ShopRecord> ParseShop(const std::string& text) {
  const std::size_t first = text.find(':');
  const std::size_t last = text.rfind(':');
  if (first == std::string::npos || first == last) return std::nullopt;
  ShopRecord shop{text.substr(0, first), text.substr(first + 1, last - first - 1), text.substr(last + 1)};
  if (shop.account.empty() || shop.password.empty() || shop.shop_id.empty()) return std::nullopt;
  return shop;
}

}  // namespace

std::string UsageText() {
  return "usage: zarnik-sim [--port N] [--auth-host NAME] [--order-host NAME] [--console-host NAME]\n"
         "                  [--control-host NAME] [--shop ACCOUNT:PASSWORD:SHOP_ID]... [--script FILE]\n"
         "Plays the service's authentication, order and web console hosts on 127.0.0.1, directly\n"
         "(Host header) and as an HTTP proxy. --port 0 (the default) picks a free port; the port is\n"
         "printed as \"listening PORT\". Control: http://sim.control/ through the same port.\n"
         "Defaults: --auth-host " ZARNIK_SIM_AUTH_HOST " --order-host " ZARNIK_SIM_ORDER_HOST
         "\n          --console-host " ZARNIK_SIM_CONSOLE_HOST " --control-host sim.control\n";
}

std::variant<SimOptions, std::string> ParseCommandLine(const std::vector<std::string>& args) {
  SimOptions options;
  options.hosts = {ZARNIK_SIM_AUTH_HOST, ZARNIK_SIM_ORDER_HOST, ZARNIK_SIM_CONSOLE_HOST, kControlHost};
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> value;
    const std::size_t equals = name.find('=');
    if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.erase(equals);
    }
    if (name == "--help" || name == "-h") {
      options.help = true;
      continue;
    }
    if (name.rfind("--", 0) != 0) return "unknown option " + name;
    if (!value) {
      if (i + 1 >= args.size()) return name + " needs a value";
      value = args[++i];
    }
    if (name == "--port") {
      const auto port = ParsePort(*value);
      if (!port) return "--port must be 0 to 65535";
      options.port = *port;
    } else if (name == "--auth-host" || name == "--order-host" || name == "--console-host" ||
               name == "--control-host") {
      if (!IsHostName(*value)) return name + " must be a host name";
      std::string& host = name == "--auth-host"      ? options.hosts.auth
                          : name == "--order-host"   ? options.hosts.order
                          : name == "--console-host" ? options.hosts.console
                                                     : options.hosts.control;
      host = *value;
    } else if (name == "--shop") {
      const auto shop = ParseShop(*value);
      if (!shop) return "--shop must be ACCOUNT:PASSWORD:SHOP_ID";
      options.shops.push_back(*shop);
    } else if (name == "--script") {
      if (value->empty()) return "--script needs a file";
      options.scriptPath = *value;
    } else {
      return "unknown option " + name;
    }
  }
  const SimHosts& hosts = options.hosts;
  const std::vector<std::string> names = {NormalizeHost(hosts.auth), NormalizeHost(hosts.order),
                                          NormalizeHost(hosts.console), NormalizeHost(hosts.control)};
  for (std::size_t a = 0; a < names.size(); ++a) {
    for (std::size_t b = a + 1; b < names.size(); ++b) {
      if (names[a] == names[b]) return "the four host names must differ";
    }
  }
  return options;
}
