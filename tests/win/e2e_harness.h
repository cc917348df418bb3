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
#include <map>
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

inline std::string Utf8(const std::wstring& text) {
  std::string utf8(text.size() * 3, '\0');
  utf8.resize(::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0],
                                    static_cast<int>(utf8.size()), nullptr, nullptr));
  return utf8;
}

// One request the service hosts received, as the simulator logged it.
struct SimRequest {
  std::uint64_t seq = 0;
  std::int64_t timeMs = 0;                    // arrival, milliseconds since 1970
  std::string role;                           // "auth", "order", "console"
  std::string path;                           // without the query
  std::map<std::string, std::string> params;  // decoded
  bool proxied = false;
  std::string userAgent;
  std::string fault;
  std::string Param(const std::string& name) const {
    const auto found = params.find(name);
    return found == params.end() ? "(none)" : found->second;
  }
};
using RequestFilter = bool (*)(const SimRequest&);
inline bool IsLogIn(const SimRequest& r) { return r.role == "auth" && r.path == "/shop_login.php"; }
inline bool IsPoll(const SimRequest& r) { return r.role == "order" && r.path == "/untreatedSheet.php"; }
inline bool IsKeyRequest(const SimRequest& r) { return r.role == "auth" && r.path == "/shop_key.php"; }

// One exchange through the prefix's browser proxy (the simulator), on the
// program's own session.
inline std::optional<std::pair<DWORD, std::string>> Exchange(const std::wstring& host, const wchar_t* verb,
                                                             const std::wstring& path, const std::string& form) {
  static const bool opened = OpenHttpSession();
  const UniqueInternet connection(opened ? ::WinHttpConnect(TheHttpSession(), host.c_str(), 80, 0) : nullptr);
  const UniqueInternet request(
      connection ? ::WinHttpOpenRequest(connection.get(), verb, path.c_str(), nullptr, nullptr, nullptr, 0) : nullptr);
  const wchar_t* header = L"Content-Type: application/x-www-form-urlencoded";
  if (!request ||
      !::WinHttpSendRequest(request.get(), header, static_cast<DWORD>(-1), const_cast<char*>(form.data()),
                            static_cast<DWORD>(form.size()), static_cast<DWORD>(form.size()), 0) ||
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

// A GET of an absolute http URL through the simulator, as the browser would.
inline std::optional<std::pair<DWORD, std::string>> Browse(const std::string& url) {
  const size_t slash = url.find('/', 7);
  return Exchange(Wide(url.substr(7, slash - 7)), L"GET", Wide(url.substr(slash)), "");
}

// GET or POST (with form fields, every byte percent-encoded) to the
// simulator's control host; the answer as JSON, null when there is none.
inline Json::Value SimCall(const std::string& path, const std::vector<std::pair<std::string, std::string>>& form = {},
                           bool post = true) {
  std::string body;
  for (const auto& [name, value] : form) {
    body += (body.empty() ? "" : "&") + name + "=";
    for (unsigned char c : value) body += {'%', "0123456789ABCDEF"[c >> 4], "0123456789ABCDEF"[c & 15]};
  }
  const auto page = Exchange(L"sim.control", post ? L"POST" : L"GET", Wide(path), body);
  Json::Value answer;
  if (!page || !Json::Reader().parse(page->second, answer)) return Json::Value();
  EXPECT_TRUE(answer.get("ok", !post).asBool()) << path << ": " << page->second;  // a read answers no "ok"
  return answer;
}

// The logged requests after seq that pass the filter, oldest first.
inline std::vector<SimRequest> RequestsSince(std::uint64_t seq, RequestFilter filter) {
  std::vector<SimRequest> requests;
  const Json::Value entries = SimCall("/log?since=" + std::to_string(seq), {}, false).get("entries", Json::Value());
  for (const Json::Value& entry : entries) {
    SimRequest r;
    r.seq = entry["seq"].asUInt64();
    r.timeMs = entry["time_ms"].asInt64();
    r.role = entry["role"].asString();
    r.path = entry["path"].asString();
    for (const std::string& name : entry["params"].getMemberNames()) r.params[name] = entry["params"][name].asString();
    r.proxied = entry["proxied"].asBool();
    r.userAgent = entry["user_agent"].asString();
    r.fault = entry["fault"].asString();
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

// HKEY_CURRENT_USER values.
struct RegValue {
  DWORD type = REG_NONE;
  std::vector<std::uint8_t> bytes;
  bool operator==(const RegValue& other) const { return type == other.type && bytes == other.bytes; }
};

inline std::optional<RegValue> ReadValue(const wchar_t* key, const wchar_t* name) {
  RegValue value{REG_NONE, std::vector<std::uint8_t>(4096)};
  DWORD size = 4096;
  if (::RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_ANY | RRF_NOEXPAND, &value.type, value.bytes.data(), &size))
    return std::nullopt;
  value.bytes.resize(size);
  return value;
}

inline void WriteValue(const wchar_t* key, const wchar_t* name, const RegValue& value) {
  const DWORD size = static_cast<DWORD>(value.bytes.size());
  ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, key, name, value.type, value.bytes.data(), size), ERROR_SUCCESS);
}

inline RegValue Text(const std::wstring& text, DWORD type = REG_SZ) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.c_str());
  return {type, std::vector<std::uint8_t>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t))};
}

// The copy that this build's set-up installed, where the user's environment places it.
inline std::wstring ProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(::ExpandEnvironmentStringsW(L"%LOCALAPPDATA%\\Programs\\Morvane\\morvane.exe", &path[0], MAX_PATH) - 1);
  return path;
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

// The balloons (NIF_INFO) or the tooltips set after the icon was added (NIF_TIP).
inline std::vector<std::wstring> Notified(ShellTrayRecorder& shell, UINT flag) {
  std::vector<std::wstring> texts;
  for (const TrayNotification& n : shell.Notifications()) {
    if (n.message == NIM_MODIFY && flag == NIF_TIP && (n.flags & NIF_TIP)) texts.push_back(n.tip);
    if (flag == NIF_INFO && (n.flags & NIF_INFO) && !n.info.empty()) texts.push_back(n.info);
  }
  return texts;
}

inline bool WaitForBalloon(ShellTrayRecorder& shell, const std::wstring& text, DWORD timeoutMs) {
  return shell.WaitFor([&](const TrayNotification& n) { return (n.flags & NIF_INFO) && n.info == text; },
                       std::chrono::milliseconds(timeoutMs));
}

// morvane.exe (or a copy) started and its icon added (unless the taskbar
// refuses icons); killed at the end if it still runs.
class MorvaneRun {
 public:
  MorvaneRun(ShellTrayRecorder& shell, const std::wstring& exe) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    std::wstring command = L"\"" + exe + L"\"";
    if (!::CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_))
      return;
    ::CloseHandle(info_.hThread);
    process_.reset(info_.hProcess);
    iconShown_ = !shell.refusing && shell.WaitFor([](const TrayNotification& n) { return n.message == NIM_ADD; },
                                                  std::chrono::seconds(20));
    // The main window is never shown; one copy runs at a time.
    WaitUntil([&] { return (mainWindow_ = ::FindWindowW(L"Dovrel", nullptr)) != nullptr; }, 5000);
  }
  ~MorvaneRun() {
    if (process_ && !WaitForExit(0)) ::TerminateProcess(process_.get(), 1);
  }
  DWORD ProcessId() const { return info_.dwProcessId; }
  HWND MainWindow() const { return mainWindow_; }
  bool IconShown() const { return iconShown_; }
  void Command(WORD id) const { ::PostMessageW(mainWindow_, WM_COMMAND, id, 0); }
  std::optional<DWORD> WaitForExit(DWORD timeoutMs) const {
    DWORD code = 0;
    if (!process_ || ::WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
    ::GetExitCodeProcess(process_.get(), &code);
    return code;
  }

 private:
  PROCESS_INFORMATION info_ = {};
  UniqueKernelHandle process_;
  HWND mainWindow_ = nullptr;
  bool iconShown_ = false;
};

inline std::string UniqueName(const char* prefix) {
  return std::string(prefix) + "-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(::GetTickCount());
}

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
  std::string account_ = UniqueName("shop");
  std::string shopId_ = UniqueName("id");
  // Characters that must travel percent-encoded in the log-in query, and
  // the password as stored: each of its UTF-16LE bytes raised by one.
  std::wstring password_ = L"p&w=d +密";
  RegValue storedPassword_{
      REG_BINARY, {0x71, 0x01, 0x27, 0x01, 0x78, 0x01, 0x3E, 0x01, 0x65, 0x01, 0x21, 0x01, 0x2C, 0x01, 0xC7, 0x5C}};
  std::unique_ptr<ShellTrayRecorder> shell_;
};
