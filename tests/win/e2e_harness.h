#pragma once
// What every end-to-end scenario needs: zarnik-sim's control interface, the
// installed exe started in the test prefix (whose browser proxy and browser the
// Wine fixtures point at the simulator and at a URL log), a recording
// taskbar, and the registry values the program keeps. Run as
//   e2e_test.exe MORVANE_EXE SIM_PORT_FILE URL_LOG [gtest options]
// MORVANE_EXE in Windows form, environment variables allowed.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <json/value.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/win/shell_tray_recorder.h"
#include "tests/win/window_driver.h"
#include "win32/handles.h"

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
  std::string Param(const std::string& name) const;
};
using RequestFilter = bool (*)(const SimRequest&);
bool IsLogIn(const SimRequest& request);
bool IsPoll(const SimRequest& request);
bool IsKeyRequest(const SimRequest& request);

// GET or POST (with form fields) to the simulator's control host; the
// answer as JSON, null when there is none.
Json::Value SimCall(const std::string& path, const std::vector<std::pair<std::string, std::string>>& form = {},
                    bool post = true);
// The logged requests after seq that pass the filter, oldest first.
std::vector<SimRequest> RequestsSince(std::uint64_t seq, RequestFilter filter);
std::uint64_t LogMark();
std::optional<SimRequest> WaitForRequest(std::uint64_t seq, RequestFilter filter, DWORD timeoutMs);
// A GET of an absolute http URL through the simulator, as the browser would.
std::optional<std::pair<DWORD, std::string>> Browse(const std::string& url);

// HKEY_CURRENT_USER values.
struct RegValue {
  DWORD type = REG_NONE;
  std::vector<std::uint8_t> bytes;
  bool operator==(const RegValue& other) const { return type == other.type && bytes == other.bytes; }
};
std::optional<RegValue> ReadValue(const wchar_t* key, const wchar_t* name);
void WriteValue(const wchar_t* key, const wchar_t* name, const RegValue& value);
RegValue Text(const std::wstring& text, DWORD type = REG_SZ);
// The stored form of a password: its UTF-16LE bytes, each raised by one.
std::vector<std::uint8_t> Shifted(const std::wstring& text);
constexpr wchar_t kCredentialsKey[] = L"Software\\Trevolt\\Orvent";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// morvane.exe (or a copy) started and its icon added (unless the taskbar
// refuses icons); killed at the end if it still runs.
class MorvaneRun {
 public:
  MorvaneRun(ShellTrayRecorder& shell, const std::wstring& exe);
  ~MorvaneRun();
  DWORD ProcessId() const { return info_.dwProcessId; }
  HWND MainWindow() const { return mainWindow_; }
  bool IconShown() const { return iconShown_; }
  void Command(WORD id) const { ::PostMessageW(mainWindow_, WM_COMMAND, id, 0); }
  std::optional<DWORD> WaitForExit(DWORD timeoutMs) const;

 private:
  PROCESS_INFORMATION info_ = {};
  UniqueKernelHandle process_;
  HWND mainWindow_ = nullptr;
  bool iconShown_ = false;
};

// The harness's view of the run: the program's path and the opened URLs.
std::wstring ProgramPath();
std::vector<std::string> OpenedUrls();
std::string ConsoleUrl(const char* pathAndQuery);
std::wstring Widened(const std::string& utf8);
std::string Utf8(const std::wstring& text);
// The balloons (NIF_INFO) or the tooltips set after the icon was added (NIF_TIP).
std::vector<std::wstring> Notified(ShellTrayRecorder& shell, UINT flag);
bool WaitForBalloon(ShellTrayRecorder& shell, const std::wstring& text, DWORD timeoutMs);
std::string UniqueName(const char* prefix);

constexpr DWORD kCycleMs = 30000;
constexpr wchar_t kDialogClass[] = L"#32770";

// One simulator shop and a taskbar that records, per scenario.
class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override { SimCall("/fault/clear"); }
  std::string account_ = UniqueName("shop");
  std::string shopId_ = UniqueName("id");
  // Characters that must travel percent-encoded in the log-in query.
  std::wstring password_ = L"p&w=d +密";
  std::unique_ptr<ShellTrayRecorder> shell_;
};
