// First start on a PC whose stored values are odd or missing: the autostart
// value is put right (and a path of the longest length that fits is left
// alone), the user is asked once for credentials, tries them in the settings
// dialog against every kind of broken reply, saves them, and the worker logs
// in with them; after a night's sleep it is back to work at once.
#include "res/resource_ids.h"
#include "e2e_harness.h"

namespace {

constexpr wchar_t kSetCredentials[] = L"请先设置登录Zarnik网点管理中心的用户名与密码。";
constexpr wchar_t kDataError[] = L"数据错误，请稍后再试！";
constexpr wchar_t kSoundKey[] = L"AppEvents\\Schemes\\Apps\\Morvane\\MorvaneNewRequest\\.Current";

using FirstStart = EndToEnd;

TEST_F(FirstStart, AutostartCredentialsSettingsAndTheFirstLogIn) {
  // No sound chosen yet for the announcement: the program registers its own.
  ::RegDeleteKeyW(HKEY_CURRENT_USER, kSoundKey);
  // Started from a copy at a path of exactly 257 characters, the longest
  // whose quoted form fits the Run value, which is unquoted; an account and
  // a password too long to be one.
  const std::wstring installed = ProgramPath(), folder = installed.substr(0, installed.rfind(L'\\') + 1) +
                                                         std::wstring(244 - installed.rfind(L'\\'), L'a');
  const std::wstring exe = folder + L"\\morvane.exe";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  ASSERT_TRUE(::CopyFileW(installed.c_str(), exe.c_str(), FALSE));
  // The Windows the program sees, by Wine's documented per-program version:
  // this start sees Windows 7, which lacks Windows 10's notification sound.
  constexpr wchar_t kWindowsVersion[] = L"Software\\Wine\\AppDefaults\\morvane.exe";
  WriteValue(kWindowsVersion, L"Version", Text(L"win7"));
  WriteValue(kRunKey, L"Morvane", Text(exe));
  WriteValue(kCredentialsKey, L"Account", Text(Wide(account_)));
  WriteValue(kCredentialsKey, L"Password", {REG_BINARY, std::vector<std::uint8_t>(258, 0x62)});
  const std::uint64_t start = LogMark();
  MorvaneRun program(exe);
  ASSERT_TRUE(WaitForBalloon(*shell_, kSetCredentials, 30000)) << "no balloon asking for credentials";
  EXPECT_EQ(ReadValue(kRunKey, L"Morvane"), Text(L"\"" + exe + L"\""));
  EXPECT_EQ(ReadValue(kSoundKey, nullptr), Text(L"%SystemRoot%\\media\\Windows Notify.wav", REG_EXPAND_SZ));
  EXPECT_TRUE(RequestsSince(start, IsLogIn).empty());

  program.Command(IDM_SETTINGS);
  const HWND settings = WaitForWindow(program.ProcessId(), kDialogClass, L"Morvane设置", 5000);
  ASSERT_NE(settings, nullptr);
  EXPECT_TRUE(::GetWindowLongW(::GetDlgItem(settings, IDC_PASSWORD), GWL_STYLE) & ES_PASSWORD) << "shown hidden";
  EXPECT_EQ(::SendDlgItemMessageW(settings, IDC_ACCOUNT, EM_GETLIMITTEXT, 0, 0), 127) << "nothing typed is dropped";
  EXPECT_EQ(::SendDlgItemMessageW(settings, IDC_PASSWORD, EM_GETLIMITTEXT, 0, 0), 127);
  EXPECT_EQ(ControlText(settings, IDC_ACCOUNT), Wide(account_));
  EXPECT_EQ(ControlText(settings, IDC_PASSWORD), L"");
  EXPECT_EQ(ControlText(settings, IDC_STATUS), L"请设置Zarnik网点登录帐号与密码！！！");

  // The Test button goes through the same transport and reply reader as
  // the worker's log-in, off the user-interface thread.
  struct Row {
    const char* name;
    const char* fault;
    std::wstring password, verdict;
  };
  const Row rows[] = {
      {"wrong password", "", L"wrong", L"用户名或密码不正确，请重试！"},
      {"connection refused", "refuse", password_, L"网络错误，请稍后再试！"},
      {"a 500 page", "error500", password_, kDataError},
      {"body cut short", "truncate", password_, kDataError},
      {"a zero byte in the body", "nul", password_, kDataError},
      {"a slow reply to the right password", "slow", password_, L"测试通过！"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (*row.fault) SimCall("/fault", {{"host", "auth"}, {"kind", row.fault}, {"times", "1"}, {"delay_ms", "8000"}});
    const std::uint64_t before = LogMark();
    SetControlText(settings, IDC_STATUS, L"");
    SetControlText(settings, IDC_PASSWORD, row.password);
    ClickButton(settings, IDC_TEST);
    if (std::string(row.fault) == "slow") {
      // While the reply is held the dialog serves its messages, but Esc (or
      // the close box) does not end it, and no verdict shows yet.
      ASSERT_TRUE(WaitForRequest(before, IsLogIn, 5000));
      EXPECT_TRUE(Answers(settings, 1000)) << "the dialog hangs while the request is out";
      for (const int button : {IDOK, IDCANCEL, IDC_TEST})
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(settings, button))) << "button " << button;
      ::PostMessageW(settings, WM_COMMAND, IDCANCEL, 0);
      EXPECT_EQ(ControlText(settings, IDC_STATUS), L"");
    }
    EXPECT_TRUE(WaitUntil([&] { return ControlText(settings, IDC_STATUS) == row.verdict; }, 15000))
        << Utf8(ControlText(settings, IDC_STATUS).value_or(L"?"));
    // Given back to Test, which had it: the shop's Tab and Enter go on from there.
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(settings) == ::GetDlgItem(settings, IDC_TEST); }, 5000)) << "lost";
    ASSERT_EQ(RequestsSince(before, IsLogIn).size(), 1u);
  }
  // The worker's next log-in will find the service refusing the connection.
  SimCall("/fault", {{"host", "auth"}, {"kind", "refuse"}, {"times", "1"}});
  const std::uint64_t saved = LogMark();
  SetControlText(settings, IDC_PASSWORD, password_);
  ClickButton(settings, IDOK);
  ASSERT_TRUE(WaitUntilGone(settings, 5000));
  EXPECT_EQ(ReadValue(kCredentialsKey, L"Password"), storedPassword_);

  // The next cycle's log-in is refused: the same streak, no second balloon.
  // The one after logs in with the saved texts (the service accepts no
  // others) and polls at once.
  const std::optional<SimRequest> refused = WaitForRequest(saved, IsLogIn, kCycleMs + 10000);
  ASSERT_TRUE(refused);
  const std::optional<SimRequest> login = WaitForRequest(refused->seq, IsLogIn, kCycleMs + 10000);
  ASSERT_TRUE(login);
  EXPECT_GT(login->entry["time_ms"].asInt64() - refused->entry["time_ms"].asInt64(), kCycleMs - 2000);
  EXPECT_EQ(login->entry["user_agent"].asString(),
            "Mozilla/4.0.(compatible;.MSIE.6..Windows.NT.5..SV1;..NET.CLR.1.1.4322)");
  const std::optional<SimRequest> poll = WaitForRequest(login->seq, IsPoll, 3000);
  ASSERT_TRUE(poll) << "no poll: the service refused the saved texts, or the worker did not poll";
  EXPECT_EQ(poll->Param("shop_id"), shopId_);

  // The machine resumes a few seconds after that poll. Overnight the session
  // ended; the first poll is refused. The worker polls at once, tries again
  // 5 s on (not a cycle later), logs in again and announces what came in the
  // night.
  SimCall("/sessions/expire", {{"shop_id", shopId_}});
  SimCall("/entry/add", {{"shop_id", shopId_}, {"category", "web"}, {"entry", "W-1"}});
  SimCall("/fault", {{"host", "order"}, {"kind", "refuse"}, {"times", "1"}});
  const std::uint64_t resumed = LogMark();
  ::PostMessageW(program.MainWindow(), WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
  ASSERT_TRUE(WaitForRequest(resumed, IsPoll, 10000)) << "the pause ran on after the resume";
  ASSERT_NE(WaitForWindow(program.ProcessId(), kDialogClass, L"", 20000), nullptr) << "nothing announced 5 s on";
  EXPECT_EQ(Notified(*shell_, NIF_INFO), std::vector<std::wstring>{kSetCredentials});

  // The user logs off with the notice still open: the program ends as Exit
  // ends it.
  ::PostMessageW(program.MainWindow(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  EXPECT_EQ(program.WaitForExit(10000), 0u);

  // A Run value already right is left alone, even as a REG_EXPAND_SZ, which
  // a rewrite would turn into REG_SZ. From here on Windows 10, whose
  // notification sound is registered afresh.
  WriteValue(kRunKey, L"Morvane", Text(L"\"" + exe + L"\"", REG_EXPAND_SZ));
  WriteValue(kWindowsVersion, L"Version", Text(L"win10"));
  ::RegDeleteKeyW(HKEY_CURRENT_USER, kSoundKey);

  // Started at log-on before the taskbar takes icons, with a password the
  // service rejects ("x"): the failure's balloon is kept for the icon.
  WriteValue(kCredentialsKey, L"Password", {REG_BINARY, {0x79, 0x01}});
  shell_->refusing = true;
  const std::uint64_t loggedOn = LogMark();
  MorvaneRun early(exe);
  ASSERT_TRUE(WaitForRequest(loggedOn, IsLogIn, 20000));
  EXPECT_EQ(ReadValue(kSoundKey, nullptr),
            Text(L"%SystemRoot%\\media\\Windows Notify System Generic.wav", REG_EXPAND_SZ));
  shell_->refusing = false;
  EXPECT_TRUE(WaitForBalloon(*shell_, L"登录Zarnik失败，请检查用户名与密码。", 15000)) << "lost while refused";
  // The balloon goes; the tooltip keeps saying why, from the second rejected log-in on.
  EXPECT_TRUE(shell_->WaitFor(
      [](const TrayNotification& n) {
        return (n.flags & NIF_TIP) && n.tip == L"Morvane（未连接Zarnik：请检查用户名与密码）";
      },
      std::chrono::milliseconds(2 * kCycleMs)))
      << "no reason in the tooltip after two rejected log-ins";
  EXPECT_EQ(RequestsSince(loggedOn, IsLogIn).size(), 2u) << "the reason shows at the second";
  EXPECT_EQ(ReadValue(kRunKey, L"Morvane"), Text(L"\"" + exe + L"\"", REG_EXPAND_SZ)) << "rewritten";
  ::DeleteFileW(exe.c_str());
  ::RemoveDirectoryW(folder.c_str());  // inside the installed copy's folder, which an uninstall must remove
}

}  // namespace
