// HttpGet over the real WinHTTP against a scripted server on loopback, and
// the rules that turn the user's proxy settings into the session's access.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "service/http_request_win.h"
#include "service/http_transport_win.h"
#include "service/request_paths.h"
#include "tests/win/browser_proxy_settings.h"
#include "tests/win/loopback_http_server.h"
#include "text/wide_text_win.h"

namespace {

using namespace std::chrono_literals;

constexpr char kExpectedUserAgent[] = "Mozilla/4.0.(compatible;.MSIE.6..Windows.NT.5..SV1;..NET.CLR.1.1.4322)";
// What HttpGet must leave alone when it reports a broken body.
constexpr char kUntouched[] = "untouched";

std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

struct Exchange {
  bool connected = false;
  bool result = false;
  std::string body = kUntouched;
};

// One request as every caller makes it: connect, HttpGet, close.
Exchange GetOnce(INTERNET_PORT port, const std::wstring& path) {
  Exchange exchange;
  UniqueInternet connection(::WinHttpConnect(TheHttpSession(), L"127.0.0.1", port, 0));
  exchange.connected = static_cast<bool>(connection);
  if (connection) exchange.result = HttpGet(connection.get(), L"http://127.0.0.1", path.c_str(), exchange.body);
  return exchange;
}

// Runs first, while this process has no session yet.
TEST(GetFromHostWithoutSession, ReportsNoConnection) {
  if (TheHttpSession()) GTEST_SKIP() << "a session was opened earlier in this process";
  LoopbackHttpServer server;
  ASSERT_TRUE(server.Listening());
  const HttpReply reply = GetFromHost(L"127.0.0.1", server.Port(), u"/never-sent");
  EXPECT_EQ(reply.status, HttpReply::Status::ConnectFailed);
  EXPECT_TRUE(server.Requests().empty());
}

// Each suite opens the session with the proxy settings it needs, whatever
// another test program left in the prefix: direct connections here. The
// program opens one session per process and never closes it; a suite that
// opens another leaves the previous one open.
class HttpTransportTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { OpenSessionWith(BrowserProxySettings{}); }
  static void TearDownTestSuite() { settings_.reset(); }

  static void OpenSessionWith(const BrowserProxySettings& settings) {
    settings_.reset();
    settings_ = std::make_unique<ScopedBrowserProxySettings>(settings);
    sessionOpened_ = settings_->Written() && OpenHttpSession();
  }

  void SetUp() override {
    ASSERT_TRUE(sessionOpened_);
    ASSERT_TRUE(server_.Listening());
  }

  static std::unique_ptr<ScopedBrowserProxySettings> settings_;
  static bool sessionOpened_;
  LoopbackHttpServer server_;
};

std::unique_ptr<ScopedBrowserProxySettings> HttpTransportTest::settings_;
bool HttpTransportTest::sessionOpened_ = false;

TEST_F(HttpTransportTest, EachReplyGivesItsResultAndBody) {
  const std::string binary("{\"a\":\0\xFF\xFE\x80}", 10);
  const struct {
    const char* name;
    ScriptedReply reply;
    bool result;
    std::string body;
  } rows[] = {
      {"plain body", PlainReply(200, R"({"body":{"login_status":"success"}})"), true,
       R"({"body":{"login_status":"success"}})"},
      {"chunks joined in order", ChunkedReply({"{\"bo", "dy\":{\"x\"", ":1}}"}, 150ms), true, "{\"body\":{\"x\":1}}"},
      {"404 with a body", PlainReply(404, "<html>not here</html>"), true, "<html>not here</html>"},
      {"500 with a body", PlainReply(500, "server broke"), true, "server broke"},
      {"empty body", PlainReply(200, ""), true, ""},
      {"bytes kept as they came", PlainReply(200, binary), true, binary},
      {"dropped in the middle of the body", ReplyDroppedMidBody("{\"body\":{\"log", 400), false, kUntouched},
  };
  for (const auto& row : rows) {
    server_.Enqueue(row.reply);
    const Exchange exchange = GetOnce(server_.Port(), L"/reply");
    ASSERT_TRUE(exchange.connected) << row.name;
    EXPECT_EQ(exchange.result, row.result) << row.name;
    EXPECT_EQ(exchange.body, row.body) << row.name;
  }
  EXPECT_EQ(server_.Requests().size(), std::size(rows)) << "one request per call, nothing retried";
}

TEST_F(HttpTransportTest, GetFromHostTellsBodyFromNoBody) {
  const struct {
    const char* name;
    std::optional<ScriptedReply> reply;  // none: nothing listens on the port
    HttpReply::Status status;
    std::string body;
  } rows[] = {
      {"body", PlainReply(404, "gone"), HttpReply::Status::Body, "gone"},
      {"empty body", PlainReply(200, ""), HttpReply::Status::NoBody, ""},
      {"dropped mid-body", ReplyDroppedMidBody("{\"bo", 50), HttpReply::Status::NoBody, ""},
      {"closed port", std::nullopt, HttpReply::Status::NoBody, ""},
  };
  const INTERNET_PORT closed = UnusedLoopbackPort();
  for (const auto& row : rows) {
    if (row.reply) server_.Enqueue(*row.reply);
    const HttpReply reply = GetFromHost(L"127.0.0.1", row.reply ? server_.Port() : closed, u"/get");
    EXPECT_EQ(reply.status, row.status) << row.name;
    EXPECT_EQ(reply.body, row.body) << row.name;
  }
}

TEST_F(HttpTransportTest, ChunkedBodyIsOneTextEndingAtItsLength) {
  const std::vector<std::string> chunks = {std::string(3000, 'a'), std::string(5000, 'b'), std::string(1, 'c'),
                                           std::string(7000, 'd')};
  server_.Enqueue(ChunkedReply(chunks, 120ms));
  const auto start = std::chrono::steady_clock::now();
  const Exchange exchange = GetOnce(server_.Port(), L"/chunks");
  const auto elapsed = std::chrono::steady_clock::now() - start;
  ASSERT_TRUE(exchange.result);
  std::string joined;
  for (const std::string& chunk : chunks) joined += chunk;
  ASSERT_EQ(exchange.body.size(), joined.size());
  EXPECT_EQ(exchange.body, joined);
  // Callers write their terminator at index length and read the body as text.
  EXPECT_EQ(std::strlen(exchange.body.c_str()), joined.size());
  EXPECT_GE(elapsed, 3 * 120ms) << "the chunks came one by one";
}

TEST_F(HttpTransportTest, UnreachablePortGivesAnEmptyBodyAndSuccess) {
  const Exchange exchange = GetOnce(UnusedLoopbackPort(), L"/nobody");
  ASSERT_TRUE(exchange.connected) << "connecting makes no network traffic yet";
  EXPECT_TRUE(exchange.result);
  EXPECT_EQ(exchange.body, "");
}

TEST_F(HttpTransportTest, RequestCarriesTheUserAgentAndThePathAsGiven) {
  const std::u16string path = BuildLoginPath(u"店a&b=c d", u"p%w#1");
  ASSERT_FALSE(path.empty());
  server_.Enqueue(PlainReply(200, "{}"));
  const Exchange exchange = GetOnce(server_.Port(), AsWide(path.c_str()));
  ASSERT_TRUE(exchange.result);
  const std::vector<RecordedRequest> requests = server_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].requestLine, "GET " + Narrow(path) + " HTTP/1.1");
  EXPECT_EQ(requests[0].Header("User-Agent"), std::optional<std::string>(kExpectedUserAgent));
  EXPECT_EQ(requests[0].Header("Host"), "127.0.0.1:" + std::to_string(server_.Port()));
}

// With automatic detection on, every request first asks for a proxy.
class HttpTransportAutoDetectTest : public HttpTransportTest {
 protected:
  static void SetUpTestSuite() {
    BrowserProxySettings autoDetect;
    autoDetect.flags = kProxyDirect | kProxyAutoDetect;
    OpenSessionWith(autoDetect);
  }
};

TEST_F(HttpTransportAutoDetectTest, FailedProxyLookupDoesNotStopTheRequest) {
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG seen = {};
  ASSERT_TRUE(::WinHttpGetIEProxyConfigForCurrentUser(&seen));
  ASSERT_TRUE(seen.fAutoDetect);
  // This machine offers no proxy configuration to discover.
  WINHTTP_AUTOPROXY_OPTIONS options = {};
  options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
  options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
  WINHTTP_PROXY_INFO found = {};
  ASSERT_FALSE(::WinHttpGetProxyForUrl(TheHttpSession(), L"http://127.0.0.1", &options, &found));

  server_.Enqueue(PlainReply(200, "came through"));
  const Exchange exchange = GetOnce(server_.Port(), L"/after-lookup");
  EXPECT_TRUE(exchange.result);
  EXPECT_EQ(exchange.body, "came through");
  EXPECT_EQ(server_.Requests().size(), 1u);
}

TEST(ProxyRules, SessionAccessFollowsTheUserSettings) {
  wchar_t proxy[] = L"proxy.example:8080";
  wchar_t bypass[] = L"<local>";
  wchar_t script[] = L"http://config.example/proxy.pac";
  const struct {
    const char* name;
    bool read;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG settings;
    DWORD accessType;
    const wchar_t* proxy;
    const wchar_t* bypass;
    DWORD lookupFlags;
  } rows[] = {
      {"settings unreadable: the record is ignored",
       false,
       {TRUE, script, proxy, bypass},
       WINHTTP_ACCESS_TYPE_NO_PROXY,
       nullptr,
       nullptr,
       WINHTTP_AUTOPROXY_AUTO_DETECT | WINHTTP_AUTOPROXY_CONFIG_URL},
      {"auto-detect with script and proxy",
       true,
       {TRUE, script, proxy, bypass},
       WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
       nullptr,
       nullptr,
       WINHTTP_AUTOPROXY_AUTO_DETECT | WINHTTP_AUTOPROXY_CONFIG_URL},
      {"auto-detect alone",
       true,
       {TRUE, nullptr, nullptr, nullptr},
       WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
       nullptr,
       nullptr,
       WINHTTP_AUTOPROXY_AUTO_DETECT},
      {"manual proxy and bypass",
       true,
       {FALSE, nullptr, proxy, bypass},
       WINHTTP_ACCESS_TYPE_NAMED_PROXY,
       proxy,
       bypass,
       0},
      {"manual proxy, no bypass",
       true,
       {FALSE, nullptr, proxy, nullptr},
       WINHTTP_ACCESS_TYPE_NAMED_PROXY,
       proxy,
       nullptr,
       0},
      {"manual proxy beside an unused script",
       true,
       {FALSE, script, proxy, nullptr},
       WINHTTP_ACCESS_TYPE_NAMED_PROXY,
       proxy,
       nullptr,
       0},
      {"script alone", true, {FALSE, script, nullptr, nullptr}, WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0},
      {"bypass alone", true, {FALSE, nullptr, nullptr, bypass}, WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0},
      {"nothing set", true, {FALSE, nullptr, nullptr, nullptr}, WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0},
  };
  for (const auto& row : rows) {
    const SessionAccess access = ChooseSessionAccess(row.read, row.settings);
    EXPECT_EQ(access.accessType, row.accessType) << row.name;
    EXPECT_EQ(access.proxy, row.proxy) << row.name;
    EXPECT_EQ(access.bypass, row.bypass) << row.name;
    EXPECT_EQ(ProxyLookupFlags(row.settings), row.lookupFlags) << row.name;
  }
}

}  // namespace
