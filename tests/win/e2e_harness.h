#pragma once
// What every end-to-end scenario needs: the shipped exe started in the test
// prefix with its browser proxy pointed at zarnik-sim, a recording taskbar,
// a recording browser, and the registry values the program keeps.
//
// Each end-to-end test program is run as
//   e2e_..._test.exe MORVANE_EXE SIM_PORT_FILE RECORDER_SCRIPT URL_LOG
// (all Unix paths, as ctest hands them).

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/win/browser_proxy_settings.h"
#include "tests/win/process_runner.h"
#include "tests/win/recording_browser.h"
#include "tests/win/shell_tray_recorder.h"
#include "tests/win/sim_control.h"
#include "win32/handles.h"

struct E2eSettings {
  std::wstring programPath;  // Windows form
  std::string portFile;
  std::string recorderScript;
  std::string urlLog;
};

// Filled by the test program's main from its arguments.
E2eSettings& TheE2eSettings();

// HKCU\Software\Trevolt\Orvent, where the program keeps the shop's account
// and password.
void DeleteStoredCredentials();
// Account as REG_SZ, the password as its UTF-16LE bytes each raised by one.
void StoreCredentials(const std::wstring& account, const std::wstring& password);
struct RegistryValue {
  DWORD type = REG_NONE;
  std::vector<std::uint8_t> bytes;
};
std::optional<RegistryValue> ReadStoredValue(const wchar_t* name);

// morvane.exe started for one scenario; killed at the end if it is still
// running then.
class MorvaneRun {
 public:
  // Starts the program and waits until its icon has been added.
  explicit MorvaneRun(ShellTrayRecorder& shell);
  ~MorvaneRun();
  MorvaneRun(const MorvaneRun&) = delete;
  MorvaneRun& operator=(const MorvaneRun&) = delete;

  bool IconShown() const { return iconShown_; }
  HWND MainWindow() const { return mainWindow_; }
  DWORD ProcessId() const { return program_.ProcessId(); }
  DWORD StartTick() const { return startTick_; }
  RunningProgram& Process() { return program_; }
  // A command of the main window, as the tray menu sends it.
  void Command(WORD id) const;

 private:
  RunningProgram program_;
  DWORD startTick_;
  bool iconShown_ = false;
  HWND mainWindow_ = nullptr;
};

// What the program told the shell, from the recording taskbar.
std::vector<std::wstring> BalloonTexts(ShellTrayRecorder& shell);
std::vector<std::wstring> TooltipTexts(ShellTrayRecorder& shell);
size_t IconMessages(ShellTrayRecorder& shell, DWORD message);
// Texts as UTF-8 in quotes, for failure messages that show the Chinese.
std::string Quoted(const std::vector<std::wstring>& texts);

// The program's three kinds of service request.
bool IsLogIn(const SimRequest& request);
bool IsPoll(const SimRequest& request);
bool IsKeyRequest(const SimRequest& request);
// The requests after seq that satisfy the predicate, oldest first.
std::vector<SimRequest> RequestsSince(SimControl& sim, std::uint64_t seq, bool (*predicate)(const SimRequest&));

// A name no other run of the scenarios against the same simulator has.
std::string UniqueName(const char* prefix);

// Sleeps until milliseconds have passed since the tick count start.
void SleepUntil(DWORD start, DWORD milliseconds);
// Now, on the clock of the simulator's log: milliseconds since 1970.
std::int64_t EpochMilliseconds();

// The simulator, the proxy settings pointing at it, a browser and a taskbar
// that record: set up for each scenario, taken down after it.
class EndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  SimControl& Sim() { return *sim_; }
  ShellTrayRecorder& Shell() { return *shell_; }
  RecordingBrowser& Browser() { return *browser_; }
  // The newest request the simulator has logged before the scenario acts.
  std::uint64_t LogMark();

 private:
  std::unique_ptr<SimControl> sim_;
  std::unique_ptr<ScopedBrowserProxySettings> proxy_;
  std::unique_ptr<RecordingBrowser> browser_;
  std::unique_ptr<ShellTrayRecorder> shell_;
};

// The program's own texts and names that the scenarios look for.
constexpr wchar_t kMainWindowClass[] = L"Dovrel";
constexpr wchar_t kDialogClass[] = L"#32770";
constexpr wchar_t kSettingsCaption[] = L"Morvane设置";
constexpr char kUserAgent8[] = "Mozilla/4.0.(compatible;.MSIE.6..Windows.NT.5..SV1;..NET.CLR.1.1.4322)";
// The worker's pause between two cycles.
constexpr DWORD kCycleMs = 30000;
