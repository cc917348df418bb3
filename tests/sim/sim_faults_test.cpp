// What the end-to-end runs cannot tell: that each fault really distorts the
// reply, and that a request in the proxy form is answered as the host it names.

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <string>
#include <thread>

#include "sim/sim_server.h"

using namespace std::string_literals;

TEST(SimFaults, EachFaultDistortsTheReplyOfItsHost) {
  SimServer server;
  const int port = server.Bind(0);
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
      {"error500", 500, kServerErrorPage},
      {"garbage", 200, kGarbageBody},
      {"nul", 200, std::string(fail).insert(fail.size() / 2, 1, '\0')},
      {"huge", 200, fail + std::string(3000000 - fail.size(), ' ')},
  };
  for (const auto& row : rows) {
    const Params fault = {
        {"host", "auth"}, {"kind", row.kind}, {"times", "1"}, {"delay_ms", "300"}, {"size", "3000000"}};
    ASSERT_TRUE(server.Change("/fault", fault).ok()) << row.kind;
    httplib::Client client("127.0.0.1", port);
    const auto before = std::chrono::steady_clock::now();
    // The proxy form: the URL names the host, the Host header the simulator.
    const std::string url = "http://"s + ZARNIK_SIM_AUTH_HOST + ":80/shop_login.php?name=x&pwd=y";
    const auto reply = client.Get(url);
    EXPECT_EQ(reply ? reply->status : 0, row.status) << row.kind;
    EXPECT_TRUE((reply ? reply->body : "") == row.body) << row.kind << ": " << (reply ? reply->body.substr(0, 80) : "");
    EXPECT_EQ(std::chrono::steady_clock::now() - before >= std::chrono::milliseconds(300), row.kind == "slow"s)
        << row.kind;
    const auto after = client.Get(url);
    EXPECT_EQ(after ? after->body : "", fail) << row.kind << ": the fault lasts one request";
  }
  server.Stop();
  serving.join();
}
