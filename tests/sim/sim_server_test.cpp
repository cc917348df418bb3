#include "sim/sim_server.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <json/reader.h>

#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "running_sim.h"
#include "sim/faults.h"

namespace {

constexpr char kUserAgent[] = "Mozilla/4.0.(compatible;.MSIE.6..Windows.NT.5..SV1;..NET.CLR.1.1.4322)";
constexpr char kForm[] = "application/x-www-form-urlencoded";

Json::Value ParseJson(const std::string& text) {
  Json::CharReaderBuilder builder;
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value value;
  std::string errors;
  if (!reader->parse(text.data(), text.data() + text.size(), &value, &errors)) ADD_FAILURE() << errors << text;
  return value;
}

class SimServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GT(sim.port(), 0);
    ASSERT_TRUE(sim.state().AddShop("shop01", "p&w 中", "1001").ok());
  }

  std::unique_ptr<httplib::Client> Client() {
    auto client = std::make_unique<httplib::Client>("127.0.0.1", sim.port());
    client->set_read_timeout(20, 0);
    client->set_keep_alive(false);
    return client;
  }

  // A direct request: origin form, the host in the Host header.
  httplib::Result Direct(const char* host, const std::string& target) {
    return Client()->Get(target.c_str(), {{"Host", host}, {"User-Agent", kUserAgent}});
  }

  // A proxied request: the absolute form; the client's own Host header
  // names the simulator, and the URL's host must win.
  httplib::Result Proxied(const std::string& url) { return Client()->Get(url.c_str(), {{"User-Agent", kUserAgent}}); }

  httplib::Result Control(const std::string& path, const std::string& form) {
    return Client()->Post(path.c_str(), {{"Host", "sim.control"}}, form, kForm);
  }

  std::string LogIn() {
    const auto reply = Proxied("http://passport.zarnik.net:80/shop_login.php?name=shop01&pwd=p%26w%20%E4%B8%AD");
    if (!reply) return std::string();
    return ParseJson(reply->body)["body"]["session_id"].asString();
  }

  RunningSim sim;
};

}  // namespace

TEST_F(SimServerTest, DirectAndProxiedRequestsPlayTheWholeService) {
  const auto login = Direct("passport.zarnik.net", "/shop_login.php?name=shop01&pwd=p%26w%20%E4%B8%AD");
  ASSERT_TRUE(login);
  const Json::Value body = ParseJson(login->body)["body"];
  EXPECT_EQ(body["login_status"].asString(), "success");
  EXPECT_EQ(body["shop_id"].asString(), "1001");
  const std::string session = LogIn();
  ASSERT_EQ(session.size(), 32u);
  EXPECT_NE(session, body["session_id"].asString());

  ASSERT_EQ(Control("/entry/add", "category=web&entry=ORD-1001")->status, 200);
  ASSERT_EQ(Control("/entry/add", "category=tousu&entry=%E6%8A%95%E8%AF%89-1")->status, 200);
  const std::string sheet = "/untreatedSheet.php?shop_id=1001&session_id=" + session;
  const auto direct_sheet = Direct("orders.zarnik.net:80", sheet);
  const auto proxied_sheet = Proxied("http://orders.zarnik.net:80" + sheet);
  ASSERT_TRUE(direct_sheet && proxied_sheet);
  EXPECT_EQ(direct_sheet->body,
            R"({"body":{"deal_status":"untreated","liuyan":[],"tousu":["\u6295\u8bc9-1"],"web":["ORD-1001"]}})");
  EXPECT_EQ(proxied_sheet->body, direct_sheet->body);

  const auto key = Proxied("http://passport.zarnik.net/shop_key.php?session_id=" + session);
  ASSERT_TRUE(key);
  ASSERT_EQ(key->body.size(), 34u) << key->body;
  const std::string entry_url = "http://console.zarnik.net/frame/next?go=5&key=" + key->body.substr(1, 32);
  const auto page = Proxied(entry_url);
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_NE(page->body.find("<li>ORD-1001</li>"), std::string::npos) << page->body;
  EXPECT_NE(page->body.find("<li>投诉-1</li>"), std::string::npos);
  EXPECT_EQ(Proxied(entry_url)->status, 403) << "the key works once";
  EXPECT_EQ(Direct("console.zarnik.net", "/")->status, 200);

  ASSERT_EQ(Control("/sessions/expire", "")->status, 200);
  EXPECT_EQ(Direct("orders.zarnik.net", sheet)->body, R"({"body":{"deal_status":"No authority"}})");
  EXPECT_EQ(Direct("passport.zarnik.net", "/shop_key.php?session_id=" + session)->body, "\"bad request!\"");
  EXPECT_EQ(Direct("elsewhere.example", "/")->status, 404);
}

TEST_F(SimServerTest, TakesTheProxyFormExactlyAsTheProgramSendsIt) {
  const std::string session = LogIn();
  ASSERT_FALSE(session.empty());
  const RawExchange exchange = SendRaw(
      sim.port(), "GET http://orders.zarnik.net:80/untreatedSheet.php?shop_id=1001&session_id=" + session +
                      " HTTP/1.1\r\nHost: orders.zarnik.net\r\nUser-Agent: " + kUserAgent +
                      "\r\nProxy-Connection: Keep-Alive\r\nConnection: close\r\n\r\n");
  ASSERT_TRUE(exchange.connected);
  EXPECT_EQ(exchange.received.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << exchange.received;
  const std::size_t body = exchange.received.find("\r\n\r\n");
  ASSERT_NE(body, std::string::npos);
  EXPECT_EQ(exchange.received.substr(body + 4), R"({"body":{"deal_status":"treated"}})");
}

TEST_F(SimServerTest, ControlInterfaceChangesTheServiceAndRefusesBadCalls) {
  const struct {
    const char* name;
    const char* method;
    const char* path;
    const char* form;
    int status;
  } rows[] = {
      {"add a shop", "POST", "/shop", "account=%E5%BA%97&password=x%2By&shop_id=2002", 200},
      {"same account again", "POST", "/shop", "account=%E5%BA%97&password=z&shop_id=3003", 409},
      {"shop without id", "POST", "/shop", "account=a&password=b", 400},
      {"password change", "POST", "/password", "account=shop01&password=new", 200},
      {"password of nobody", "POST", "/password", "account=ghost&password=new", 404},
      {"entry for the new shop", "POST", "/entry/add", "category=liuyan&entry=L-1&shop_id=2002", 200},
      {"entry, bad category", "POST", "/entry/add", "category=parcel&entry=P", 400},
      {"entry not UTF-8", "POST", "/entry/add", "category=web&entry=%FF", 400},
      {"entry, unknown shop", "POST", "/entry/add", "category=web&entry=X&shop_id=9", 404},
      {"fault, bad host", "POST", "/fault", "host=sim.control&kind=slow", 400},
      {"fault, bad kind", "POST", "/fault", "host=order&kind=%FF", 400},
      {"state by POST", "POST", "/state", "", 405},
      {"change by GET", "GET", "/shop", "", 405},
      {"unknown path", "GET", "/reboot", "", 404},
  };
  for (const auto& row : rows) {
    const auto reply = std::string(row.method) == "POST" ? Control(row.path, row.form)
                                                         : Client()->Get(row.path, {{"Host", "sim.control"}});
    ASSERT_TRUE(reply) << row.name;
    EXPECT_EQ(reply->status, row.status) << row.name << ": " << reply->body;
    EXPECT_EQ(ParseJson(reply->body)["ok"].asBool(), row.status == 200) << row.name;
  }
  const auto new_login = Proxied("http://passport.zarnik.net/shop_login.php?name=%E5%BA%97&pwd=x%2By");
  ASSERT_TRUE(new_login);
  EXPECT_EQ(ParseJson(new_login->body)["body"]["shop_id"].asString(), "2002");

  // curl -X POST sends no body and no length at all.
  const RawExchange bare = SendRaw(sim.port(),
                                   "POST http://sim.control/entry/treat?shop_id=2002 HTTP/1.1\r\nHost: sim.control\r\n"
                                   "Connection: close\r\n\r\n");
  EXPECT_NE(bare.received.find("\"treated 1\""), std::string::npos) << bare.received;

  const auto state = Client()->Get("/state", {{"Host", "sim.control"}});
  ASSERT_TRUE(state);
  const Json::Value json = ParseJson(state->body);
  ASSERT_EQ(json["shops"].size(), 2u);
  EXPECT_EQ(json["shops"][0]["password"].asString(), "new");
  EXPECT_EQ(json["shops"][1]["account"].asString(), "店");
  EXPECT_EQ(json["shops"][1]["pending"]["liuyan"].size(), 0u);
  EXPECT_EQ(json["hosts"]["order"].asString(), "orders.zarnik.net");
}

TEST_F(SimServerTest, FaultsDistortTheRepliesOfTheirHost) {
  const std::string fail = R"({"body":{"login_status":"fail"}})";
  const std::string login = "http://passport.zarnik.net/shop_login.php?name=x&pwd=y";
  const struct {
    const char* name;
    const char* form;
    bool answered;  // false: the client sees no complete reply
    int status;
    std::string body;  // empty: not compared
  } rows[] = {
      {"server error", "kind=error500", true, 500, ServerErrorPage()},
      {"garbage", "kind=garbage", true, 200, GarbageBody()},
      {"zero byte in the middle", "kind=nul", true, 200, WithZeroByte(fail, std::nullopt)},
      {"zero byte after the reply", "kind=nul&offset=1000", true, 200, fail + std::string(1, '\0')},
      {"huge", "kind=huge&size=3000000", true, 200, fail + std::string(3000000 - fail.size(), ' ')},
      {"truncated", "kind=truncate", false, 0, ""},
      {"refused", "kind=refuse", false, 0, ""},
      {"slow", "kind=slow&delay_ms=200", true, 200, fail},
  };
  for (const auto& row : rows) {
    ASSERT_EQ(Control("/fault", std::string("host=auth&times=1&") + row.form)->status, 200) << row.name;
    const auto before = std::chrono::steady_clock::now();
    const auto reply = Proxied(login);
    const auto took = std::chrono::steady_clock::now() - before;
    EXPECT_EQ(static_cast<bool>(reply), row.answered) << row.name;
    if (reply && row.answered) {
      EXPECT_EQ(reply->status, row.status) << row.name;
      if (!row.body.empty()) {
        EXPECT_TRUE(reply->body == row.body) << row.name << ": " << reply->body.size() << " bytes";
      }
    }
    if (std::string(row.name) == "slow") {
      EXPECT_GE(took, std::chrono::milliseconds(200));
    }
    const auto after = Proxied(login);
    ASSERT_TRUE(after) << row.name << ": times=1 lasts one request";
    EXPECT_EQ(after->body, fail) << row.name;
  }

  ASSERT_EQ(Control("/fault", "host=orders.zarnik.net&kind=error500&path=/other.php")->status, 200);
  EXPECT_EQ(Direct("orders.zarnik.net", "/untreatedSheet.php")->status, 200) << "the fault is for another path";
  ASSERT_EQ(Control("/fault", "host=order&kind=error500")->status, 200);
  EXPECT_EQ(Direct("orders.zarnik.net", "/untreatedSheet.php")->status, 500);
  EXPECT_EQ(Direct("orders.zarnik.net", "/untreatedSheet.php")->status, 500) << "times=0 lasts";
  EXPECT_EQ(Direct("passport.zarnik.net", "/shop_login.php")->status, 200) << "other hosts work";
  ASSERT_EQ(Control("/fault/clear", "")->status, 200);
  EXPECT_EQ(Direct("orders.zarnik.net", "/untreatedSheet.php")->status, 200);
}

TEST_F(SimServerTest, RequestLogRecordsServiceRequestsOnly) {
  const auto start_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
  ASSERT_TRUE(Direct("passport.zarnik.net", "/shop_login.php?name=a&pwd=b"));
  ASSERT_EQ(Control("/fault", "host=order&kind=garbage&times=1")->status, 200);
  ASSERT_TRUE(Proxied("http://orders.zarnik.net:80/untreatedSheet.php?shop_id=1&session_id=2"));
  ASSERT_TRUE(Direct("nowhere.example", "/x"));

  const auto reply = Client()->Get("/log", {{"Host", "sim.control"}});
  ASSERT_TRUE(reply);
  const Json::Value log = ParseJson(reply->body);
  const Json::Value& entries = log["entries"];
  ASSERT_EQ(entries.size(), 3u) << reply->body;
  const struct {
    const char* host;
    const char* role;
    const char* target;
    bool proxied;
    const char* fault;
  } expected[] = {
      {"passport.zarnik.net", "auth", "/shop_login.php?name=a&pwd=b", false, ""},
      {"orders.zarnik.net", "order", "/untreatedSheet.php?shop_id=1&session_id=2", true, "garbage"},
      {"nowhere.example", "unknown", "/x", false, ""},
  };
  for (Json::ArrayIndex i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i]["method"].asString(), "GET") << i;
    EXPECT_EQ(entries[i]["host"].asString(), expected[i].host) << i;
    EXPECT_EQ(entries[i]["role"].asString(), expected[i].role) << i;
    EXPECT_EQ(entries[i]["target"].asString(), expected[i].target) << i;
    EXPECT_EQ(entries[i]["proxied"].asBool(), expected[i].proxied) << i;
    EXPECT_EQ(entries[i]["fault"].asString(), expected[i].fault) << i;
    EXPECT_EQ(entries[i]["user_agent"].asString(), kUserAgent) << i;
    EXPECT_GE(entries[i]["time_ms"].asInt64(), start_ms) << i;
    EXPECT_LT(entries[i]["time_ms"].asInt64(), start_ms + 60000) << i;
  }
  const std::string since = std::to_string(entries[1]["seq"].asUInt64());
  const auto newer = Client()->Get(("/log?since=" + since).c_str(), {{"Host", "sim.control"}});
  ASSERT_TRUE(newer);
  EXPECT_EQ(ParseJson(newer->body)["entries"].size(), 1u);
  ASSERT_EQ(Control("/log/clear", "")->status, 200);
  EXPECT_EQ(ParseJson(Client()->Get("/log", {{"Host", "sim.control"}})->body)["entries"].size(), 0u);
}

TEST_F(SimServerTest, ConcurrentLogInsGetDistinctSessions) {
  std::vector<std::vector<std::string>> sessions(4);
  std::vector<std::thread> clients;
  for (auto& mine : sessions) {
    clients.emplace_back([this, &mine] {
      for (int i = 0; i < 25; ++i) mine.push_back(LogIn());
    });
  }
  for (auto& client : clients) client.join();
  std::set<std::string> distinct;
  for (const auto& mine : sessions) {
    for (const std::string& session : mine) {
      EXPECT_EQ(session.size(), 32u);
      distinct.insert(session);
    }
  }
  EXPECT_EQ(distinct.size(), 100u);
}

TEST_F(SimServerTest, StopEndsASlowReplyAtOnce) {
  ASSERT_EQ(Control("/fault", "host=auth&kind=slow&delay_ms=120000")->status, 200);
  std::thread waiting([this] { Proxied("http://passport.zarnik.net/shop_login.php"); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto before = std::chrono::steady_clock::now();
  sim.server().Stop();
  waiting.join();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10));
}
