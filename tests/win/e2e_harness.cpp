#include "tests/win/e2e_harness.h"

#include <shellapi.h>

#include "tests/win/wine_paths.h"

namespace {

constexpr wchar_t kCredentialsKey[] = L"Software\\Trevolt\\Orvent";
constexpr DWORD kIconTimeoutMs = 20000;

UniqueKey CreateUserKey(const wchar_t* path) {
  HKEY key = nullptr;
  ::RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  return UniqueKey(key);
}

bool SetText(HKEY key, const wchar_t* name, const std::wstring& text) {
  return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

}  // namespace

E2eSettings& TheE2eSettings() {
  static E2eSettings settings;
  return settings;
}

void DeleteStoredCredentials() {
  const UniqueKey key = CreateUserKey(kCredentialsKey);
  ::RegDeleteValueW(key.get(), L"Account");
  ::RegDeleteValueW(key.get(), L"Password");
}

void StoreCredentials(const std::wstring& account, const std::wstring& password) {
  const UniqueKey key = CreateUserKey(kCredentialsKey);
  SetText(key.get(), L"Account", account);
  std::vector<std::uint8_t> shifted;
  for (wchar_t unit : password) {
    shifted.push_back(static_cast<std::uint8_t>((unit & 0xFF) + 1));
    shifted.push_back(static_cast<std::uint8_t>((unit >> 8) + 1));
  }
  ::RegSetValueExW(key.get(), L"Password", 0, REG_BINARY, shifted.data(), static_cast<DWORD>(shifted.size()));
}

std::optional<RegistryValue> ReadStoredValue(const wchar_t* name) {
  const UniqueKey key = CreateUserKey(kCredentialsKey);
  RegistryValue value;
  DWORD size = 0;
  if (::RegQueryValueExW(key.get(), name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
  value.bytes.resize(size);
  if (size > 0 &&
      ::RegQueryValueExW(key.get(), name, nullptr, &value.type, value.bytes.data(), &size) != ERROR_SUCCESS)
    return std::nullopt;
  value.bytes.resize(size);
  return value;
}

MorvaneRun::MorvaneRun(ShellTrayRecorder& shell)
    : program_(TheE2eSettings().programPath), startTick_(::GetTickCount()) {
  if (!program_.Started()) return;
  iconShown_ = shell.WaitFor([](const TrayNotification& n) { return n.message == NIM_ADD; },
                             std::chrono::milliseconds(kIconTimeoutMs));
  mainWindow_ = program_.FindWindowOfClass(kMainWindowClass, 5000);
}

MorvaneRun::~MorvaneRun() {
  if (!program_.WaitForExit(0)) program_.Kill();
}

void MorvaneRun::Command(WORD id) const { ::PostMessageW(mainWindow_, WM_COMMAND, id, 0); }

std::vector<std::wstring> BalloonTexts(ShellTrayRecorder& shell) {
  std::vector<std::wstring> texts;
  for (const TrayNotification& n : shell.Notifications())
    if ((n.flags & NIF_INFO) && !n.info.empty()) texts.push_back(n.info);
  return texts;
}

std::vector<std::wstring> TooltipTexts(ShellTrayRecorder& shell) {
  std::vector<std::wstring> texts;
  for (const TrayNotification& n : shell.Notifications())
    if (n.flags & NIF_TIP) texts.push_back(n.tip);
  return texts;
}

size_t IconMessages(ShellTrayRecorder& shell, DWORD message) {
  size_t count = 0;
  for (const TrayNotification& n : shell.Notifications()) count += n.message == message;
  return count;
}

std::string Quoted(const std::vector<std::wstring>& texts) {
  std::string quoted;
  for (const std::wstring& text : texts) {
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                             nullptr, nullptr);
    std::string utf8(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
      ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], length, nullptr,
                            nullptr);
    quoted += (quoted.empty() ? "\"" : ", \"") + utf8 + "\"";
  }
  return quoted.empty() ? "none" : quoted;
}

bool IsLogIn(const SimRequest& request) { return request.role == "auth" && request.Path() == "/shop_login.php"; }
bool IsPoll(const SimRequest& request) { return request.role == "order" && request.Path() == "/untreatedSheet.php"; }
bool IsKeyRequest(const SimRequest& request) { return request.role == "auth" && request.Path() == "/shop_key.php"; }

std::vector<SimRequest> RequestsSince(SimControl& sim, std::uint64_t seq, bool (*predicate)(const SimRequest&)) {
  std::vector<SimRequest> matching;
  const std::optional<std::vector<SimRequest>> requests = sim.RequestsSince(seq);
  EXPECT_TRUE(requests) << "the simulator's log cannot be read";
  if (!requests) return matching;
  for (const SimRequest& request : *requests)
    if (predicate(request)) matching.push_back(request);
  return matching;
}

std::string UniqueName(const char* prefix) {
  return std::string(prefix) + "-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(::GetTickCount());
}

void SleepUntil(DWORD start, DWORD milliseconds) {
  const DWORD elapsed = ::GetTickCount() - start;
  if (elapsed < milliseconds) ::Sleep(milliseconds - elapsed);
}

std::int64_t EpochMilliseconds() {
  FILETIME now = {};
  ::GetSystemTimeAsFileTime(&now);
  const std::uint64_t ticks = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  // FILETIME counts 100 ns from 1601; 11644473600 s lie between 1601 and 1970.
  return static_cast<std::int64_t>(ticks / 10000) - 11644473600000LL;
}

void EndToEndTest::SetUp() {
  const E2eSettings& settings = TheE2eSettings();
  const std::optional<int> port = ReadSimPort(settings.portFile.c_str());
  ASSERT_TRUE(port) << "no simulator port in " << settings.portFile;
  sim_ = std::make_unique<SimControl>(*port);
  ASSERT_TRUE(sim_->Ready());
  ASSERT_TRUE(sim_->ClearFaults()) << sim_->LastError();
  // The program reads these once, at its start: every request it makes
  // then goes through the simulator.
  BrowserProxySettings proxy;
  proxy.flags = kProxyDirect | kProxyManual;
  proxy.proxy = "127.0.0.1:" + std::to_string(*port);
  proxy_ = std::make_unique<ScopedBrowserProxySettings>(proxy);
  ASSERT_TRUE(proxy_->Written());
  browser_ = std::make_unique<RecordingBrowser>(settings.recorderScript, settings.urlLog);
  ASSERT_TRUE(browser_->Installed());
  shell_ = std::make_unique<ShellTrayRecorder>();
}

void EndToEndTest::TearDown() {
  if (sim_ && sim_->Ready()) sim_->ClearFaults();
  shell_.reset();
  browser_.reset();
  proxy_.reset();
}

std::uint64_t EndToEndTest::LogMark() {
  const std::optional<std::uint64_t> seq = Sim().LastSeq();
  EXPECT_TRUE(seq) << "the simulator's log cannot be read";
  return seq.value_or(0);
}
