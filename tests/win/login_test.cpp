// The log-in over the real WinHTTP against a scripted authentication host on
// loopback: LoginToService with a platform that names the server, and the
// settings dialog's Test button on the program's own dialog, whose requests
// go to the configured host and reach the server as the user's proxy.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/service_platform_win.h"
#include "res/resource_ids.h"
#include "service/http_transport_win.h"
#include "service/login.h"
#include "service/service_hosts.h"
#include "service/test_login_win.h"
#include "tests/win/browser_proxy_settings.h"
#include "tests/win/loopback_http_server.h"
#include "text/wide_text_win.h"
#include "win32/handles.h"

namespace {

const std::string kSuccess = R"({"body":{"login_status":"success","session_id":"S-77","shop_id":"shop 5"}})";
const std::string kFail = R"({"body":{"login_status":"fail"}})";

std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

void SetCredentials(ShopCredentials& credentials, const std::u16string& account, const std::u16string& password) {
  CredentialPair pair;
  pair.exists = true;
  account.copy(pair.account, kCredentialCapacity - 1);
  password.copy(pair.password, kCredentialCapacity - 1);
  WriteCredentials(credentials, pair);
}

void SetIds(SessionState& state, const std::u16string& session_id, const std::u16string& shop_id) {
  SessionIds ids;
  session_id.copy(ids.session_id, kIdentifierCapacity - 1);
  shop_id.copy(ids.shop_id, kIdentifierCapacity - 1);
  StoreSessionIds(state, ids);
}

// The path of a request that came through the proxy, which names the host
// in the request line: "GET http://host[:80]/path HTTP/1.1".
std::optional<std::string> ProxiedPath(const RecordedRequest& request, const std::string& host) {
  std::string line = request.requestLine;
  const std::string start = "GET http://" + host;
  const std::string end = " HTTP/1.1";
  if (line.compare(0, start.size(), start) != 0 || line.size() < start.size() + end.size() ||
      line.compare(line.size() - end.size(), end.size(), end) != 0) {
    return std::nullopt;
  }
  line = line.substr(start.size(), line.size() - start.size() - end.size());
  if (line.compare(0, 3, ":80") == 0) line.erase(0, 3);
  return line;
}

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// One server and one session for the whole program, as the program has one
// session: the server is reached directly by the tests that name it, and as
// the user's proxy by everything else, since TestLogin asks for the
// configured authentication host, which cannot be resolved here. Both end
// with the program, which puts back the proxy settings.
class LoginTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (server_) return;
    server_ = std::make_unique<LoopbackHttpServer>();
    if (!server_->Listening()) return;
    BrowserProxySettings settings;
    settings.flags = kProxyDirect | kProxyManual;
    settings.proxy = "127.0.0.1:" + std::to_string(server_->Port());
    settings.bypass = "127.0.0.1";
    proxySettings_ = std::make_unique<ScopedBrowserProxySettings>(settings);
    sessionOpened_ = proxySettings_->Written() && OpenHttpSession();
  }
  void SetUp() override {
    ASSERT_TRUE(server_->Listening());
    ASSERT_TRUE(sessionOpened_);
    server_->ClearRequests();
  }

  static Win32ServicePlatform PlatformAt(INTERNET_PORT port) {
    return Win32ServicePlatform({L"127.0.0.1", port}, {L"127.0.0.1", port});
  }

  static std::unique_ptr<LoopbackHttpServer> server_;
  static std::unique_ptr<ScopedBrowserProxySettings> proxySettings_;
  static bool sessionOpened_;
};

std::unique_ptr<LoopbackHttpServer> LoginTest::server_;
std::unique_ptr<ScopedBrowserProxySettings> LoginTest::proxySettings_;
bool LoginTest::sessionOpened_ = false;

TEST_F(LoginTest, EachReplyGivesItsCodeAndOnlySuccessStoresTheIdentifiers) {
  const INTERNET_PORT closed = UnusedLoopbackPort();
  const struct {
    const char* name;
    std::optional<ScriptedReply> reply;  // none: nothing listens on the port
    LoginResult code;
    std::u16string session_id;
    std::u16string shop_id;
  } rows[] = {
      {"success", PlainReply(200, kSuccess), LoginOk, u"S-77", u"shop 5"},
      {"success in chunks", ChunkedReply({kSuccess.substr(0, 20), kSuccess.substr(20)}, std::chrono::milliseconds(100)),
       LoginOk, u"S-77", u"shop 5"},
      {"success under an error status", PlainReply(500, kSuccess), LoginOk, u"S-77", u"shop 5"},
      {"rejected", PlainReply(200, kFail), LoginRejected, u"old", u"old shop"},
      {"empty body", PlainReply(200, ""), LoginNetworkError, u"old", u"old shop"},
      {"closed port", std::nullopt, LoginNetworkError, u"old", u"old shop"},
      {"dropped mid-body", ReplyDroppedMidBody(kSuccess.substr(0, 30), kSuccess.size()), LoginNetworkError, u"old",
       u"old shop"},
      {"not JSON", PlainReply(404, "<html>Not Found</html>"), LoginDataError, u"old", u"old shop"},
      {"body null", PlainReply(200, R"({"body":null})"), LoginDataError, u"old", u"old shop"},
  };
  for (const auto& row : rows) {
    server_->ClearRequests();
    if (row.reply) server_->Enqueue(*row.reply);
    Win32ServicePlatform platform = PlatformAt(row.reply ? server_->Port() : closed);
    ShopCredentials credentials;
    SetCredentials(credentials, u"shop", u"secret");
    SessionState state;
    SetIds(state, u"old", u"old shop");

    EXPECT_EQ(LoginToService(platform, credentials, state), row.code) << row.name;
    const SessionIds ids = ReadSessionIds(state);
    EXPECT_EQ(std::u16string(ids.session_id), row.session_id) << row.name;
    EXPECT_EQ(std::u16string(ids.shop_id), row.shop_id) << row.name;
    EXPECT_EQ(server_->Requests().size(), row.reply ? 1u : 0u) << row.name << ": one request, no retry";
  }
}

TEST_F(LoginTest, RequestCarriesTheEncodedAccountAndPassword) {
  server_->Enqueue(PlainReply(200, kSuccess));
  Win32ServicePlatform platform = PlatformAt(server_->Port());
  ShopCredentials credentials;
  SetCredentials(credentials, u"网点 a&b=c", u"p w%#");
  SessionState state;
  ASSERT_EQ(LoginToService(platform, credentials, state), LoginOk);
  const std::vector<RecordedRequest> requests = server_->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].requestLine,
            "GET /shop_login.php?name=%E7%BD%91%E7%82%B9%20a%26b%3Dc&pwd=p%20w%25%23 HTTP/1.1");
  EXPECT_EQ(requests[0].Header("Host"), "127.0.0.1:" + std::to_string(server_->Port()));
}

TEST_F(LoginTest, MissingPasswordSendsNothing) {
  Win32ServicePlatform platform = PlatformAt(server_->Port());
  ShopCredentials credentials;
  SetCredentials(credentials, u"shop", u"");
  SessionState state;
  EXPECT_EQ(LoginToService(platform, credentials, state), LoginNoCredentials);
  EXPECT_TRUE(server_->Requests().empty());
}

// The settings dialog from the program's resources, with a procedure that
// does nothing, so that only TestLogin acts on it.
class TestLoginTest : public LoginTest {
 protected:
  void SetUp() override {
    LoginTest::SetUp();
    dialog_.reset(
        ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SETTINGS), nullptr, PlainDialogProc, 0));
    ASSERT_TRUE(dialog_);
  }

  std::wstring StatusText() {
    wchar_t text[256] = {};
    ::GetDlgItemTextW(dialog_.get(), IDC_STATUS, text, 256);
    return text;
  }

  UniqueWindow dialog_;
};

TEST_F(TestLoginTest, WritesTheVerdictOfTheRealExchangeAndStoresNothing) {
  const std::string authHost = Narrow(MORVANE_AUTH_HOST);
  const struct {
    const char* name;
    const wchar_t* account;
    const wchar_t* password;
    std::optional<ScriptedReply> reply;  // none: no request may be made
    const wchar_t* status;
    int result;
  } rows[] = {
      {"passed", L"shop", L"secret", PlainReply(200, kSuccess), L"测试通过！", 1},
      {"rejected", L"shop", L"wrong", PlainReply(200, kFail), L"用户名或密码不正确，请重试！", 0},
      {"empty body", L"shop", L"secret", PlainReply(200, ""), L"网络错误，请稍后再试！", 0},
      {"dropped mid-body", L"shop", L"secret", ReplyDroppedMidBody("{\"body\"", 200), L"网络错误，请稍后再试！", 0},
      {"not JSON", L"shop", L"secret", PlainReply(502, "<html>Bad Gateway</html>"), L"数据错误，请稍后再试！", 0},
      {"no account", L"", L"secret", std::nullopt, L"请先输入登录帐号与密码，再测试！", 0},
      {"no password", L"shop", L"", std::nullopt, L"请先输入登录帐号与密码，再测试！", 0},
  };
  SetIds(TheSessionState(), u"kept session", u"kept shop");
  TheSessionState().reloginRequested = 0;
  SetCredentials(TheShopCredentials(), u"stored", u"stored secret");

  for (const auto& row : rows) {
    server_->ClearRequests();
    if (row.reply) server_->Enqueue(*row.reply);
    ::SetDlgItemTextW(dialog_.get(), IDC_ACCOUNT, row.account);
    ::SetDlgItemTextW(dialog_.get(), IDC_PASSWORD, row.password);
    ::SetDlgItemTextW(dialog_.get(), IDC_STATUS, L"");

    EXPECT_EQ(TestLogin(dialog_.get()), row.result) << row.name;
    EXPECT_EQ(StatusText(), row.status) << row.name;
    const std::vector<RecordedRequest> requests = server_->Requests();
    ASSERT_EQ(requests.size(), row.reply ? 1u : 0u) << row.name;
    if (row.reply) {
      const std::string expectedPath =
          "/shop_login.php?name=" + Narrow(AsUtf16(row.account)) + "&pwd=" + Narrow(AsUtf16(row.password));
      EXPECT_EQ(ProxiedPath(requests[0], authHost), expectedPath) << row.name << ": " << requests[0].requestLine;
      EXPECT_EQ(requests[0].Header("Host"), authHost) << row.name;
    }

    const SessionIds ids = ReadSessionIds(TheSessionState());
    EXPECT_EQ(std::u16string(ids.session_id), u"kept session") << row.name;
    EXPECT_EQ(std::u16string(ids.shop_id), u"kept shop") << row.name;
    EXPECT_EQ(TheSessionState().reloginRequested.load(), 0) << row.name;
    const CredentialPair stored = ReadCredentials(TheShopCredentials());
    EXPECT_EQ(std::u16string(stored.account), u"stored") << row.name;
    EXPECT_EQ(std::u16string(stored.password), u"stored secret") << row.name;
  }
}

TEST_F(TestLoginTest, ReadsAtMost127CharactersOfEachField) {
  const std::wstring account(200, L'a');
  const std::wstring password = std::wstring(127, L'p') + L"XYZ";
  server_->Enqueue(PlainReply(200, kFail));
  ::SetDlgItemTextW(dialog_.get(), IDC_ACCOUNT, account.c_str());
  ::SetDlgItemTextW(dialog_.get(), IDC_PASSWORD, password.c_str());
  EXPECT_EQ(TestLogin(dialog_.get()), 0);
  const std::vector<RecordedRequest> requests = server_->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(ProxiedPath(requests[0], Narrow(MORVANE_AUTH_HOST)),
            "/shop_login.php?name=" + std::string(127, 'a') + "&pwd=" + std::string(127, 'p'));
}

}  // namespace
