#include "tests/win/e2e_harness.h"

#include <json/reader.h>
#include <shellapi.h>
#include <winhttp.h>

#include <fstream>

#include "service/http_transport_win.h"
#include "service/service_hosts.h"

namespace {

std::wstring programPath;  // Windows form
std::string portFile;
std::string urlLog;

std::wstring WindowsPath(std::string path) {
  for (char& c : path) c = c == '/' ? '\\' : c;
  return L"Z:" + Widened(path);
}

std::string Encoded(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (isalnum(c) || c == '-' || c == '_' || c == '.')
      out += static_cast<char>(c);
    else
      out += "%" + std::string(1, "0123456789ABCDEF"[c >> 4]) + "0123456789ABCDEF"[c & 15];
  }
  return out;
}

// One exchange through the simulator as the proxy, as the program makes it.
std::optional<std::pair<DWORD, std::string>> Exchange(const std::wstring& host, const wchar_t* verb,
                                                      const std::wstring& path, const std::string& form) {
  std::ifstream file(WindowsPath(portFile).c_str());
  int port = 0;
  file >> port;
  const std::wstring proxy = L"127.0.0.1:" + std::to_wstring(port);
  const UniqueInternet session(::WinHttpOpen(L"e2e", WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy.c_str(), nullptr, 0));
  const UniqueInternet connection(session ? ::WinHttpConnect(session.get(), host.c_str(), 80, 0) : nullptr);
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

}  // namespace

std::vector<std::wstring> Notified(ShellTrayRecorder& shell, UINT flag) {
  std::vector<std::wstring> texts;
  for (const TrayNotification& n : shell.Notifications()) {
    if (n.message == NIM_MODIFY && flag == NIF_TIP && (n.flags & NIF_TIP)) texts.push_back(n.tip);
    if (flag == NIF_INFO && (n.flags & NIF_INFO) && !n.info.empty()) texts.push_back(n.info);
  }
  return texts;
}

std::string SimRequest::Param(const std::string& name) const {
  const auto found = params.find(name);
  return found == params.end() ? "(none)" : found->second;
}

bool IsLogIn(const SimRequest& r) { return r.role == "auth" && r.path == "/shop_login.php"; }
bool IsPoll(const SimRequest& r) { return r.role == "order" && r.path == "/untreatedSheet.php"; }
bool IsKeyRequest(const SimRequest& r) { return r.role == "auth" && r.path == "/shop_key.php"; }

Json::Value SimCall(const std::string& path, const std::vector<std::pair<std::string, std::string>>& form, bool post) {
  std::string body;
  for (const auto& [name, value] : form) body += (body.empty() ? "" : "&") + name + "=" + Encoded(value);
  const auto page = Exchange(L"sim.control", post ? L"POST" : L"GET", Widened(path), body);
  Json::Value answer;
  if (!page || !Json::Reader().parse(page->second, answer)) return Json::Value();
  if (post) EXPECT_TRUE(answer.get("ok", false).asBool()) << path << ": " << page->second;
  return answer;
}

std::vector<SimRequest> RequestsSince(std::uint64_t seq, RequestFilter filter) {
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

std::uint64_t LogMark() {
  const std::vector<SimRequest> all = RequestsSince(0, nullptr);
  return all.empty() ? 0 : all.back().seq;
}

std::optional<SimRequest> WaitForRequest(std::uint64_t seq, RequestFilter filter, DWORD timeoutMs) {
  for (const DWORD start = ::GetTickCount(); ::GetTickCount() - start < timeoutMs; ::Sleep(200)) {
    const std::vector<SimRequest> found = RequestsSince(seq, filter);
    if (!found.empty()) return found.front();
  }
  return std::nullopt;
}

std::optional<std::pair<DWORD, std::string>> Browse(const std::string& url) {
  const size_t slash = url.find('/', 7);
  return Exchange(Widened(url.substr(7, slash - 7)), L"GET", Widened(url.substr(slash)), "");
}

std::optional<RegValue> ReadValue(const wchar_t* key, const wchar_t* name) {
  HKEY opened = nullptr;
  ::RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &opened);
  const UniqueKey owned(opened);
  RegValue value{REG_NONE, std::vector<std::uint8_t>(4096)};
  DWORD size = 4096;
  if (::RegQueryValueExW(opened, name, nullptr, &value.type, value.bytes.data(), &size) != ERROR_SUCCESS)
    return std::nullopt;
  value.bytes.resize(size);
  return value;
}

void WriteValue(const wchar_t* key, const wchar_t* name, const RegValue& value) {
  HKEY opened = nullptr;
  ::RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr);
  const UniqueKey owned(opened);
  ASSERT_EQ(::RegSetValueExW(opened, name, 0, value.type, value.bytes.data(), static_cast<DWORD>(value.bytes.size())),
            ERROR_SUCCESS);
}

RegValue Text(const std::wstring& text, DWORD type) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.c_str());
  return {type, std::vector<std::uint8_t>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t))};
}

std::vector<std::uint8_t> Shifted(const std::wstring& text) {
  std::vector<std::uint8_t> bytes;
  for (wchar_t unit : text) bytes.insert(bytes.end(), {std::uint8_t((unit & 0xFF) + 1), std::uint8_t((unit >> 8) + 1)});
  return bytes;
}

MorvaneRun::MorvaneRun(ShellTrayRecorder& shell, const std::wstring& exe) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  std::wstring command = L"\"" + exe + L"\"";
  if (!::CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_))
    return;
  ::CloseHandle(info_.hThread);
  process_.reset(info_.hProcess);
  iconShown_ = !shell.refusing &&
               shell.WaitFor([](const TrayNotification& n) { return n.message == NIM_ADD; }, std::chrono::seconds(20));
  // The main window is never shown; one copy runs at a time.
  for (int i = 0; i < 50 && !(mainWindow_ = ::FindWindowW(L"Dovrel", nullptr)); ++i) ::Sleep(100);
}

MorvaneRun::~MorvaneRun() {
  if (process_ && !WaitForExit(0)) ::TerminateProcess(process_.get(), 1);
}

std::optional<DWORD> MorvaneRun::WaitForExit(DWORD timeoutMs) const {
  DWORD code = 0;
  if (!process_ || ::WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
  ::GetExitCodeProcess(process_.get(), &code);
  return code;
}

std::wstring ProgramPath() { return programPath; }

std::vector<std::string> OpenedUrls() {
  std::ifstream file(WindowsPath(urlLog).c_str());
  std::vector<std::string> urls;
  for (std::string line; std::getline(file, line);) urls.push_back(line);
  return urls;
}

std::string ConsoleUrl(const char* pathAndQuery) {
  std::string url = "http://";
  for (const char16_t* c = MORVANE_CONSOLE_HOST; *c; ++c) url += static_cast<char>(*c);
  return url + pathAndQuery;
}

std::wstring Widened(const std::string& utf8) {
  std::wstring wide(utf8.size(), L'\0');
  wide.resize(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0],
                                    static_cast<int>(wide.size())));
  return wide;
}

std::string Utf8(const std::wstring& text) {
  std::string utf8(text.size() * 3, '\0');
  utf8.resize(::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0],
                                    static_cast<int>(utf8.size()), nullptr, nullptr));
  return utf8;
}

bool WaitForBalloon(ShellTrayRecorder& shell, const std::wstring& text, DWORD timeoutMs) {
  return shell.WaitFor([&](const TrayNotification& n) { return (n.flags & NIF_INFO) && n.info == text; },
                       std::chrono::milliseconds(timeoutMs));
}

std::string UniqueName(const char* prefix) {
  return std::string(prefix) + "-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(::GetTickCount());
}

void EndToEnd::SetUp() {
  ASSERT_FALSE(SimCall("/fault/clear").isNull()) << "no simulator";
  SimCall("/shop", {{"account", account_}, {"password", Utf8(password_)}, {"shop_id", shopId_}});
  ::DeleteFileW(WindowsPath(urlLog).c_str());
  shell_ = std::make_unique<ShellTrayRecorder>();
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 4) return 2;
  // The installed copy, named the way the user's environment places it.
  programPath.resize(MAX_PATH);
  programPath.resize(::ExpandEnvironmentStringsW(Widened(argv[1]).c_str(), &programPath[0], MAX_PATH) - 1);
  portFile = argv[2];
  urlLog = argv[3];
  return RUN_ALL_TESTS();
}
