// The shipped exe's first start on a PC where nothing is stored yet: it asks
// once for the shop's credentials, the user tries and saves them in the
// settings dialog, and the next cycle of the worker logs in with them.
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

constexpr wchar_t kSetCredentialsBalloon[] = L"请先设置登录Zarnik网点管理中心的用户名与密码。";
constexpr wchar_t kSetCredentialsPrompt[] = L"请设置Zarnik网点登录帐号与密码！！！";
constexpr char kPassword[] = "pass-7";
// "pass-7" in UTF-16LE with every byte raised by one.
const std::vector<std::uint8_t> kShiftedPassword = {0x71, 0x01, 0x62, 0x01, 0x74, 0x01,
                                                    0x74, 0x01, 0x2E, 0x01, 0x38, 0x01};

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::vector<std::uint8_t> Utf16WithTerminator(const std::string& ascii) {
  std::vector<std::uint8_t> bytes;
  for (char c : ascii) {
    bytes.push_back(static_cast<std::uint8_t>(c));
    bytes.push_back(0);
  }
  bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

void ExpectSentByTheProgram(const SimRequest& request, const char* what) {
  EXPECT_TRUE(request.proxied) << what << ": the browser proxy settings are followed";
  EXPECT_EQ(request.userAgent, kUserAgent8) << what;
}

using FirstStartTest = EndToEndTest;

TEST_F(FirstStartTest, AsksOnceForCredentialsThenLogsInWithTheOnesSavedInSettings) {
  const std::string account = UniqueName("first");
  const std::string shopId = UniqueName("shop");
  ASSERT_TRUE(Sim().AddShop(account, kPassword, shopId)) << Sim().LastError();
  DeleteStoredCredentials();
  const std::uint64_t start = LogMark();

  MorvaneRun program(Shell());
  ASSERT_TRUE(program.IconShown());
  ASSERT_NE(program.MainWindow(), nullptr);

  // The first cycle runs at once and finds nothing to log in with.
  ASSERT_TRUE(Shell().WaitFor([](const TrayNotification& n) { return n.info == kSetCredentialsBalloon; }, 10s));
  const DWORD firstCycle = ::GetTickCount();
  for (const TrayNotification& n : Shell().Notifications()) {
    if (n.flags & NIF_INFO) {
      EXPECT_EQ(n.infoTitle, L"Morvane");
    }
  }
  EXPECT_TRUE(RequestsSince(Sim(), start, IsLogIn).empty()) << "no log-in request without credentials";

  program.Command(IDM_SETTINGS);
  const HWND settings = WaitForProcessWindow({program.ProcessId(), kDialogClass, kSettingsCaption}, 5000);
  ASSERT_NE(settings, nullptr);
  EXPECT_EQ(ReadControlText(settings, IDC_ACCOUNT).value_or(L"?"), L"");
  EXPECT_EQ(ReadControlText(settings, IDC_PASSWORD).value_or(L"?"), L"");
  EXPECT_TRUE(WaitForControlText(settings, IDC_STATUS, kSetCredentialsPrompt, 2000));

  struct Row {
    const char* name;
    std::string password;
    std::wstring verdict;
  };
  const Row rows[] = {
      {"wrong password", "pass-8", L"用户名或密码不正确，请重试！"},
      {"right password", kPassword, L"测试通过！"},
  };
  for (const Row& row : rows) {
    const std::uint64_t before = LogMark();
    ASSERT_TRUE(SetEditText(settings, IDC_ACCOUNT, Wide(account))) << row.name;
    ASSERT_TRUE(SetEditText(settings, IDC_PASSWORD, Wide(row.password))) << row.name;
    ASSERT_TRUE(ClickButton(settings, IDC_TEST)) << row.name;
    EXPECT_TRUE(WaitForControlText(settings, IDC_STATUS, row.verdict, 15000))
        << row.name << ": the status line shows \"" << ReadControlText(settings, IDC_STATUS).value_or(L"?") << "\"";
    const std::vector<SimRequest> logins = RequestsSince(Sim(), before, IsLogIn);
    ASSERT_EQ(logins.size(), 1u) << row.name;
    EXPECT_EQ(logins[0].Param("name").value_or("?"), account) << row.name;
    EXPECT_EQ(logins[0].Param("pwd").value_or("?"), row.password) << row.name;
    ExpectSentByTheProgram(logins[0], row.name);
  }

  // The second cycle, 30 seconds after the first, still finds no stored
  // credentials (the dialog has not been confirmed) and stays quiet.
  SleepUntil(firstCycle, kCycleMs + 3000);
  EXPECT_EQ(BalloonTexts(Shell()), std::vector<std::wstring>{kSetCredentialsBalloon}) << Quoted(BalloonTexts(Shell()));
  EXPECT_EQ(RequestsSince(Sim(), start, IsLogIn).size(), 2u) << "only the two tests logged in";

  ASSERT_TRUE(ClickButton(settings, IDOK));
  ASSERT_TRUE(WaitUntilWindowGone(settings, 5000));
  const std::int64_t savedAt = EpochMilliseconds();
  const std::uint64_t saved = LogMark();

  const std::optional<RegistryValue> storedAccount = ReadStoredValue(L"Account");
  ASSERT_TRUE(storedAccount);
  EXPECT_EQ(storedAccount->type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(storedAccount->bytes, Utf16WithTerminator(account));
  const std::optional<RegistryValue> storedPassword = ReadStoredValue(L"Password");
  ASSERT_TRUE(storedPassword);
  EXPECT_EQ(storedPassword->type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(storedPassword->bytes, kShiftedPassword);

  // The next cycle logs in with what was saved and polls right after.
  const std::optional<SimRequest> login = Sim().WaitForRequest(saved, IsLogIn, kCycleMs + 10000);
  ASSERT_TRUE(login) << "no log-in within a cycle of the save";
  EXPECT_EQ(login->Param("name").value_or("?"), account);
  EXPECT_EQ(login->Param("pwd").value_or("?"), kPassword);
  EXPECT_LT(login->timeMs - savedAt, static_cast<std::int64_t>(kCycleMs)) << "a log-in at the next cycle";
  ExpectSentByTheProgram(*login, "worker log-in");
  const std::optional<SimRequest> poll = Sim().WaitForRequest(login->seq, IsPoll, 5000);
  ASSERT_TRUE(poll) << "a successful log-in is followed by a poll at once";
  EXPECT_EQ(poll->Param("shop_id").value_or("?"), shopId);
  EXPECT_FALSE(poll->Param("session_id").value_or("").empty());
  EXPECT_LT(poll->timeMs - login->timeMs, 3000);
  ExpectSentByTheProgram(*poll, "poll");
  // Nothing waits for the shop: the tooltip is set to the plain name.
  EXPECT_TRUE(Shell().WaitFor(
      [](const TrayNotification& n) { return n.message == NIM_MODIFY && (n.flags & NIF_TIP) && n.tip == L"Morvane"; },
      5s));
  EXPECT_EQ(BalloonTexts(Shell()).size(), 1u) << "a successful log-in shows nothing: " << Quoted(BalloonTexts(Shell()));

  program.Command(IDM_EXIT);
  EXPECT_EQ(program.Process().WaitForExit(10000).value_or(999), 0u);
  EXPECT_TRUE(Shell().WaitFor([](const TrayNotification& n) { return n.message == NIM_DELETE; }, 2s));
}

}  // namespace
