// A long run of the worker's cycle on the real Win32 parts, with the pause
// taken out: real WinHTTP requests to a scripted server on loopback, real
// tooltip and balloon updates of the process's tray icon shown to a
// recording taskbar, and the real notification dialog, opened and closed.
// Handles, GDI and USER objects and private memory must stay flat once the
// run has warmed up.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/service_platform_win.h"
#include "res/resource_ids.h"
#include "service/http_transport_win.h"
#include "service/session_state.h"
#include "service/untreated_state.h"
#include "service/worker_cycle.h"
#include "settings/shop_credentials.h"
#include "tests/win/browser_proxy_settings.h"
#include "tests/win/loopback_http_server.h"
#include "tests/win/modal_dialog_driver.h"
#include "tests/win/process_usage.h"
#include "tests/win/shell_tray_recorder.h"
#include "tray/process_tray_win.h"
#include "win32/handles.h"

namespace {

using namespace std::chrono_literals;

constexpr int kWarmUpCycles = 100;
constexpr int kCycles = 1000;
constexpr int kStepsPerRound = 10;
// Growth allowed between the end of the warm-up and the end of the run. A
// handle or object lost per cycle, or per notice (every fifth cycle), would
// add up to 180 or more; 150 bytes lost per cycle pass the memory limit.
// Without a leak the memory grows by 8 to 20 KiB.
constexpr long long kHandleTolerance = 10;
constexpr long long kGuiObjectTolerance = 10;
constexpr long long kWindowTolerance = 2;
constexpr long long kPrivateBytesTolerance = 128 * 1024;

constexpr wchar_t kRejectedBalloon[] = L"登录Zarnik失败，请检查用户名与密码。";

HINSTANCE Instance() { return ::GetModuleHandleW(nullptr); }

// The worker's cycle as the shipped program runs it, but back to back, and
// with every notice closed by "稍后处理" (Later) as soon as it shows.
class BackToBackPlatform : public Win32ServicePlatform {
 public:
  using Win32ServicePlatform::Win32ServicePlatform;

  void Sleep(std::uint32_t) override {}

  void ShowNotificationDialog() override {
    std::wstring notice;
    const DrivenDialog shown = RunDrivenDialog(
        [this] {
          Win32ServicePlatform::ShowNotificationDialog();
          return INT_PTR{0};
        },
        [&](HWND dialog) {
          notice = ControlText(dialog, IDC_NOTIFY_TEXT);
          PressButton(dialog, IDCANCEL);
        });
    notices.push_back(shown.appeared && shown.closedByDriver ? notice : L"(not shown, or not closed)");
  }

  std::vector<std::wstring> notices;  // of the current cycle
};

std::string Entry(int round, const char* category, int k) {
  return std::string(category) + "-" + std::to_string(round) + "-" + std::to_string(k);
}

std::string Untreated(const std::vector<std::string>& web, const std::vector<std::string>& liuyan,
                      const std::vector<std::string>& tousu) {
  const auto list = [](const std::vector<std::string>& entries) {
    std::string json = "[";
    for (size_t i = 0; i < entries.size(); ++i) json += (i ? ",\"" : "\"") + entries[i] + "\"";
    return json + "]";
  };
  return R"({"body":{"deal_status":"untreated","web":)" + list(web) + R"(,"liuyan":)" + list(liuyan) +
         R"(,"tousu":)" + list(tousu) + "}}";
}

std::wstring WaitingTooltip(int total) {
  return L"Morvane（" + std::to_wstring(total) + L"条待处理业务请求）";
}

std::wstring Notice(int count) {
  return L"Zarnik提醒：您有 " + std::to_wstring(count) + L" 条新的业务请求，请点击“马上查看”处理。";
}

// One cycle of a round: the replies the server gives, and what the cycle
// must do with them.
struct Step {
  const char* name;
  std::vector<ScriptedReply> replies;
  bool refusedConnection = false;        // the log-in goes to a port nothing listens on
  std::vector<std::string> requestPaths;  // prefixes, in order, of the requests that reach the server
  std::vector<std::wstring> notices;
  std::vector<std::wstring> balloons;
  std::vector<std::wstring> tooltips;
};

constexpr char kLogInPath[] = "/shop_login.php?name=shop&pwd=secret";
constexpr char kPollPath[] = "/untreatedSheet.php?shop_id=shop5&session_id=S-";

// Ten cycles that pass through every kind of reply and come back to the
// start: each round logs in afresh, since its poll hears "No authority" and
// its next log-ins fail.
std::vector<Step> Round(int round) {
  const std::string session = "S-" + std::to_string(round);
  const std::string loggedIn =
      R"({"body":{"login_status":"success","session_id":")" + session + R"(","shop_id":"shop5"}})";
  const std::string first = Untreated({Entry(round, "w", 1), Entry(round, "w", 2)}, {Entry(round, "l", 1)}, {});
  const std::string second =
      Untreated({Entry(round, "w", 1), Entry(round, "w", 3)}, {Entry(round, "l", 1)}, {Entry(round, "t", 1)});
  std::string garbage = "\x89PNG\r\n\x1a\n";
  garbage.push_back('\0');
  garbage += "\xff\xfe{\"body\":";
  std::string withZero = first.substr(0, 12);
  withZero.push_back('\0');
  withZero += first.substr(12);
  ScriptedReply cutShort = ReplyDroppedMidBody(second.substr(0, second.size() / 2), second.size());
  cutShort.pause = 100ms;

  std::vector<Step> steps;
  steps.reserve(kStepsPerRound);
  const auto add = [&steps](const char* name, std::vector<ScriptedReply> replies,
                            std::vector<std::string> requestPaths) -> Step& {
    Step step;
    step.name = name;
    step.replies = std::move(replies);
    step.requestPaths = std::move(requestPaths);
    steps.push_back(std::move(step));
    return steps.back();
  };
  Step& loggedInStep = add("log-in, then three new requests", {PlainReply(200, loggedIn), PlainReply(200, first)},
                           {kLogInPath, kPollPath});
  loggedInStep.notices = {Notice(3)};
  loggedInStep.tooltips = {WaitingTooltip(3)};
  add("the same requests again", {PlainReply(200, first)}, {kPollPath}).tooltips = {WaitingTooltip(3)};
  Step& changed = add("one replaced, one added", {PlainReply(200, second)}, {kPollPath});
  changed.notices = {Notice(2)};
  changed.tooltips = {WaitingTooltip(4)};
  add("500 with an HTML body", {PlainReply(500, "<html><body><h1>500 Internal Server Error</h1></body></html>")},
      {kPollPath});
  add("body cut short", {cutShort}, {kPollPath});
  add("treated", {PlainReply(200, R"({"body":{"deal_status":"treated"}})")}, {kPollPath}).tooltips = {L"Morvane"};
  add(round % 2 ? "garbage bytes" : "a zero byte inside", {PlainReply(200, round % 2 ? garbage : withZero)},
      {kPollPath});
  add("No authority", {PlainReply(200, R"({"body":{"deal_status":"No authority"}})")}, {kPollPath});
  add("log-in refused by the service", {PlainReply(200, R"({"body":{"login_status":"fail"}})")}, {kLogInPath})
      .balloons = {kRejectedBalloon};
  if (round % 2) {
    add("log-in, connection refused", {}, {}).refusedConnection = true;
  } else {
    add("log-in reply not JSON", {PlainReply(502, "<html>Bad Gateway</html>")}, {kLogInPath});
  }
  return steps;
}

std::vector<std::wstring> Updates(const std::vector<TrayNotification>& sent, UINT flags) {
  std::vector<std::wstring> texts;
  for (const TrayNotification& update : sent) {
    if (update.flags != flags) continue;
    texts.push_back(flags == NIF_INFO ? update.info : update.tip);
  }
  return texts;
}

std::string Narrow(const std::wstring& text) {
  std::string narrow;
  for (wchar_t c : text) narrow += c < 0x80 ? static_cast<char>(c) : '?';
  return narrow;
}

// What one cycle did differently from its step, or nothing.
std::string Deviation(const Step& step, const std::vector<RecordedRequest>& requests,
                      const std::vector<std::wstring>& notices, const std::vector<TrayNotification>& sent) {
  if (requests.size() != step.requestPaths.size())
    return std::to_string(requests.size()) + " requests instead of " + std::to_string(step.requestPaths.size());
  for (size_t i = 0; i < requests.size(); ++i) {
    if (requests[i].requestLine.compare(0, 4 + step.requestPaths[i].size(), "GET " + step.requestPaths[i]) != 0)
      return "request " + requests[i].requestLine;
  }
  if (notices != step.notices) return std::to_string(notices.size()) + " notices, not as expected";
  if (Updates(sent, NIF_INFO) != step.balloons) return std::to_string(Updates(sent, NIF_INFO).size()) + " balloons";
  const std::vector<std::wstring> tooltips = Updates(sent, NIF_TIP);
  if (tooltips != step.tooltips)
    return std::to_string(tooltips.size()) + " tooltips" + (tooltips.empty() ? "" : ", last " + Narrow(tooltips.back()));
  if (sent.size() != step.balloons.size() + step.tooltips.size()) return "other tray updates";
  return {};
}

TEST(ResourceUseTest, AThousandCyclesLeaveHandlesObjectsAndMemoryFlat) {
  LoopbackHttpServer server;
  ASSERT_TRUE(server.Listening());
  const INTERNET_PORT closedPort = UnusedLoopbackPort();
  ScopedBrowserProxySettings direct{BrowserProxySettings{}};
  ASSERT_TRUE(direct.Written());
  ASSERT_TRUE(OpenHttpSession());

  ShellTrayRecorder shell;
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = ::DefWindowProcW;
  windowClass.hInstance = Instance();
  windowClass.lpszClassName = L"MorvaneResourceTestTarget";
  ::RegisterClassW(&windowClass);
  UniqueWindow target(::CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                        Instance(), nullptr));
  ASSERT_TRUE(target);
  ASSERT_TRUE(TheSystemTray().CreateTrayIcon(Instance(), target.get(),
                                             ::LoadIconW(Instance(), MAKEINTRESOURCEW(IDI_MORVANE))));

  CredentialPair pair;
  pair.exists = true;
  std::u16string(u"shop").copy(pair.account, kCredentialCapacity - 1);
  std::u16string(u"secret").copy(pair.password, kCredentialCapacity - 1);
  WriteCredentials(TheShopCredentials(), pair);
  ClearSessionIds(TheSessionState());
  TheSessionState().reloginRequested = 1;
  LoginFailureStreak streak;

  BackToBackPlatform toServer({L"127.0.0.1", server.Port()}, {L"127.0.0.1", server.Port()});
  BackToBackPlatform toClosedPort({L"127.0.0.1", closedPort}, {L"127.0.0.1", closedPort});

  int deviations = 0;
  std::vector<std::string> firstDeviations;
  size_t notices = 0;
  ProcessUsage warm;
  std::vector<std::pair<int, ProcessUsage>> figures;
  const auto start = std::chrono::steady_clock::now();
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    const int round = cycle / kStepsPerRound;
    // The whole round is built for each cycle so that what the script keeps
    // does not grow either.
    const Step step = Round(round)[cycle % kStepsPerRound];
    server.ClearRequests();
    shell.Clear();
    for (const ScriptedReply& reply : step.replies) server.Enqueue(reply);
    BackToBackPlatform& platform = step.refusedConnection ? toClosedPort : toServer;
    platform.notices.clear();

    RunWorkerCycle(platform, TheShopCredentials(), TheSessionState(), TheUntreatedState(), streak);

    notices += platform.notices.size();
    const std::string deviation = Deviation(step, server.Requests(), platform.notices, shell.Notifications());
    if (!deviation.empty() && ++deviations <= 5)
      firstDeviations.push_back("cycle " + std::to_string(cycle) + " (" + step.name + "): " + deviation);
    if (cycle + 1 == kWarmUpCycles) warm = MeasureProcessUsage();
    if ((cycle + 1) % 300 == 100) figures.emplace_back(cycle + 1, MeasureProcessUsage());
  }
  server.ClearRequests();
  shell.Clear();
  const ProcessUsage end = MeasureProcessUsage();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);

  std::cout << kCycles << " cycles in " << seconds.count() << " s, " << notices << " notices shown and closed\n";
  for (const auto& [cycle, usage] : figures)
    std::cout << "after " << cycle << " cycles: " << DescribeUsage(usage) << "\n";
  std::cout << "at the end: " << DescribeUsage(end) << "\n";

  std::string deviationList;
  for (const std::string& line : firstDeviations) deviationList += "\n  " + line;
  EXPECT_EQ(deviations, 0) << "cycles that did not go as scripted:" << deviationList;
  EXPECT_EQ(notices, static_cast<size_t>(2 * kCycles / kStepsPerRound));

  // Handles and memory have a source on every system; the GUI counters may
  // be missing, and are then left out.
  EXPECT_TRUE(warm.handles.available && end.handles.available) << "no handle count";
  EXPECT_TRUE(warm.privateBytes.available && end.privateBytes.available) << "no private bytes";
  const struct {
    const char* name;
    UsageFigure ProcessUsage::*figure;
    long long tolerance;
  } limits[] = {
      {"handles", &ProcessUsage::handles, kHandleTolerance},
      {"GDI objects", &ProcessUsage::gdiObjects, kGuiObjectTolerance},
      {"USER objects", &ProcessUsage::userObjects, kGuiObjectTolerance},
      {"windows", &ProcessUsage::windows, kWindowTolerance},
      {"private bytes", &ProcessUsage::privateBytes, kPrivateBytesTolerance},
  };
  for (const auto& limit : limits) {
    const UsageFigure& before = warm.*limit.figure;
    const UsageFigure& after = end.*limit.figure;
    if (!before.available || !after.available) continue;
    EXPECT_LE(after.value - before.value, limit.tolerance)
        << limit.name << " grew from " << before.value << " to " << after.value << " (" << after.source << ")";
  }

  TheSystemTray().RemoveTrayIcon();
}

}  // namespace
