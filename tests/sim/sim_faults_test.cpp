// What the end-to-end runs cannot tell: that each fault really distorts the
// reply, and that a request in the proxy form is answered as the host it names.

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <string>
#include <thread>

#include "sim/sim_server.h"
#include "sim/token_source.h"

using namespace std::string_literals;

TEST(SimFaults, EachFaultDistortsTheReplyOfItsHost) {
  SimState state({"passport.zarnik.net", "orders.zarnik.net", "console.zarnik.net", "sim.control"},
                 MakeRandomTokenSource());
  SimServer server(state);
  const int port = server.Bind("127.0.0.1", 0);
  ASSERT_GT(port, 0);
  std::thread serving([&] { server.Run(); });
  const std::string fail = R"({"body":{"login_status":"fail"}})";
  // status 0: no complete reply.
  const struct {
    const char* kind;
    int status;
    std::string body;
  } rows[] = {
      {"refuse", 0, ""},
      {"truncate", 0, ""},
      {"slow", 200, fail},
      {"error500", 500, ServerErrorPage()},
      {"garbage", 200, GarbageBody()},
      {"nul", 200, WithZeroByte(fail, std::nullopt)},
      {"huge", 200, fail + std::string(3000000 - fail.size(), ' ')},
  };
  for (const auto& row : rows) {
    ASSERT_TRUE(
        state.ArmFault("auth", {{"kind", row.kind}, {"times", "1"}, {"delay_ms", "300"}, {"size", "3000000"}}).ok());
    httplib::Client client("127.0.0.1", port);
    const auto before = std::chrono::steady_clock::now();
    // The proxy form: the URL names the host, the Host header the simulator.
    const auto reply = client.Get("http://passport.zarnik.net:80/shop_login.php?name=x&pwd=y");
    EXPECT_EQ(reply ? reply->status : 0, row.status) << row.kind;
    if (reply) EXPECT_TRUE(reply->body == row.body) << row.kind << ": " << reply->body.substr(0, 80);
    EXPECT_EQ(std::chrono::steady_clock::now() - before >= std::chrono::milliseconds(300), row.kind == "slow"s)
        << row.kind;
    const auto after = client.Get("http://passport.zarnik.net:80/shop_login.php?name=x&pwd=y");
    EXPECT_TRUE(after && after->body == fail) << row.kind << ": the fault lasts one request";
  }
  server.Stop();
  serving.join();
}
