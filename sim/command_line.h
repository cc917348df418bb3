#pragma once
// zarnik-sim [--port N] [--auth-host NAME] [--order-host NAME]
//            [--console-host NAME] [--control-host NAME]
//            [--shop ACCOUNT:PASSWORD:SHOP_ID]... [--script FILE] [--help]
// Options take their value as the next word or after '='.

#include <string>
#include <variant>
#include <vector>

#include "sim/host_roles.h"
#include "sim/service_model.h"

struct SimOptions {
  int port = 0;  // 0: a free port of the system's choice
  SimHosts hosts;
  std::vector<ShopRecord> shops;
  std::string scriptPath;  // empty: no script
  bool help = false;
};

// Hosts default to the names the program is built with and "sim.control".
// An error text names the offending option.
std::variant<SimOptions, std::string> ParseCommandLine(const std::vector<std::string>& args);

std::string UsageText();
