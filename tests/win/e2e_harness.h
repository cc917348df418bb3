#pragma once
// What every end-to-end scenario needs: zarnik-sim's control interface, the
// installed exe started in the test prefix (whose browser proxy and browser
// the Wine fixtures point at the simulator and at the URL log that
// MORVANE_URL_LOG names), a recording taskbar, and the registry values the
// program keeps.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <json/reader.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "service/http_transport_win.h"
#include "service/service_hosts.h"
#include "shell_tray_recorder.h"
#include "window_driver.h"
#include "win32/handles.h"

constexpr DWORD kCycleMs = 30000;
constexpr wchar_t kDialogClass[] = L"#32770";
constexpr wchar_t kCredentialsKey[] = L"Software\\Trevolt\\Orvent";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The names, paths and addresses exchanged with the simulator are ASCII.
inline std::wstring Wide(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

// gtest's messages carry wide text as UTF-8.
inline std::string Utf8(const std::wstring& text) { return (::testing::Message() << text).GetString(); }

// One request the service hosts received, as the simulator logged it: seq,
// time_ms (arrival, milliseconds since 1970), role ("auth", "order",
// "console"), path (without the query), params (decoded), proxied,
// user_agent and fault.
struct SimRequest {
  Json::Value entry;
  std::uint64_t seq = 0;
  std::string Param(const std::string& name) const { return entry["params"].get(name, "(none)").asString(); }
};
using RequestFilter = bool (*)(const SimRequest&);
inline bool Is(const SimRequest& r, const char* role, const char* path) {
  return r.entry["role"] == role && r.entry["path"] == path;
}
inline bool IsLogIn(const SimRequest& r) { return Is(r, "auth", "/shop_login.php"); }
inline bool IsPoll(const SimRequest& r) { return Is(r, "order", "/untreatedSheet.php"); }
inline bool IsKeyRequest(const SimRequest& r) { return Is(r, "auth", "/shop_key.php"); }

// A request to an absolute http URL through the prefix's browser proxy (the
// simulator), on the program's own session: a GET as the browser would, or
// another verb.
inline std::optional<std::pair<DWORD, std::string>> Browse(const std::string& url, const wchar_t* verb = L"GET") {
  static const bool opened = OpenHttpSession();
  const size_t slash = url.find('/', 7);
  // Each call fails on the null handle of a step that failed.
  const UniqueInternet connection(
      ::WinHttpConnect(opened ? TheHttpSession() : nullptr, Wide(url.substr(7, slash - 7)).c_str(), 80, 0));
  const UniqueInternet request(
      ::WinHttpOpenRequest(connection.get(), verb, Wide(url.substr(slash)).c_str(), nullptr, nullptr, nullptr, 0));
  if (!request || !::WinHttpSendRequest(request.get(), nullptr, 0, nullptr, 0, 0, 0) ||
      !::WinHttpReceiveResponse(request.get(), nullptr))
    return std::nullopt;
  std::pair<DWORD, std::string> page;
  DWORD size = sizeof(page.first);
  ::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, nullptr, &page.first,
                        &size, nullptr);
  char chunk[8192];
  for (DWORD read = 0; ::WinHttpReadData(request.get(), chunk, sizeof(chunk), &read) && read > 0;)
    page.second.append(chunk, read);
  return page;
}

// GET or POST (with fields in the query, every byte percent-encoded) to the
// simulator's control host; the answer as JSON, null when there is none.
inline Json::Value SimCall(const std::string& path, const std::vector<std::pair<std::string, std::string>>& form = {},
                           bool post = true) {
  std::string query;
  for (const auto& [name, value] : form) {
    query += (query.empty() ? "?" : "&") + name + "=";
    for (unsigned char c : value) query += {'%', "0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15]};
  }
  const auto page = Browse("http://sim.control" + path + query, post ? L"POST" : L"GET");
  Json::Value answer;
  if (!page || !Json::Reader().parse(page->second, answer)) return Json::Value();
  EXPECT_TRUE(answer.get("ok", !post).asBool()) << path << ": " << page->second;  // a read answers no "ok"
  return answer;
}

// The logged requests after seq that pass the filter, oldest first.
inline std::vector<SimRequest> RequestsSince(std::uint64_t seq, RequestFilter filter) {
  std::vector<SimRequest> requests;
  const Json::Value log = SimCall("/log?since=" + std::to_string(seq), {}, false);
  for (const Json::Value& entry : log["entries"]) {
    const SimRequest r{entry, entry["seq"].asUInt64()};
    if (!filter || filter(r)) requests.push_back(r);
  }
  return requests;
}

inline std::uint64_t LogMark() {
  const std::vector<SimRequest> all = RequestsSince(0, nullptr);
  return all.empty() ? 0 : all.back().seq;
}

inline std::optional<SimRequest> WaitForRequest(std::uint64_t seq, RequestFilter filter, DWORD timeoutMs) {
  std::vector<SimRequest> found;
  if (WaitUntil([&] { return !(found = RequestsSince(seq, filter)).empty(); }, timeoutMs)) return found.front();
  return std::nullopt;
}

// HKEY_CURRENT_USER values: the type and the bytes.
using RegValue = std::pair<DWORD, std::vector<std::uint8_t>>;

inline std::optional<RegValue> ReadValue(const wchar_t* key, const wchar_t* name) {
  RegValue value{REG_NONE, std::vector<std::uint8_t>(4096)};
  DWORD size = 4096;
  if (::RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_ANY | RRF_NOEXPAND, &value.first, value.second.data(), &size))
    return std::nullopt;
  value.second.resize(size);
  return value;
}

inline void WriteValue(const wchar_t* key, const wchar_t* name, const RegValue& value) {
  const DWORD size = static_cast<DWORD>(value.second.size());
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, key, name, value.first, value.second.data(), size), ERROR_SUCCESS);
}

inline RegValue Text(const std::wstring& text, DWORD type = REG_SZ) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.c_str());
  return {type, std::vector<std::uint8_t>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t))};
}

// The copy that this build's set-up installed, where the user's environment places it.
inline std::wstring ProgramPath() {
  return _wgetenv(L"LOCALAPPDATA") + std::wstring(L"\\Programs\\Morvane\\morvane.exe");
}

// The addresses the program gave the prefix's browser, oldest first.
inline std::vector<std::string> OpenedUrls() {
  std::ifstream file(_wgetenv(L"MORVANE_URL_LOG"));
  std::vector<std::string> urls;
  for (std::string line; std::getline(file, line);) urls.push_back(line);
  return urls;
}

inline std::string ConsoleUrl(const char* pathAndQuery) {
  return "http://" + std::string(std::begin(MORVANE_CONSOLE_HOST), std::end(MORVANE_CONSOLE_HOST) - 1) + pathAndQuery;
}

// The texts of the balloons (NIF_INFO) or tooltips (NIF_TIP) sent, in order.
inline std::vector<std::wstring> Notified(ShellTrayRecorder& shell, UINT flag) {
  std::vector<std::wstring> texts;
  for (const TrayNotification& n : shell.Notifications())
    if (n.flags & flag) texts.push_back(flag == NIF_TIP ? n.tip : n.info);
  return texts;
}

inline bool WaitForBalloon(ShellTrayRecorder& shell, const std::wstring& text, DWORD timeoutMs) {
  return shell.WaitFor([&](const TrayNotification& n) { return (n.flags & NIF_INFO) && n.info == text; },
                       std::chrono::milliseconds(timeoutMs));
}

// morvane.exe (or a copy) started, found by its main window, which is never
// shown; one copy runs at a time.
class MorvaneRun : public StartedProgram {
 public:
  explicit MorvaneRun(const std::wstring& exe) : StartedProgram(exe) {
    WaitUntil([&] { return (mainWindow_ = ::FindWindowW(L"Dovrel", nullptr)) != nullptr; }, 20000);
  }
  HWND MainWindow() const { return mainWindow_; }
  void Command(WORD id) const { ::PostMessageW(mainWindow_, WM_COMMAND, id, 0); }

 private:
  HWND mainWindow_ = nullptr;
};

// One simulator shop and a taskbar that records, per scenario.
class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(_wgetenv(L"MORVANE_URL_LOG"), nullptr) << "no URL log named";
    ASSERT_FALSE(SimCall("/fault/clear").isNull()) << "no simulator";
    SimCall("/shop", {{"account", account_}, {"password", Utf8(password_)}, {"shop_id", shopId_}});
    ::DeleteFileW(_wgetenv(L"MORVANE_URL_LOG"));
    shell_ = std::make_unique<ShellTrayRecorder>();
  }
  void TearDown() override { SimCall("/fault/clear"); }
  std::string account_ = "shop-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(::GetTickCount());
  std::string shopId_ = "id-" + account_;
  // Characters that must travel percent-encoded in the log-in query, and
  // the password as stored: each of its UTF-16LE bytes raised by one.
  std::wstring password_ = L"p&w=d +密";
  RegValue storedPassword_{
      REG_BINARY, {0x71, 0x01, 0x27, 0x01, 0x78, 0x01, 0x3E, 0x01, 0x65, 0x01, 0x21, 0x01, 0x2C, 0x01, 0xC7, 0x5C}};
  std::unique_ptr<ShellTrayRecorder> shell_;
};
