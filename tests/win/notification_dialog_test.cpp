// The notice that a poll shows: its text, its place in the corner of the work
// area, and what each way of closing it does. The shell's browser is pointed
// at a recorder script, so every address the notice opens is seen.
//
//   notification_dialog_test.exe RECORDER_SCRIPT URL_LOG [--gtest_...]
// (both Unix paths: the script is run by the Unix shell, and writes the log)

#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "notify/notification_dialog_win.h"
#include "res/resource_ids.h"
#include "service/service_hosts.h"
#include "service/session_state.h"
#include "service/untreated_state.h"
#include "settings/shop_credentials.h"
#include "tests/win/modal_dialog_driver.h"
#include "tests/win/recording_browser.h"
#include "tests/win/shell_tray_recorder.h"
#include "tests/win/wine_paths.h"
#include "tray/process_tray_win.h"
#include "win32/handles.h"

namespace {

using namespace std::chrono_literals;

std::string recorderScript;
std::string urlLog;

constexpr wchar_t kConsoleFailedBalloon[] = L"自动登录失败，请检查用户名与密码。";

HINSTANCE Instance() { return ::GetModuleHandleW(nullptr); }

std::string ConsoleStartPage() {
  std::string url = "http://";
  for (const char16_t* c = MORVANE_CONSOLE_HOST; *c; ++c) url += static_cast<char>(*c);
  return url + "/";
}

// Another work area for this process while the object lives, as a taskbar
// elsewhere would give.
class WorkAreaOverride {
 public:
  explicit WorkAreaOverride(const std::optional<RECT>& area) {
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &saved_, 0);
    if (!area) return;
    RECT wanted = *area;
    set_ = ::SystemParametersInfoW(SPI_SETWORKAREA, 0, &wanted, 0) != FALSE;
  }
  ~WorkAreaOverride() {
    if (set_) ::SystemParametersInfoW(SPI_SETWORKAREA, 0, &saved_, 0);
  }
  WorkAreaOverride(const WorkAreaOverride&) = delete;
  WorkAreaOverride& operator=(const WorkAreaOverride&) = delete;

 private:
  RECT saved_ = {};
  bool set_ = false;
};

std::wstring NoticeFor(int count) {
  return L"Zarnik提醒：您有 " + std::to_wstring(count) + L" 条新的业务请求，请点击“马上查看”处理。";
}

INT_PTR ShowAsThePollDoes() {
  ShowNotificationDialogModally();
  return 0;
}

// The notice with its result, which the poll itself does not look at.
INT_PTR ShowForItsResult() {
  return ::DialogBoxParamW(Instance(), MAKEINTRESOURCEW(IDD_NOTIFICATION), nullptr, NotificationDialogProc, 0);
}

class NotificationDialogTest : public ::testing::Test {
 protected:
  // The notice reports a failed console launch through the program's own
  // tray icon, so that icon exists for the whole run, shown to a recording
  // taskbar.
  static void SetUpTestSuite() {
    shell = std::make_unique<ShellTrayRecorder>();
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = Instance();
    windowClass.lpszClassName = L"MorvaneNoticeTestTarget";
    ::RegisterClassW(&windowClass);
    target.reset(::CreateWindowExW(0, L"MorvaneNoticeTestTarget", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                   Instance(), nullptr));
    trayCreated = TheSystemTray().CreateTrayIcon(Instance(), target.get(),
                                                 ::LoadIconW(Instance(), MAKEINTRESOURCEW(IDI_MORVANE)));
    browser = std::make_unique<RecordingBrowser>(recorderScript, urlLog);
  }

  static void TearDownTestSuite() {
    browser.reset();
    TheSystemTray().RemoveTrayIcon();
    target.reset();
    shell.reset();
  }

  void SetUp() override {
    ASSERT_TRUE(trayCreated);
    // No credentials and no session: a console launch can only fall back.
    WriteCredentials(TheShopCredentials(), CredentialPair{});
    ClearSessionIds(TheSessionState());
    TheUntreatedState().newCount = 1;
    shell->Clear();
    browser->Clear();
  }

  static size_t BalloonsWith(const std::wstring& text) {
    size_t count = 0;
    for (const TrayNotification& n : shell->Notifications()) count += (n.flags & NIF_INFO) && n.info == text;
    return count;
  }

  static size_t AllBalloons() {
    size_t count = 0;
    for (const TrayNotification& n : shell->Notifications()) count += (n.flags & NIF_INFO) != 0;
    return count;
  }

  static std::unique_ptr<ShellTrayRecorder> shell;
  static UniqueWindow target;
  static BOOL trayCreated;
  static std::unique_ptr<RecordingBrowser> browser;
};

std::unique_ptr<ShellTrayRecorder> NotificationDialogTest::shell;
UniqueWindow NotificationDialogTest::target;
BOOL NotificationDialogTest::trayCreated = FALSE;
std::unique_ptr<RecordingBrowser> NotificationDialogTest::browser;

TEST_F(NotificationDialogTest, ShowsTheNewCountOfThePoll) {
  for (int count : {1, 3}) {
    TheUntreatedState().newCount = count;
    std::wstring shown;
    const DrivenDialog notice = RunDrivenDialog(ShowAsThePollDoes, [&](HWND dialog) {
      shown = ControlText(dialog, IDC_NOTIFY_TEXT);
      PressButton(dialog, IDCANCEL);
    });
    ASSERT_TRUE(notice.appeared) << "count " << count;
    EXPECT_TRUE(notice.closedByDriver) << "count " << count;
    EXPECT_EQ(shown, NoticeFor(count)) << "count " << count;
  }
}

TEST_F(NotificationDialogTest, SitsFlushInTheWorkAreaCornerAboveOtherWindows) {
  const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
  const int screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
  struct Row {
    const char* name;
    std::optional<RECT> workArea;  // none: as the desktop reports it
  };
  const Row rows[] = {
      {"work area of the desktop", std::nullopt},
      {"taskbar along the bottom", RECT{0, 0, screenWidth, screenHeight - 40}},
      {"taskbar on the right", RECT{0, 0, screenWidth - 90, screenHeight}},
  };
  for (const Row& row : rows) {
    WorkAreaOverride override(row.workArea);
    RECT work = {};
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) << row.name;
    if (row.workArea) {
      ASSERT_TRUE(::EqualRect(&work, &*row.workArea)) << row.name << ": the work area could not be set";
    }

    RECT frame = {};
    LONG extendedStyle = 0;
    HWND owner = nullptr;
    const DrivenDialog notice = RunDrivenDialog(ShowAsThePollDoes, [&](HWND dialog) {
      ::GetWindowRect(dialog, &frame);
      extendedStyle = ::GetWindowLongW(dialog, GWL_EXSTYLE);
      owner = ::GetWindow(dialog, GW_OWNER);
      PressButton(dialog, IDCANCEL);
    });
    ASSERT_TRUE(notice.appeared) << row.name;
    EXPECT_EQ(frame.right, work.right) << row.name;
    EXPECT_EQ(frame.bottom, work.bottom) << row.name;
    EXPECT_GT(frame.right - frame.left, 0) << row.name;
    EXPECT_GT(frame.bottom - frame.top, 0) << row.name;
    EXPECT_NE(extendedStyle & WS_EX_TOPMOST, 0) << row.name;
    EXPECT_EQ(owner, nullptr) << row.name;
  }
}

TEST_F(NotificationDialogTest, EachWayOfClosingEndsWithItsResult) {
  struct Row {
    const char* name;
    std::function<void(HWND)> close;
    INT_PTR result;
    bool opensStartPage;  // View now without credentials or session
  };
  bool stayedOpen = false;
  const std::vector<Row> rows = {
      {"Later", [](HWND dialog) { PressButton(dialog, IDCANCEL); }, IDCANCEL, false},
      {"Esc", [](HWND dialog) { PressKey(dialog, VK_ESCAPE); }, IDCANCEL, false},
      {"another command, then Later",
       [&](HWND dialog) {
         ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_NOTIFY_TEXT, STN_CLICKED), 0);
         stayedOpen = !WaitUntilClosed(dialog, 700ms);
         PressButton(dialog, IDCANCEL);
       },
       IDCANCEL, false},
      {"View now", [](HWND dialog) { PressButton(dialog, IDOK); }, IDOK, true},
      {"Enter", [](HWND dialog) { PressKey(dialog, VK_RETURN); }, IDOK, true},
  };
  for (const Row& row : rows) {
    shell->Clear();
    browser->Clear();
    stayedOpen = true;
    const DrivenDialog notice = RunDrivenDialog(ShowForItsResult, row.close);
    ASSERT_TRUE(notice.appeared) << row.name;
    EXPECT_TRUE(notice.closedByDriver) << row.name;
    EXPECT_TRUE(stayedOpen) << row.name;
    EXPECT_EQ(notice.result, row.result) << row.name;

    const std::vector<std::string> urls = browser->UrlsAfterSettling(row.opensStartPage ? 1 : 0, 10000);
    if (row.opensStartPage) {
      EXPECT_EQ(urls, std::vector<std::string>{ConsoleStartPage()}) << row.name;
      EXPECT_EQ(BalloonsWith(kConsoleFailedBalloon), 1u) << row.name;
      EXPECT_EQ(AllBalloons(), 1u) << row.name;
    } else {
      EXPECT_TRUE(urls.empty()) << row.name << ": opened " << (urls.empty() ? "" : urls[0]);
      EXPECT_EQ(AllBalloons(), 0u) << row.name;
    }
    EXPECT_FALSE(HasSession(TheSessionState())) << row.name;
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 3) {
    fprintf(stderr, "usage: notification_dialog_test RECORDER_SCRIPT URL_LOG\n");
    return 2;
  }
  recorderScript = argv[1];
  urlLog = argv[2];
  return RUN_ALL_TESTS();
}
