// The shipped exe against a service that breaks in every way the simulator
// knows, one fault per cycle of one run of the program: what the user sees
// of each (a balloon only for the first failed log-in of a streak, nothing
// for a failed poll), that the program keeps running and answering, and that
// it picks up again by itself as soon as the service is healthy.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "res/resource_ids.h"
#include "tests/win/e2e_harness.h"
#include "tests/win/window_driver.h"

namespace {

using namespace std::chrono_literals;

constexpr char kPassword[] = "faults-pass";
constexpr wchar_t kNetworkBalloon[] = L"登录Zarnik失败，请检查网络情况。";
// How long the slow host holds its reply, and how much later than that the
// notice may come.
constexpr DWORD kSlowReplyMs = 15000;
constexpr DWORD kNoticeMarginMs = 10000;
// After a cycle's last request: time for anything it would still show.
constexpr DWORD kSettleMs = 3000;

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::wstring Notice(int count) {
  return L"Zarnik提醒：您有 " + std::to_wstring(count) + L" 条新的业务请求，请点击“马上查看”处理。";
}

std::wstring WaitingTooltip(int total) {
  return L"Morvane（" + std::to_wstring(total) + L"条待处理业务请求）";
}

// The tooltips set after the icon was added.
std::vector<std::wstring> ChangedTooltips(ShellTrayRecorder& shell) {
  std::vector<std::wstring> texts;
  for (const TrayNotification& n : shell.Notifications())
    if (n.message == NIM_MODIFY && (n.flags & NIF_TIP)) texts.push_back(n.tip);
  return texts;
}

// The program's user-interface thread handles a message within the time.
bool Answers(HWND window, DWORD timeoutMs) {
  DWORD_PTR result = 0;
  return ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeoutMs, &result) != 0;
}

// One cycle of the program's worker and what the service does to it.
struct Cycle {
  const char* name;
  // The fault armed for the one request named below; no kind: the service
  // answers normally.
  const char* host;
  const char* kind;
  bool (*faulted)(const SimRequest&);
  // What changes at the service before the cycle.
  const char* newEntry;  // a customer message added to the shop
  bool expireSessions;
  // The cycle's requests: a log-in or not, and the one that ends its work.
  bool logsIn;
  bool (*last)(const SimRequest&);
  // What the user sees.
  std::optional<std::wstring> balloon;
  std::optional<std::wstring> notice;
  std::optional<std::wstring> tooltip;
};

using FaultsTest = EndToEndTest;

TEST_F(FaultsTest, EachFaultShowsWhatItShouldAndTheProgramRecoversWithoutARestart) {
  const std::string account = UniqueName("faults");
  const std::string shopId = UniqueName("shop");
  ASSERT_TRUE(Sim().AddShop(account, kPassword, shopId)) << Sim().LastError();
  StoreCredentials(Wide(account), Wide(kPassword));

  const Cycle cycles[] = {
      {"log-in refused", "auth", "refuse", IsLogIn, nullptr, false, true, IsLogIn, kNetworkBalloon, {}, {}},
      {"log-in answered by a 500 page", "auth", "error500", IsLogIn, nullptr, false, true, IsLogIn, {}, {}, {}},
      {"log-in answered with garbage", "auth", "garbage", IsLogIn, nullptr, false, true, IsLogIn, {}, {}, {}},
      {"healthy log-in, poll cut short", "order", "truncate", IsPoll, "留言-1", false, true, IsPoll, {}, {}, {}},
      // A failed poll keeps the session: no log-in in the next cycles.
      {"poll with a zero byte inside", "order", "nul", IsPoll, nullptr, false, false, IsPoll, {}, {}, {}},
      {"slow poll", "order", "slow", IsPoll, "留言-2", false, false, IsPoll, {}, Notice(2), WaitingTooltip(2)},
      {"No authority in the middle of the run", nullptr, nullptr, nullptr, nullptr, true, false, IsPoll, {}, {}, {}},
      {"log-in again, then a poll", nullptr, nullptr, nullptr, "留言-3", false, true, IsPoll, {}, Notice(1),
       WaitingTooltip(3)},
  };

  std::unique_ptr<MorvaneRun> program;
  std::uint64_t mark = LogMark();
  for (const Cycle& cycle : cycles) {
    SCOPED_TRACE(cycle.name);
    Shell().Clear();
    if (cycle.expireSessions) {
      ASSERT_TRUE(Sim().ExpireSessions(shopId)) << Sim().LastError();
    }
    if (cycle.newEntry) {
      ASSERT_TRUE(Sim().AddEntry(shopId, "liuyan", cycle.newEntry)) << Sim().LastError();
    }
    if (cycle.kind) {
      FormFields fault = {{"host", cycle.host}, {"kind", cycle.kind}, {"times", "1"}};
      if (std::string(cycle.kind) == "slow") fault.emplace_back("delay_ms", std::to_string(kSlowReplyMs));
      ASSERT_TRUE(Sim().Post("/fault", fault)) << Sim().LastError();
    }
    // The first cycle runs as the program starts.
    if (!program) {
      program = std::make_unique<MorvaneRun>(Shell());
      ASSERT_TRUE(program->IconShown());
      ASSERT_NE(program->MainWindow(), nullptr);
    }

    std::optional<SimRequest> hit;
    if (cycle.faulted) {
      hit = Sim().WaitForRequest(mark, cycle.faulted, kCycleMs + 15000);
      ASSERT_TRUE(hit) << "no request within a cycle";
      EXPECT_EQ(hit->fault, cycle.kind);
      if (hit->fault == "slow") {
        EXPECT_TRUE(Answers(program->MainWindow(), 5000)) << "the tray stays usable while the worker waits";
      }
    }
    ASSERT_TRUE(Sim().WaitForRequest(mark, cycle.last, kCycleMs + 15000)) << "the cycle did not reach its last request";

    if (cycle.notice) {
      const HWND notice = WaitForProcessWindow({program->ProcessId(), kDialogClass, L""},
                                               kSlowReplyMs + kNoticeMarginMs);
      ASSERT_NE(notice, nullptr) << "no notice";
      if (hit && hit->fault == "slow") {
        EXPECT_GE(EpochMilliseconds() - hit->timeMs, static_cast<std::int64_t>(kSlowReplyMs) - 1000)
            << "the notice came before the slow reply";
      }
      EXPECT_EQ(ReadControlText(notice, IDC_NOTIFY_TEXT).value_or(L"?"), *cycle.notice);
      ASSERT_TRUE(ClickButton(notice, IDCANCEL));
      ASSERT_TRUE(WaitUntilWindowGone(notice, 5000));
    }
    ::Sleep(kSettleMs);
    EXPECT_TRUE(FindProcessWindows({program->ProcessId(), kDialogClass, L""}).empty()) << "a notice is open";
    const std::vector<std::wstring> balloons = BalloonTexts(Shell());
    EXPECT_EQ(balloons, cycle.balloon ? std::vector<std::wstring>{*cycle.balloon} : std::vector<std::wstring>{})
        << "balloons: " << Quoted(balloons);
    const std::vector<std::wstring> tooltips = ChangedTooltips(Shell());
    EXPECT_EQ(tooltips, cycle.tooltip ? std::vector<std::wstring>{*cycle.tooltip} : std::vector<std::wstring>{})
        << "tooltips: " << Quoted(tooltips);
    // One attempt of each kind per cycle: nothing retries by itself.
    EXPECT_EQ(RequestsSince(Sim(), mark, IsLogIn).size(), cycle.logsIn ? 1u : 0u);
    EXPECT_EQ(RequestsSince(Sim(), mark, IsPoll).size(), cycle.last == IsPoll ? 1u : 0u);
    EXPECT_FALSE(program->Process().WaitForExit(0)) << "the program ended";
    EXPECT_TRUE(Answers(program->MainWindow(), 5000)) << "the program does not answer";
    mark = LogMark();
  }

  program->Command(IDM_EXIT);
  EXPECT_EQ(program->Process().WaitForExit(10000).value_or(999), 0u);
  EXPECT_TRUE(Shell().WaitFor([](const TrayNotification& n) { return n.message == NIM_DELETE; }, 2s));
}

// A 50 MB reply to a poll arrives 8 KiB at a time under Wine, each piece
// followed by the transport's 50 ms pause; the transport gives up at 16 MiB.
// Minutes of a single cycle, so not part of the suite's run:
//   GTEST_ALSO_RUN_DISABLED_TESTS=1 GTEST_FILTER='*Huge*' ctest -R e2e_faults_test
TEST_F(FaultsTest, DISABLED_AHugeReplyIsGivenUpAndTheNextPollWorks) {
  const std::string account = UniqueName("huge");
  const std::string shopId = UniqueName("shop");
  ASSERT_TRUE(Sim().AddShop(account, kPassword, shopId)) << Sim().LastError();
  StoreCredentials(Wide(account), Wide(kPassword));
  ASSERT_TRUE(Sim().Post("/fault", {{"host", "order"}, {"kind", "huge"}, {"times", "1"}})) << Sim().LastError();
  const std::uint64_t start = LogMark();

  MorvaneRun program(Shell());
  ASSERT_TRUE(program.IconShown());
  const std::optional<SimRequest> huge = Sim().WaitForRequest(start, IsPoll, 20000);
  ASSERT_TRUE(huge);
  EXPECT_EQ(huge->fault, "huge");
  ASSERT_TRUE(Sim().AddEntry(shopId, "web", "W-1")) << Sim().LastError();

  const std::optional<SimRequest> next = Sim().WaitForRequest(huge->seq, IsPoll, 600000);
  ASSERT_TRUE(next) << "no poll after the huge reply";
  const std::int64_t heldMs = next->timeMs - huge->timeMs - static_cast<std::int64_t>(kCycleMs);
  std::cout << "the huge reply held the worker for " << heldMs / 1000 << " s\n";
  // The whole 50 MB at 8 KiB per 50 ms would take over five minutes.
  EXPECT_LT(heldMs, 240000) << "the transport did not give up at its limit";

  const HWND notice = WaitForProcessWindow({program.ProcessId(), kDialogClass, L""}, 15000);
  ASSERT_NE(notice, nullptr) << "the poll after the huge reply announces nothing";
  EXPECT_EQ(ReadControlText(notice, IDC_NOTIFY_TEXT).value_or(L"?"), Notice(1));
  ASSERT_TRUE(ClickButton(notice, IDCANCEL));
  ASSERT_TRUE(WaitUntilWindowGone(notice, 5000));
  EXPECT_TRUE(BalloonTexts(Shell()).empty()) << Quoted(BalloonTexts(Shell()));
  EXPECT_TRUE(Answers(program.MainWindow(), 5000));
  program.Command(IDM_EXIT);
  EXPECT_EQ(program.Process().WaitForExit(10000).value_or(999), 0u);
}

}  // namespace
