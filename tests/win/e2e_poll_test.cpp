// The shipped exe with credentials stored: the first poll announces the
// waiting requests, View now opens the console signed in, a second copy ends
// at once, and a session that the service ends is renewed by a new log-in.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "res/resource_ids.h"
#include "service/service_hosts.h"
#include "tests/win/e2e_harness.h"
#include "tests/win/window_driver.h"

namespace {

using namespace std::chrono_literals;

constexpr char kPassword[] = "poll-pass";
constexpr wchar_t kNoticeOfThree[] = L"Zarnik提醒：您有 3 条新的业务请求，请点击“马上查看”处理。";
constexpr wchar_t kTooltipOfThree[] = L"Morvane（3条待处理业务请求）";

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::string ConsoleEntryPrefix() {
  std::string url = "http://";
  for (const char16_t* c = MORVANE_CONSOLE_HOST; *c; ++c) url += static_cast<char>(*c);
  return url + "/frame/next?go=5&key=";
}

bool IsTooltip(const TrayNotification& n, const wchar_t* text) {
  return n.message == NIM_MODIFY && (n.flags & NIF_TIP) && n.tip == text;
}

using PollTest = EndToEndTest;

TEST_F(PollTest, AnnouncesWaitingRequestsOpensTheConsoleAndRenewsAnEndedSession) {
  const std::string account = UniqueName("poll");
  const std::string shopId = UniqueName("shop");
  ASSERT_TRUE(Sim().AddShop(account, kPassword, shopId)) << Sim().LastError();
  for (const auto& [category, entry] : {std::pair{"web", "W-1001"}, {"web", "W-1002"}, {"tousu", "投诉-2001"}})
    ASSERT_TRUE(Sim().AddEntry(shopId, category, entry)) << Sim().LastError();
  StoreCredentials(Wide(account), Wide(kPassword));
  const std::uint64_t start = LogMark();

  MorvaneRun program(Shell());
  ASSERT_TRUE(program.IconShown());
  ASSERT_NE(program.MainWindow(), nullptr);

  // The first cycle logs in and polls at once; all three requests are new.
  const HWND notice = WaitForProcessWindow({program.ProcessId(), kDialogClass, L""}, 20000);
  ASSERT_NE(notice, nullptr) << "no notification dialog after the first poll";
  const std::vector<SimRequest> logins = RequestsSince(Sim(), start, IsLogIn);
  const std::vector<SimRequest> polls = RequestsSince(Sim(), start, IsPoll);
  ASSERT_EQ(logins.size(), 1u);
  ASSERT_EQ(polls.size(), 1u);
  EXPECT_EQ(logins[0].Param("name").value_or("?"), account);
  EXPECT_EQ(logins[0].Param("pwd").value_or("?"), kPassword);
  EXPECT_LT(polls[0].timeMs - logins[0].timeMs, 3000) << "the first poll does not wait for a pause";
  EXPECT_EQ(polls[0].Param("shop_id").value_or("?"), shopId);
  const std::string session = polls[0].Param("session_id").value_or("");
  EXPECT_FALSE(session.empty());

  EXPECT_EQ(ReadControlText(notice, IDC_NOTIFY_TEXT).value_or(L"?"), kNoticeOfThree);
  RECT frame = {};
  RECT work = {};
  ASSERT_TRUE(::GetWindowRect(notice, &frame));
  ASSERT_TRUE(::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
  EXPECT_EQ(frame.right, work.right) << "flush with the work area's right edge";
  EXPECT_EQ(frame.bottom, work.bottom) << "flush with the work area's bottom edge";
  EXPECT_NE(::GetWindowLongW(notice, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  // While the notice is open the tooltip keeps the text it was added with.
  EXPECT_EQ(TooltipTexts(Shell()), std::vector<std::wstring>{L"Morvane"}) << Quoted(TooltipTexts(Shell()));

  ASSERT_TRUE(ClickButton(notice, IDOK));
  ASSERT_TRUE(WaitUntilWindowGone(notice, 15000));
  const std::vector<std::string> urls = Browser().UrlsAfterSettling(1, 10000);
  ASSERT_EQ(urls.size(), 1u);
  const std::string prefix = ConsoleEntryPrefix();
  ASSERT_EQ(urls[0].compare(0, prefix.size(), prefix), 0) << urls[0];
  EXPECT_GT(urls[0].size(), prefix.size()) << "a key follows";
  const std::vector<SimRequest> keyRequests = RequestsSince(Sim(), start, IsKeyRequest);
  ASSERT_EQ(keyRequests.size(), 1u);
  EXPECT_EQ(keyRequests[0].Param("session_id").value_or("?"), session);
  // The key is one the simulator issued for this shop and nobody spent yet:
  // it opens the shop's console page once, and only once.
  const std::optional<SimPage> console = Sim().Browse(urls[0]);
  ASSERT_TRUE(console);
  EXPECT_EQ(console->status, 200u);
  EXPECT_NE(console->body.find(shopId), std::string::npos);
  const std::optional<SimPage> again = Sim().Browse(urls[0]);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->status, 403u) << "the key was spent";

  EXPECT_TRUE(Shell().WaitFor([](const TrayNotification& n) { return IsTooltip(n, kTooltipOfThree); }, 5s))
      << "tooltips: " << Quoted(TooltipTexts(Shell()));
  EXPECT_TRUE(BalloonTexts(Shell()).empty()) << Quoted(BalloonTexts(Shell()));

  {
    const size_t added = IconMessages(Shell(), NIM_ADD);
    const std::uint64_t mark = LogMark();
    RunningProgram second(TheE2eSettings().programPath);
    ASSERT_TRUE(second.Started());
    EXPECT_EQ(second.WaitForExit(5000).value_or(999), 0u) << "a second copy ends at once";
    EXPECT_EQ(IconMessages(Shell(), NIM_ADD), added);
    EXPECT_TRUE(RequestsSince(Sim(), mark, IsLogIn).empty()) << "a second copy does not log in";
    EXPECT_FALSE(program.Process().WaitForExit(0)) << "the first copy runs on";
  }

  // The service ends the session: the next poll is refused, and the cycle
  // after it logs in afresh and polls with the new session.
  const std::uint64_t beforeEnd = LogMark();
  ASSERT_TRUE(Sim().ExpireSessions(shopId)) << Sim().LastError();
  const std::optional<SimRequest> refused = Sim().WaitForRequest(beforeEnd, IsPoll, kCycleMs + 10000);
  ASSERT_TRUE(refused) << "no poll within a cycle";
  EXPECT_EQ(refused->Param("session_id").value_or("?"), session);
  const std::optional<SimRequest> renewal = Sim().WaitForRequest(refused->seq, IsLogIn, kCycleMs + 10000);
  ASSERT_TRUE(renewal) << "no log-in in the cycle after the refused poll";
  EXPECT_GT(renewal->timeMs - refused->timeMs, static_cast<std::int64_t>(kCycleMs) - 2000);
  EXPECT_LT(renewal->timeMs - refused->timeMs, static_cast<std::int64_t>(kCycleMs) + 5000);
  const std::optional<SimRequest> renewedPoll = Sim().WaitForRequest(renewal->seq, IsPoll, 5000);
  ASSERT_TRUE(renewedPoll);
  EXPECT_EQ(RequestsSince(Sim(), refused->seq, IsPoll).size(), 1u) << "no poll without a session";
  const std::string renewed = renewedPoll->Param("session_id").value_or("");
  EXPECT_FALSE(renewed.empty());
  EXPECT_NE(renewed, session);
  // The same requests still wait: nothing new to announce, nothing to report.
  ::Sleep(2000);
  EXPECT_TRUE(FindProcessWindows({program.ProcessId(), kDialogClass, L""}).empty());
  EXPECT_TRUE(BalloonTexts(Shell()).empty()) << Quoted(BalloonTexts(Shell()));

  program.Command(IDM_EXIT);
  EXPECT_EQ(program.Process().WaitForExit(10000).value_or(999), 0u);
  EXPECT_TRUE(Shell().WaitFor([](const TrayNotification& n) { return n.message == NIM_DELETE; }, 2s));
  EXPECT_EQ(IconMessages(Shell(), NIM_DELETE), 1u);
}

}  // namespace
