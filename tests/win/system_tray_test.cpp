// The tray icon against a stand-in taskbar: what reaches the shell, and what
// the icon does with the mouse, the animation timer and a re-created taskbar.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "res/resource_ids.h"
#include "tests/win/shell_tray_recorder.h"
#include "tray/system_tray_win.h"

namespace {

using namespace std::chrono_literals;

HINSTANCE Instance() { return ::GetModuleHandleW(nullptr); }

HICON IconResource(int id) { return ::LoadIconW(Instance(), MAKEINTRESOURCEW(id)); }

// Dispatches this thread's messages for a while, calling observe after each.
template <typename Observe>
void PumpMessages(std::chrono::milliseconds duration, Observe observe) {
  const auto end = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < end) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
      observe();
    }
    ::Sleep(5);
  }
}

void PumpMessages(std::chrono::milliseconds duration) {
  PumpMessages(duration, [] {});
}

// A plain hidden window that stands in for the main window.
class TargetWindow {
 public:
  TargetWindow() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = Instance();
    windowClass.lpszClassName = L"MorvaneTestTarget";
    ::RegisterClassW(&windowClass);
    window_ = ::CreateWindowExW(0, L"MorvaneTestTarget", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                Instance(), nullptr);
  }
  ~TargetWindow() { ::DestroyWindow(window_); }
  HWND get() const { return window_; }

  // The command of a WM_COMMAND posted to this window, if one is waiting.
  int TakePostedCommand() {
    MSG message;
    if (::PeekMessageW(&message, window_, WM_COMMAND, WM_COMMAND, PM_REMOVE)) return LOWORD(message.wParam);
    return -1;
  }

 private:
  HWND window_ = nullptr;
};

class SystemTrayTest : public ::testing::Test {
 protected:
  void CreateIcon() {
    ASSERT_TRUE(tray.CreateTrayIcon(Instance(), target.get(), IconResource(IDI_MORVANE)));
    ASSERT_TRUE(shell.WaitForCount(1));
    shell.Clear();
  }

  std::vector<TrayNotification> Sent() { return shell.Notifications(); }

  ShellTrayRecorder shell;
  TargetWindow target;
  CSystemTray tray;
};

TEST_F(SystemTrayTest, CreationAddsTheIconWithItsTooltipForTheTargetWindow) {
  ASSERT_TRUE(tray.CreateTrayIcon(Instance(), target.get(), IconResource(IDI_MORVANE)));
  ASSERT_TRUE(shell.WaitForCount(1));
  const TrayNotification added = Sent().at(0);
  EXPECT_EQ(added.message, static_cast<DWORD>(NIM_ADD));
  EXPECT_EQ(added.flags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
  EXPECT_EQ(added.id, 130u);
  EXPECT_EQ(added.callbackMessage, 32778u);
  EXPECT_EQ(added.window, target.get());
  EXPECT_EQ(added.tip, L"Morvane");
  EXPECT_TRUE(added.hasIcon);
  EXPECT_EQ(tray.RecordSnapshot().cbSize, kTrayRecordSize);
}

TEST_F(SystemTrayTest, TooltipKeepsItsFirst127Characters) {
  CreateIcon();
  std::wstring longText;
  for (int i = 0; i < 200; ++i) longText += static_cast<wchar_t>(L'A' + i % 26);
  ASSERT_TRUE(tray.SetTooltipText(longText.c_str()));
  ASSERT_EQ(Sent().size(), 1u);
  EXPECT_EQ(Sent()[0].tip, longText.substr(0, 127));
  EXPECT_EQ(tray.RecordSnapshot().szTip[127], L'\0');

  ASSERT_TRUE(tray.SetTooltipText(L"Morvane（3条待处理业务请求）"));
  EXPECT_EQ(Sent().back().tip, L"Morvane（3条待处理业务请求）") << "a shorter text must not keep the old tail";
}

TEST_F(SystemTrayTest, EachUpdateSendsOnlyItsOwnPart) {
  CreateIcon();
  struct Row {
    const char* name;
    std::function<BOOL()> update;
    UINT flags;
  };
  const std::vector<Row> rows = {
      {"balloon", [&] { return tray.ShowBalloon(L"登录Zarnik失败，请检查网络情况。"); }, NIF_INFO},
      {"tooltip", [&] { return tray.SetTooltipText(L"Morvane"); }, NIF_TIP},
      {"icon", [&] { return tray.SetIconImage(IconResource(IDI_SPIN_1)); }, NIF_ICON},
  };
  for (const Row& row : rows) {
    shell.Clear();
    ASSERT_TRUE(row.update()) << row.name;
    ASSERT_EQ(Sent().size(), 1u) << row.name;
    EXPECT_EQ(Sent()[0].message, static_cast<DWORD>(NIM_MODIFY)) << row.name;
    EXPECT_EQ(Sent()[0].flags, row.flags) << row.name;
  }
}

TEST_F(SystemTrayTest, EveryBalloonIsSentAndLeavesNoTextBehind) {
  CreateIcon();
  ASSERT_TRUE(tray.ShowBalloon(L"请先设置登录Zarnik网点管理中心的用户名与密码。"));
  ASSERT_TRUE(tray.ShowBalloon(L"请先设置登录Zarnik网点管理中心的用户名与密码。"));
  ASSERT_EQ(Sent().size(), 2u) << "nothing suppresses a repeated balloon";
  for (const TrayNotification& balloon : Sent()) {
    EXPECT_EQ(balloon.info, L"请先设置登录Zarnik网点管理中心的用户名与密码。");
    EXPECT_EQ(balloon.infoTitle, L"Morvane");
    EXPECT_EQ(balloon.timeout, 10000u);
    EXPECT_EQ(balloon.infoFlags, 0u);
  }
  EXPECT_EQ(tray.RecordSnapshot().szInfo[0], L'\0');

  ASSERT_TRUE(tray.SetTooltipText(L"Morvane"));
  EXPECT_EQ(Sent().back().flags & NIF_INFO, 0u);
  EXPECT_TRUE(tray.RecordSnapshot().szInfo[0] == L'\0');
}

TEST_F(SystemTrayTest, BalloonTextIsCutTo255Characters) {
  CreateIcon();
  const std::wstring longText(300, L'字');
  tray.ShowBalloon(longText.c_str());
  ASSERT_EQ(Sent().size(), 1u);
  EXPECT_EQ(Sent()[0].info, longText.substr(0, 255));
}

TEST_F(SystemTrayTest, AnIconTheShellRefusedKeepsUpdatesToItself) {
  shell.RefuseCalls(true);
  EXPECT_FALSE(tray.CreateTrayIcon(Instance(), target.get(), IconResource(IDI_MORVANE)));
  ASSERT_TRUE(shell.WaitForCount(1));
  shell.Clear();
  EXPECT_TRUE(tray.SetTooltipText(L"kept"));
  EXPECT_TRUE(tray.SetIconImage(IconResource(IDI_SPIN_2)));
  EXPECT_TRUE(Sent().empty());
  EXPECT_EQ(std::wstring(tray.RecordSnapshot().szTip), L"kept");
  EXPECT_TRUE(tray.RemoveTrayIcon()) << "nothing was added, so nothing needs deleting";
  EXPECT_TRUE(Sent().empty());
}

TEST_F(SystemTrayTest, RemovalDeletesTheIconOnce) {
  CreateIcon();
  EXPECT_TRUE(tray.RemoveTrayIcon());
  EXPECT_TRUE(tray.RemoveTrayIcon());
  ASSERT_EQ(Sent().size(), 1u);
  EXPECT_EQ(Sent()[0].message, static_cast<DWORD>(NIM_DELETE));
  shell.Clear();
  EXPECT_TRUE(tray.SetTooltipText(L"after removal"));
  EXPECT_TRUE(Sent().empty()) << "a removed icon is not updated";
}

TEST_F(SystemTrayTest, AnimationTurnsTheSquareThenPutsBackTheIcon) {
  CreateIcon();
  const HICON original = IconResource(IDI_MORVANE);
  const HICON frames[] = {IconResource(IDI_SPIN_0), IconResource(IDI_SPIN_1), IconResource(IDI_SPIN_2),
                          IconResource(IDI_SPIN_3)};
  EXPECT_FALSE(tray.StartAnimation()) << "no frames loaded yet";
  EXPECT_TRUE(Sent().empty());

  ASSERT_TRUE(tray.LoadAnimationFrames());
  ASSERT_TRUE(tray.StartAnimation());
  EXPECT_EQ(tray.RecordSnapshot().hIcon, original) << "the icon changes only at the first tick";

  std::vector<HICON> shown;
  const auto start = std::chrono::steady_clock::now();
  auto stopped = start;
  PumpMessages(5s, [&] {
    const HICON icon = tray.RecordSnapshot().hIcon;
    if (shown.empty() || shown.back() != icon) shown.push_back(icon);
    if (!tray.AnimationRunning() && stopped == start) stopped = std::chrono::steady_clock::now();
  });
  ASSERT_FALSE(tray.AnimationRunning());
  ASSERT_GE(shown.size(), 6u);
  const HICON expected[] = {frames[1], frames[2], frames[3], frames[0], frames[1]};
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(shown[i], expected[i]) << "frame " << i;
  EXPECT_EQ(shown.back(), original);
  EXPECT_GT(stopped - start, 2s) << "runs for more than two seconds";
}

TEST_F(SystemTrayTest, RestartedAnimationStillEndsOnTheIconFromBeforeTheFirstStart) {
  CreateIcon();
  const HICON original = IconResource(IDI_MORVANE);
  ASSERT_TRUE(tray.LoadAnimationFrames());
  ASSERT_TRUE(tray.StartAnimation());
  PumpMessages(700ms);
  ASSERT_NE(tray.RecordSnapshot().hIcon, original);
  ASSERT_TRUE(tray.StartAnimation());
  PumpMessages(5s);
  EXPECT_FALSE(tray.AnimationRunning());
  EXPECT_EQ(tray.RecordSnapshot().hIcon, original);
}

// Looks at the context menu as it is about to be shown, then closes it.
class MenuInspectingTray : public CSystemTray {
 public:
  void PrepareMenu(HMENU menu) override {
    inspected = true;
    defaultCommand = ::GetMenuDefaultItem(menu, FALSE, 0);
    defaultPosition = ::GetMenuDefaultItem(menu, TRUE, 0);
    itemCount = ::GetMenuItemCount(menu);
    // The menu's modal loop runs timers: close it from there.
    ::SetTimer(nullptr, 0, 100, CloseMenu);
  }
  static void CALLBACK CloseMenu(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    ::EndMenu();
  }
  bool inspected = false;
  UINT defaultCommand = 0;
  UINT defaultPosition = 0;
  int itemCount = 0;
};

TEST(SystemTrayMouseTest, RightButtonReleaseOpensTheMenuWithLogInAsItsDefault) {
  ShellTrayRecorder shell;
  TargetWindow target;
  MenuInspectingTray tray;
  ASSERT_TRUE(tray.CreateTrayIcon(Instance(), target.get(), IconResource(IDI_MORVANE)));
  EXPECT_EQ(tray.HandleTrayMessage(130, WM_RBUTTONUP), 1);
  EXPECT_TRUE(tray.inspected);
  EXPECT_EQ(tray.defaultCommand, 32777u);
  EXPECT_EQ(tray.defaultPosition, 0u);
  EXPECT_EQ(tray.itemCount, 4);
}

TEST(SystemTrayMouseTest, MouseMessagesAreAnsweredByTheirKind) {
  ShellTrayRecorder shell;
  TargetWindow target;
  MenuInspectingTray tray;
  ASSERT_TRUE(tray.CreateTrayIcon(Instance(), target.get(), IconResource(IDI_MORVANE)));

  EXPECT_EQ(tray.HandleTrayMessage(130, WM_LBUTTONDBLCLK), 1);
  EXPECT_EQ(target.TakePostedCommand(), 32777) << "a double-click carries out the default command";

  for (UINT mouse : {WM_LBUTTONUP, WM_LBUTTONDOWN, WM_MOUSEMOVE, WM_MBUTTONUP, WM_RBUTTONDOWN}) {
    EXPECT_EQ(tray.HandleTrayMessage(130, mouse), 1) << "message " << mouse;
    EXPECT_EQ(target.TakePostedCommand(), -1) << "message " << mouse;
  }
  EXPECT_FALSE(tray.inspected) << "only the right-button release opens the menu";

  EXPECT_EQ(tray.HandleTrayMessage(131, WM_RBUTTONUP), 0) << "another icon's notification";
  EXPECT_EQ(tray.HandleTrayMessage(131, WM_LBUTTONDBLCLK), 0);
  EXPECT_EQ(target.TakePostedCommand(), -1);
  EXPECT_FALSE(tray.inspected);
}

TEST_F(SystemTrayTest, IconComesBackWhenTheTaskbarIsRecreated) {
  CreateIcon();
  ASSERT_TRUE(tray.SetTooltipText(L"Morvane（2条待处理业务请求）"));
  shell.Clear();
  ::PostMessageW(HWND_BROADCAST, CSystemTray::taskbarCreatedMessage, 0, 0);
  PumpMessages(300ms);
  ASSERT_TRUE(shell.WaitFor([](const TrayNotification& n) { return n.message == NIM_ADD; }, 3s));
  const TrayNotification readded = Sent().at(0);
  EXPECT_EQ(readded.flags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
  EXPECT_EQ(readded.tip, L"Morvane（2条待处理业务请求）") << "the icon comes back as it last was";
  EXPECT_EQ(readded.window, target.get());

  ASSERT_TRUE(tray.RemoveTrayIcon());
  shell.Clear();
  ::PostMessageW(HWND_BROADCAST, CSystemTray::taskbarCreatedMessage, 0, 0);
  PumpMessages(500ms);
  EXPECT_TRUE(Sent().empty()) << "a removed icon stays removed";
}

}  // namespace
