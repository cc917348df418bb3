// The tray icon against a stand-in taskbar: what the shell is told over the
// icon's life, from one thread and from two at once, a taskbar re-created in
// the middle of a shell call, and the resources the program's windows rely on
// (the same compiled script is linked into this test).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "res/resource_ids.h"
#include "tests/win/shell_tray_recorder.h"
#include "tray/system_tray_win.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
constexpr UINT kCreationFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;

HINSTANCE Instance() { return ::GetModuleHandleW(nullptr); }
HICON Icon(int id) { return ::LoadIconW(Instance(), MAKEINTRESOURCEW(id)); }

// Dispatches this thread's messages until done() holds or the time is up.
template <typename Done>
bool PumpUntil(std::chrono::milliseconds limit, Done done) {
  for (const auto end = Clock::now() + limit; !done(); ::Sleep(2)) {
    if (Clock::now() >= end) return false;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
  }
  return true;
}

// Looks at the context menu as it is about to be shown, then closes it.
struct MenuInspectingTray : CSystemTray {
  void PrepareMenu(HMENU menu) override {
    defaultCommand = static_cast<int>(::GetMenuDefaultItem(menu, FALSE, 0));
    // The menu's modal loop runs timers: close it from there.
    ::SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR id, DWORD) { ::KillTimer(nullptr, id), ::EndMenu(); });
  }
  int defaultCommand = -1;
};

struct TrayTest : ::testing::Test {
  TrayNotification Last() { return shell.Notifications().back(); }
  ShellTrayRecorder shell;
  MenuInspectingTray tray;
};

TEST_F(TrayTest, WhatTheShellIsToldOverTheIconsLife) {
  ASSERT_TRUE(tray.CreateTrayIcon(Instance(), nullptr, Icon(IDI_MORVANE)));
  HWND window = tray.TrayWindow();
  TrayNotification n = Last();
  EXPECT_TRUE(n.message == NIM_ADD && n.flags == kCreationFlags && n.id == 130 && n.callbackMessage == 32778 &&
              n.window == window && n.tip == L"Morvane" && n.hasIcon);

  const std::wstring longTip(200, L'条'), longBalloon(300, L'网');
  tray.SetTooltipText(longTip.c_str());
  EXPECT_EQ(Last().tip, longTip.substr(0, 127));
  tray.SetTooltipText(L"Morvane（3条待处理业务请求）");
  n = Last();
  EXPECT_TRUE(n.tip == L"Morvane（3条待处理业务请求）" && n.flags == NIF_TIP) << "a shorter text keeps no old tail";
  for (const std::wstring& text : {std::wstring(L"登录Zarnik失败，请检查网络情况。"), longBalloon, longBalloon}) {
    const size_t before = shell.Notifications().size();
    tray.ShowBalloon(text.c_str());
    ASSERT_EQ(shell.Notifications().size(), before + 1) << "every balloon is sent, a repeat too";
    n = Last();
    EXPECT_TRUE(n.message == NIM_MODIFY && n.flags == NIF_INFO && n.infoTitle == L"Morvane" && n.timeout == 10000 &&
                n.infoFlags == 0 && n.info == text.substr(0, 255));
  }
  tray.SetIconImage(Icon(IDI_SPIN_1));
  n = Last();
  EXPECT_TRUE(n.flags == NIF_ICON && n.hasIcon && n.info.empty()) << "an icon update shows no balloon again";

  EXPECT_TRUE(tray.HandleTrayMessage(130, WM_RBUTTONUP) == 1 && tray.defaultCommand == 32777) << "default: log-in";
  MSG posted;
  const auto command = [&] { return ::PeekMessageW(&posted, window, WM_COMMAND, WM_COMMAND, PM_REMOVE) ? posted.wParam : 0; };
  EXPECT_TRUE(tray.HandleTrayMessage(130, WM_LBUTTONDBLCLK) == 1 && command() == 32777) << "a double-click";
  EXPECT_TRUE(tray.HandleTrayMessage(130, WM_LBUTTONUP) == 1 && tray.HandleTrayMessage(131, WM_LBUTTONDBLCLK) == 0);
  EXPECT_EQ(command(), 0u) << "a single click, or another icon's notification";

  shell.Clear();
  ::PostMessageW(HWND_BROADCAST, CSystemTray::taskbarCreatedMessage, 0, 0);
  ASSERT_TRUE(PumpUntil(3s, [&] { return !shell.Notifications().empty(); })) << "the icon comes back";
  n = Last();
  EXPECT_TRUE(n.message == NIM_ADD && n.flags == kCreationFlags && n.window == window && n.hasIcon &&
              n.tip == L"Morvane（3条待处理业务请求）") << "as it last was";

  shell.Clear();
  EXPECT_TRUE(tray.RemoveTrayIcon() && tray.RemoveTrayIcon());
  tray.SetTooltipText(L"after removal");
  ::PostMessageW(HWND_BROADCAST, CSystemTray::taskbarCreatedMessage, 0, 0);
  PumpUntil(300ms, [] { return false; });
  ASSERT_EQ(shell.Notifications().size(), 1u) << "deleted once, then left alone";
  EXPECT_EQ(Last().message, static_cast<DWORD>(NIM_DELETE));
}

TEST_F(TrayTest, AnimationTurnsTheSquareThenPutsBackTheIconFromBeforeTheFirstStart) {
  ASSERT_TRUE(tray.CreateTrayIcon(Instance(), nullptr, Icon(IDI_MORVANE)));
  EXPECT_FALSE(tray.StartAnimation()) << "no frames loaded";
  ASSERT_TRUE(tray.LoadAnimationFrames() && tray.StartAnimation());
  std::vector<HICON> shown;
  const auto watch = [&] {
    if (shown.empty() || shown.back() != tray.RecordSnapshot().hIcon) shown.push_back(tray.RecordSnapshot().hIcon);
    return !tray.AnimationRunning();
  };
  PumpUntil(700ms, [&] { return watch() && false; });
  ASSERT_TRUE(tray.StartAnimation()) << "a restart while it runs";
  const auto restarted = Clock::now();
  ASSERT_TRUE(PumpUntil(5s, watch));
  EXPECT_GT(Clock::now() - restarted, 2s);
  const std::vector<HICON> turn = {Icon(IDI_MORVANE), Icon(131), Icon(132), Icon(133), Icon(130), Icon(131)};
  ASSERT_GE(shown.size(), turn.size());
  EXPECT_EQ(std::vector<HICON>(shown.begin(), shown.begin() + 6), turn);
  EXPECT_EQ(shown.back(), Icon(IDI_MORVANE));
}

// Texts of many lengths, each ending in its number, so that a cut, a mixture
// of two, or an old tail matches none of those written.
std::wstring Text(const wchar_t* head, int i) {
  return head + std::wstring(static_cast<size_t>(i % 90), static_cast<wchar_t>(L'a' + i % 26)) + L"#" +
         std::to_wstring(i);
}

// The worker thread sets the tooltip and shows balloons while the
// user-interface thread animates the icon, and the taskbar is re-created now
// and then in the middle of a call from either thread.
TEST_F(TrayTest, UpdatesFromTwoThreadsReachTheShellWholeWithTheirOwnFlagsOnly) {
  constexpr int kUpdates = 600;
  ASSERT_TRUE(tray.CreateTrayIcon(Instance(), nullptr, Icon(IDI_MORVANE)));
  shell.Clear();
  shell.AnnounceTaskbarBeforeAnswer(tray.TrayWindow(), 37);
  ASSERT_TRUE(tray.LoadAnimationFrames() && tray.StartAnimation());
  std::atomic<bool> done{false};
  std::thread worker([&] {
    for (int i = 0; i < kUpdates; ++i)
      tray.SetTooltipText(Text(L"Morvane（待处理）", i).c_str()), tray.ShowBalloon(Text(L"登录失败", i).c_str());
    done = true;
  });
  const bool finished = PumpUntil(60s, [&] {
    if (!tray.AnimationRunning() && !done) tray.StartAnimation();
    return done.load();
  });
  worker.join();
  ASSERT_TRUE(finished && PumpUntil(5s, [&] { return !tray.AnimationRunning(); }));
  EXPECT_EQ(shell.unanswered.load(), 0) << "the tray window stopped answering during a shell call";

  int tips = 0, balloons = 0, icons = 0, wrong = 0;  // the texts must come whole, in the order written
  for (const TrayNotification& n : shell.Notifications()) {
    if (n.message == NIM_ADD)  // the icon put back on the re-created taskbar
      wrong += n.flags != kCreationFlags || !n.info.empty();
    else if (n.flags == NIF_ICON)
      wrong += !n.hasIcon || !n.info.empty() || (++icons, false);
    else if (n.flags == NIF_TIP)
      wrong += n.tip != Text(L"Morvane（待处理）", tips++);
    else
      wrong += n.flags != NIF_INFO || n.info != Text(L"登录失败", balloons++) || n.infoTitle != L"Morvane";
  }
  EXPECT_TRUE(wrong == 0 && tips == kUpdates && balloons == kUpdates) << wrong << " wrong, " << tips << ", " << balloons;
  EXPECT_GT(icons, 10) << "the animation ran meanwhile";
  const NOTIFYICONDATAW record = tray.RecordSnapshot();
  EXPECT_EQ(record.hIcon, Icon(IDI_MORVANE)) << "the animation ends on the icon from before it";
  EXPECT_EQ(std::wstring(record.szTip), Text(L"Morvane（待处理）", kUpdates - 1));
  EXPECT_EQ(record.szInfo[0], L'\0') << "no balloon left to be shown again";
}

// The taskbar re-created while the tray window's own thread waits in a shell
// call: the window hears of it inside that call. The scenario runs on a
// thread of its own so that a hang fails the run instead of stopping it.
TEST(TrayReentryTest, TaskbarCreatedInsideAShellCallNeitherHangsNorLosesTheIcon) {
  ShellTrayRecorder shell;
  std::atomic<int> outcome{0};  // 1: the icon was added again, 2: it was not
  std::thread scenario([&] {
    CSystemTray tray;
    const bool created = tray.CreateTrayIcon(Instance(), nullptr, Icon(IDI_MORVANE));
    shell.Clear();
    shell.AnnounceTaskbarBeforeAnswer(tray.TrayWindow(), 1);
    tray.SetIconImage(Icon(IDI_SPIN_1));
    shell.AnnounceTaskbarBeforeAnswer(nullptr, 0);
    const auto readded = [&] { return shell.WaitFor([](auto& n) { return n.message == NIM_ADD; }, 0ms); };
    outcome = created && PumpUntil(3s, readded) ? 1 : 2;
  });
  for (const auto end = Clock::now() + 15s; outcome == 0 && Clock::now() < end;) ::Sleep(10);
  if (outcome == 0) {
    std::fprintf(stderr, "FAILED: the tray hangs when the taskbar is re-created inside a shell call\n");
    std::fflush(stderr);
    ::TerminateProcess(::GetCurrentProcess(), 1);
  }
  scenario.join();
  EXPECT_EQ(outcome, 1) << "the icon was not added again";
  EXPECT_EQ(shell.unanswered.load(), 0);
}

// Windows makes the program's dialogs from the compiled script; the code
// finds their controls by these ids and relies on these styles.
INT_PTR CALLBACK KeepDialog(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST(ResourcesTest, DialogControlsAndTheManifestAsWindowsSeesThem) {
  const struct {
    int dialog, control;
    const wchar_t* className;
    DWORD style;
  } controls[] = {
      {IDD_SETTINGS, IDC_ACCOUNT, L"Edit", 0},         {IDD_SETTINGS, IDC_PASSWORD, L"Edit", ES_PASSWORD},
      {IDD_SETTINGS, IDC_TEST, L"Button", 0},          {IDD_SETTINGS, IDC_STATUS, L"Static", 0},
      {IDD_SETTINGS, IDOK, L"Button", BS_DEFPUSHBUTTON}, {IDD_NOTIFICATION, IDC_NOTIFY_TEXT, L"Static", 0},
      {IDD_NOTIFICATION, IDOK, L"Button", BS_DEFPUSHBUTTON}, {IDD_NOTIFICATION, IDCANCEL, L"Button", 0},
  };
  for (const auto& row : controls) {
    HWND dialog = ::CreateDialogParamW(Instance(), MAKEINTRESOURCEW(row.dialog), nullptr, KeepDialog, 0);
    wchar_t name[16] = {};
    HWND control = ::GetDlgItem(dialog, row.control);
    ::GetClassNameW(control, name, 16);
    EXPECT_TRUE(control && _wcsicmp(name, row.className) == 0 &&
                (::GetWindowLongW(control, GWL_STYLE) & row.style) == row.style)
        << "dialog " << row.dialog << ", control " << row.control;
    EXPECT_TRUE(row.dialog != IDD_NOTIFICATION || (::GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST));
    ::DestroyWindow(dialog);
  }
  HRSRC manifest = ::FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_MANIFEST);
  ASSERT_TRUE(manifest);
  const std::string text(static_cast<const char*>(::LockResource(::LoadResource(nullptr, manifest))),
                         ::SizeofResource(nullptr, manifest));
  EXPECT_NE(text.find(R"(<requestedExecutionLevel level="asInvoker" uiAccess="false"/>)"), std::string::npos);
}

}  // namespace
