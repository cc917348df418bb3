// The shipped exe while the service is down: one balloon for the streak of
// failed log-ins, and a full recovery once the service answers again.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "res/resource_ids.h"
#include "tests/win/e2e_harness.h"
#include "tests/win/window_driver.h"

namespace {

using namespace std::chrono_literals;

constexpr char kPassword[] = "outage-pass";
constexpr wchar_t kNetworkBalloon[] = L"登录Zarnik失败，请检查网络情况。";

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

using OutageTest = EndToEndTest;

TEST_F(OutageTest, OneBalloonWhileTheServiceIsDownAndRecoveryWhenItIsBack) {
  const std::string account = UniqueName("outage");
  const std::string shopId = UniqueName("shop");
  ASSERT_TRUE(Sim().AddShop(account, kPassword, shopId)) << Sim().LastError();
  StoreCredentials(Wide(account), Wide(kPassword));
  // Every connection to the service's hosts is dropped before a reply.
  for (const char* host : {"auth", "order", "console"}) {
    ASSERT_TRUE(Sim().ArmFault(host, "refuse")) << Sim().LastError();
  }
  const std::uint64_t start = LogMark();

  MorvaneRun program(Shell());
  ASSERT_TRUE(program.IconShown());
  ASSERT_NE(program.MainWindow(), nullptr);

  EXPECT_TRUE(Shell().WaitFor([](const TrayNotification& n) { return n.info == kNetworkBalloon; }, 15s))
      << "balloons: " << Quoted(BalloonTexts(Shell()));
  const std::vector<SimRequest> first = RequestsSince(Sim(), start, IsLogIn);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].fault, "refuse");

  // The next attempt, a cycle later, fails the same way and shows nothing.
  const std::optional<SimRequest> second = Sim().WaitForRequest(first[0].seq, IsLogIn, kCycleMs + 10000);
  ASSERT_TRUE(second) << "no second attempt within a cycle";
  EXPECT_EQ(second->fault, "refuse");
  EXPECT_GT(second->timeMs - first[0].timeMs, static_cast<std::int64_t>(kCycleMs) - 2000);
  ::Sleep(2000);
  EXPECT_EQ(BalloonTexts(Shell()), std::vector<std::wstring>{kNetworkBalloon})
      << "one balloon per streak: " << Quoted(BalloonTexts(Shell()));
  EXPECT_TRUE(RequestsSince(Sim(), start, IsPoll).empty()) << "no poll without a session";

  // The service is back, with a customer message waiting.
  ASSERT_TRUE(Sim().AddEntry(shopId, "liuyan", "留言-3001")) << Sim().LastError();
  ASSERT_TRUE(Sim().ClearFaults()) << Sim().LastError();
  const std::optional<SimRequest> login = Sim().WaitForRequest(second->seq, IsLogIn, kCycleMs + 10000);
  ASSERT_TRUE(login) << "no log-in within a cycle of the recovery";
  EXPECT_EQ(login->fault, "");
  const std::optional<SimRequest> poll = Sim().WaitForRequest(login->seq, IsPoll, 5000);
  ASSERT_TRUE(poll);
  EXPECT_EQ(poll->Param("shop_id").value_or("?"), shopId);

  const HWND notice = WaitForProcessWindow({program.ProcessId(), kDialogClass, L""}, 10000);
  ASSERT_NE(notice, nullptr);
  EXPECT_EQ(ReadControlText(notice, IDC_NOTIFY_TEXT).value_or(L"?"),
            L"Zarnik提醒：您有 1 条新的业务请求，请点击“马上查看”处理。");
  ASSERT_TRUE(ClickButton(notice, IDCANCEL));
  ASSERT_TRUE(WaitUntilWindowGone(notice, 5000));
  EXPECT_TRUE(Shell().WaitFor(
      [](const TrayNotification& n) { return (n.flags & NIF_TIP) && n.tip == L"Morvane（1条待处理业务请求）"; }, 5s))
      << "tooltips: " << Quoted(TooltipTexts(Shell()));
  EXPECT_TRUE(Browser().UrlsAfterSettling(0, 0).empty()) << "Later opens nothing";
  EXPECT_TRUE(RequestsSince(Sim(), poll->seq, IsKeyRequest).empty());
  EXPECT_EQ(BalloonTexts(Shell()).size(), 1u) << "recovery shows no balloon: " << Quoted(BalloonTexts(Shell()));

  program.Command(IDM_EXIT);
  EXPECT_EQ(program.Process().WaitForExit(10000).value_or(999), 0u);
  EXPECT_TRUE(Shell().WaitFor([](const TrayNotification& n) { return n.message == NIM_DELETE; }, 2s));
}

}  // namespace
