#include "sim/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/default_hosts.h"

namespace {

std::string ErrorOf(const std::vector<std::string>& args) {
  const auto result = ParseCommandLine(args);
  return std::holds_alternative<std::string>(result) ? std::get<std::string>(result) : std::string();
}

}  // namespace

TEST(SimCommandLine, DefaultsToTheBuiltInHostNames) {
  const auto result = ParseCommandLine({});
  ASSERT_TRUE(std::holds_alternative<SimOptions>(result));
  const SimOptions& options = std::get<SimOptions>(result);
  EXPECT_EQ(options.port, 0);
  EXPECT_EQ(options.hosts.auth, ZARNIK_SIM_AUTH_HOST);
  EXPECT_EQ(options.hosts.order, ZARNIK_SIM_ORDER_HOST);
  EXPECT_EQ(options.hosts.console, ZARNIK_SIM_CONSOLE_HOST);
  EXPECT_EQ(options.hosts.control, "sim.control");
  EXPECT_TRUE(options.shops.empty());
  EXPECT_TRUE(options.scriptPath.empty());
}

TEST(SimCommandLine, ReadsEveryOption) {
  const auto result =
      ParseCommandLine({"--port", "18080", "--auth-host=a.test", "--order-host", "o.test", "--console-host", "c.test",
                        "--control-host", "ctl.test", "--shop", "shop01:pa:ss:1001", "--shop=店:pw:2002",
                        "--script", "demo.txt"});
  ASSERT_TRUE(std::holds_alternative<SimOptions>(result)) << std::get<std::string>(result);
  const SimOptions& options = std::get<SimOptions>(result);
  EXPECT_EQ(options.port, 18080);
  EXPECT_EQ(options.hosts.auth, "a.test");
  EXPECT_EQ(options.hosts.order, "o.test");
  EXPECT_EQ(options.hosts.console, "c.test");
  EXPECT_EQ(options.hosts.control, "ctl.test");
  ASSERT_EQ(options.shops.size(), 2u);
  EXPECT_EQ(options.shops[0].account, "shop01");
  EXPECT_EQ(options.shops[0].password, "pa:ss") << "a password may hold colons";
  EXPECT_EQ(options.shops[0].shop_id, "1001");
  EXPECT_EQ(options.shops[1].account, "店");
  EXPECT_EQ(options.scriptPath, "demo.txt");
  EXPECT_TRUE(std::get<SimOptions>(ParseCommandLine({"--help"})).help);
}

TEST(SimCommandLine, RefusesBadOptions) {
  const struct {
    std::vector<std::string> args;
    const char* error;
  } rows[] = {
      {{"--port"}, "--port needs a value"},
      {{"--port", "65536"}, "--port must be 0 to 65535"},
      {{"--port", "-1"}, "--port must be 0 to 65535"},
      {{"--port", "80x"}, "--port must be 0 to 65535"},
      {{"--auth-host", "bad host"}, "--auth-host must be a host name"},
      {{"--order-host="}, "--order-host must be a host name"},
      {{"--console-host", "sim.control"}, "the four host names must differ"},
      {{"--order-host", "PASSPORT.zarnik.net", "--auth-host", "passport.zarnik.net"},
       "the four host names must differ"},
      {{"--shop", "shop01:1001"}, "--shop must be ACCOUNT:PASSWORD:SHOP_ID"},
      {{"--shop", "shop01::1001"}, "--shop must be ACCOUNT:PASSWORD:SHOP_ID"},
      {{"--shop", ":pw:1001"}, "--shop must be ACCOUNT:PASSWORD:SHOP_ID"},
      {{"--script", ""}, "--script needs a file"},
      {{"--verbose", "1"}, "unknown option --verbose"},
      {{"extra"}, "unknown option extra"},
  };
  for (const auto& row : rows) {
    std::string joined;
    for (const auto& arg : row.args) joined += arg + " ";
    EXPECT_EQ(ErrorOf(row.args), row.error) << joined;
  }
}
