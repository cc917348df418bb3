// The shipped exe with credentials stored, in one run: the notice of waiting
// requests and the console it opens, a second start, the console command
// without a key, a session the service ends, a host that accepts and never
// answers, recovery without a restart, a service out of reach, and Exit
// while a reply is awaited.
#include <fstream>

#include "res/resource_ids.h"
#include "e2e_harness.h"

namespace {

using namespace std::string_literals;
constexpr wchar_t kNoKey[] = L"自动登录失败，请检查用户名与密码。";

std::wstring Notice(int count) {
  return L"Zarnik提醒：您有 " + std::to_wstring(count) + L" 条新的业务请求，请点击“马上查看”处理。";
}

std::wstring Waiting(int total) { return L"Morvane（" + std::to_wstring(total) + L"条待处理业务请求）"; }

using PollAndFaults = EndToEnd;

TEST_F(PollAndFaults, NoticeConsoleSessionEndHangingHostAndExit) {
  for (const char* entry : {"W-1", "W-2"})
    SimCall("/entry/add", {{"shop_id", shopId_}, {"category", "web"}, {"entry", entry}});
  SimCall("/entry/add", {{"shop_id", shopId_}, {"category", "tousu"}, {"entry", "投诉-1"}});
  WriteValue(kCredentialsKey, L"Account", Text(Wide(account_)));
  WriteValue(kCredentialsKey, L"Password", storedPassword_);
  // The shop chose a sound of its own for the announcement, a small wave
  // file (Wine plays the scheme's .Default): kept, and read with each notice.
  const std::wstring wav = std::wstring(_wgetenv(L"TEMP")) + L"\\morvane-chosen.wav";
  const std::wstring sound = L"AppEvents\\Schemes\\Apps\\Morvane\\MorvaneNewRequest\\.";
  std::ofstream(wav.c_str(), std::ios::binary)
      << "RIFF\x2c\0\0\0WAVEfmt \x10\0\0\0\1\0\1\0\x40\x1f\0\0\x40\x1f\0\0\1\0\x08\0data\x08\0\0\0\x80\x80\x80\x80\x80\x80\x80\x80"s;
  for (const wchar_t* scheme : {L"Default", L"Current"}) WriteValue((sound + scheme).c_str(), nullptr, Text(wav));
  const std::uint64_t start = LogMark();
  // Started at log-on before the taskbar takes icons: the program serves the
  // shop meanwhile.
  shell_->refusing = true;
  MorvaneRun program(ProgramPath());
  ASSERT_NE(program.MainWindow(), nullptr);

  // The first cycle logs in and polls at once; all three are new.
  HWND notice = WaitForWindow(program.ProcessId(), kDialogClass, L"", 20000);
  ASSERT_NE(notice, nullptr);
  EXPECT_EQ(ControlText(notice, IDC_NOTIFY_TEXT), Notice(3));
  const std::string session = RequestsSince(start, IsPoll).at(0).Param("session_id");

  // View now: the console opens with a fresh key of this session, once,
  // though pressed again while the key's reply is held: the notice answers
  // meanwhile. Then the taskbar comes up: the icon is added as the record
  // now stands.
  SimCall("/fault", {{"host", "auth"}, {"kind", "slow"}, {"times", "1"}, {"delay_ms", "8000"}});
  ClickButton(notice, IDOK);
  ASSERT_TRUE(WaitForRequest(start, IsKeyRequest, 10000)) << "View now asked for no key";
  EXPECT_TRUE(Answers(notice, 1000)) << "the notice hangs while its key request is out";
  ClickButton(notice, IDOK);
  ASSERT_TRUE(WaitUntilGone(notice, 20000));
  ASSERT_TRUE(WaitUntil([] { return !OpenedUrls().empty(); }, 15000)) << "View now opened nothing";
  shell_->refusing = false;
  ASSERT_TRUE(shell_->WaitFor([](const TrayNotification& n) { return n.message == NIM_ADD; }));
  EXPECT_EQ(shell_->Notifications().at(0).tip, Waiting(3));
  WIN32_FILE_ATTRIBUTE_DATA played = {};  // read after it was written: Wine opened it to play it
  ::GetFileAttributesExW(wav.c_str(), GetFileExInfoStandard, &played);
  EXPECT_EQ(::CompareFileTime(&played.ftLastAccessTime, &played.ftLastWriteTime), 1) << "the sound was not played";
  EXPECT_EQ(ReadValue((sound + L"Current").c_str(), nullptr), Text(wav)) << "the shop's choice was overwritten";
  const std::vector<SimRequest> keys = RequestsSince(start, IsKeyRequest);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].Param("session_id"), session);
  ASSERT_EQ(OpenedUrls().size(), 1u);
  const std::string url = OpenedUrls()[0];
  EXPECT_EQ(url.rfind(ConsoleUrl("/frame/next?go=5&key="), 0), 0u) << url;
  const auto page = Browse(url);
  ASSERT_TRUE(page);
  EXPECT_NE(page->second.find(shopId_), std::string::npos) << "the shop's own console";
  EXPECT_EQ(Browse(url)->first, 403u) << "the key was spent";

  // A second copy ends at once and does nothing.
  const std::uint64_t mark = LogMark();
  MorvaneRun second(ProgramPath());
  EXPECT_EQ(second.WaitForExit(5000), 0u);
  EXPECT_TRUE(RequestsSince(mark, IsLogIn).empty());
  EXPECT_FALSE(program.WaitForExit(0));

  // The service ends the session: the tray's console command gets no key,
  // opens the start page and says so.
  SimCall("/sessions/expire", {{"shop_id", shopId_}});
  const std::uint64_t expired = LogMark();
  program.Command(IDM_OPEN_CONSOLE);
  EXPECT_TRUE(WaitForBalloon(*shell_, kNoKey, 10000));
  EXPECT_TRUE(WaitUntil([] { return OpenedUrls().size() == 2; }, 15000)) << "the start page did not open";
  EXPECT_EQ(OpenedUrls().back(), ConsoleUrl("/"));
  EXPECT_EQ(RequestsSince(expired, IsKeyRequest).size(), 1u);

  // The next poll is refused ("No authority"); the cycle after logs in
  // again and its poll meets a host that accepts and never answers.
  const std::optional<SimRequest> refused = WaitForRequest(expired, IsPoll, kCycleMs + 10000);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->Param("session_id"), session);
  SimCall("/entry/add", {{"shop_id", shopId_}, {"category", "liuyan"}, {"entry", "留言-1"}});
  SimCall("/fault", {{"host", "order"}, {"kind", "slow"}, {"times", "1"}, {"delay_ms", "120000"}});
  const std::optional<SimRequest> hung = WaitForRequest(refused->seq, IsPoll, kCycleMs + 10000);
  ASSERT_TRUE(hung);
  EXPECT_EQ(hung->entry["fault"].asString(), "slow");
  EXPECT_EQ(RequestsSince(refused->seq, IsLogIn).size(), 1u);
  EXPECT_NE(hung->Param("session_id"), session);
  EXPECT_TRUE(Answers(program.MainWindow())) << "the tray stays usable while the worker waits";

  // The wait is bounded: the next cycle polls within a minute and a half and
  // announces what came meanwhile.
  const std::optional<SimRequest> next = WaitForRequest(hung->seq, IsPoll, 90000);
  ASSERT_TRUE(next) << "the worker still waits for the host that never answers";
  notice = WaitForWindow(program.ProcessId(), kDialogClass, L"", 10000);
  ASSERT_NE(notice, nullptr);
  EXPECT_EQ(ControlText(notice, IDC_NOTIFY_TEXT), Notice(1));
  ClickButton(notice, IDCANCEL);
  ASSERT_TRUE(WaitUntilGone(notice, 5000));
  ASSERT_TRUE(shell_->WaitFor([](const TrayNotification& n) { return (n.flags & NIF_TIP) && n.tip == Waiting(4); }));
  ::Sleep(1500);
  EXPECT_EQ(OpenedUrls().size(), 2u) << "Later opens nothing";
  EXPECT_EQ(Notified(*shell_, NIF_INFO), std::vector<std::wstring>{kNoKey}) << "a failed poll shows nothing";

  // The order host refuses connections: the second cycle in a row without a
  // reply shows that the service cannot be reached, in the tooltip and in an
  // icon of greys only; the first good poll brings back the badge.
  std::vector<BYTE> badge;
  for (const TrayNotification& n : shell_->Notifications()) badge = (n.flags & NIF_ICON) ? n.iconColour : badge;
  const std::uint64_t refusing = LogMark();
  SimCall("/fault", {{"host", "order"}, {"kind", "refuse"}});
  ASSERT_TRUE(shell_->WaitFor(
      [](const TrayNotification& n) { return n.tip == L"Morvane（未连接Zarnik：请检查网络，4条待处理业务请求）"; },
      std::chrono::milliseconds(3 * kCycleMs)))
      << "no not-connected tooltip within three cycles";
  EXPECT_EQ(RequestsSince(refusing, IsPoll).size(), 2u) << "not connected at the second refused poll";
  EXPECT_TRUE(shell_->WaitFor([](const TrayNotification& n) {
    bool greys = (n.flags & NIF_ICON) && !n.iconColour.empty();  // 32 bits a pixel: blue, green, red, alpha
    for (size_t i = 0; greys && i < n.iconColour.size(); i += 4)
      greys = n.iconColour[i] == n.iconColour[i + 1] && n.iconColour[i + 1] == n.iconColour[i + 2];
    return greys;
  })) << "the not-connected icon";
  shell_->Clear();
  SimCall("/fault/clear");
  ASSERT_TRUE(shell_->WaitFor([&](const TrayNotification& n) { return (n.flags & NIF_ICON) && n.iconColour == badge; },
                              std::chrono::milliseconds(kCycleMs + 10000)));
  EXPECT_EQ(RequestsSince(refusing, IsPoll).size(), 3u) << "the badge is back at the first good poll";

  // Exit while the worker waits for a reply: the process ends cleanly.
  SimCall("/fault", {{"host", "order"}, {"kind", "slow"}, {"times", "1"}, {"delay_ms", "120000"}});
  ASSERT_TRUE(WaitForRequest(LogMark(), IsPoll, kCycleMs + 10000));
  program.Command(IDM_EXIT);
  EXPECT_EQ(program.WaitForExit(10000), 0u);
  EXPECT_TRUE(shell_->WaitFor([](const TrayNotification& n) { return n.message == NIM_DELETE; }));
}

}  // namespace
