// The tray icon against a stand-in taskbar: what the shell is told over the
// icon's life, updates from two threads at once with the
// taskbar re-created in the middle of shell calls, and the resources the
// program's windows rely on (the same compiled script is linked in).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <string>
#include <thread>

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
    for (MSG message; ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) ::DispatchMessageW(&message);
  }
  return true;
}

// A tray that hangs must fail the run in seconds, not at the runner's limit.
struct Watchdog {
  std::promise<void> done;
  std::thread thread{[end = done.get_future()] {
    if (end.wait_for(15s) == std::future_status::ready) return;
    std::fputs("FAILED: the tray hangs\n", stderr), std::fflush(stderr), ::TerminateProcess(::GetCurrentProcess(), 1);
  }};
  ~Watchdog() { done.set_value(), thread.join(); }
};

// Looks at the context menu as it is about to be shown, then closes it from
// the menu's modal loop.
struct MenuInspectingTray : CSystemTray {
  void PrepareMenu(HMENU menu) override {
    defaultCommand = static_cast<int>(::GetMenuDefaultItem(menu, FALSE, 0));
    ::SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR id, DWORD) { ::KillTimer(nullptr, id), ::EndMenu(); });
  }
  int defaultCommand = -1;
};

struct TrayTest : ::testing::Test {
  TrayNotification Last() { return shell.Notifications().back(); }
  Watchdog watchdog;
  ShellTrayRecorder shell;
  MenuInspectingTray tray;
};

TEST_F(TrayTest, WhatTheShellIsToldOverTheIconsLife) {
  ASSERT_TRUE(tray.CreateTrayIcon(Instance(), nullptr, Icon(IDI_MORVANE)));
  HWND window = tray.TrayWindow();
  TrayNotification n = Last();
  EXPECT_TRUE(n.message == NIM_ADD && n.flags == kCreationFlags && n.id == 130 && n.callbackMessage == WM_APP + 10 &&
              n.window == window && n.tip == L"Morvane" && n.hasIcon);
  const std::wstring longTip(200, L'条'), longBalloon(300, L'网'), tip = L"Morvane（3条待处理业务请求）";
  tray.SetTooltipText(longTip.c_str());
  EXPECT_EQ(Last().tip, longTip.substr(0, 127));
  tray.SetTooltipText(tip.c_str());
  EXPECT_TRUE(Last().tip == tip && Last().flags == NIF_TIP) << "a shorter text keeps no old tail";
  for (const std::wstring& text : {std::wstring(L"登录Zarnik失败，请检查网络情况。"), longBalloon, longBalloon}) {
    const size_t before = shell.Notifications().size();
    tray.ShowBalloon(text.c_str());
    ASSERT_EQ(shell.Notifications().size(), before + 1) << "every balloon is sent, a repeat too";
    n = Last();
    EXPECT_TRUE(n.message == NIM_MODIFY && n.flags == NIF_INFO && n.infoTitle == L"Morvane" && n.timeout == 10000 &&
                n.infoFlags == 0 && n.info == text.substr(0, 255));
  }
  EXPECT_TRUE(tray.HandleTrayMessage(130, WM_RBUTTONUP) == 1 && tray.defaultCommand == 32777) << "default: log-in";
  auto command = [&, posted = MSG{}]() mutable {
    return ::PeekMessageW(&posted, window, WM_COMMAND, WM_COMMAND, PM_REMOVE) ? posted.wParam : 0; };
  EXPECT_TRUE(tray.HandleTrayMessage(130, WM_LBUTTONDBLCLK) == 1 && command() == 32777) << "a double-click";
  EXPECT_TRUE(tray.HandleTrayMessage(130, WM_LBUTTONUP) == 1 && tray.HandleTrayMessage(131, WM_LBUTTONDBLCLK) == 0);
  EXPECT_EQ(command(), 0u) << "a single click, or another icon's notification";

  // The taskbar re-created while the tray window's own thread waits in a
  // shell call: the window hears of it inside that call.
  shell.Clear();
  shell.AnnounceTaskbarBeforeAnswer(window, 1);
  tray.SetIconImage(Icon(IDI_SPIN_1));
  shell.AnnounceTaskbarBeforeAnswer(nullptr, 0);
  EXPECT_TRUE(Last().flags == NIF_ICON && Last().hasIcon && Last().info.empty()) << "an icon update shows no balloon";
  ASSERT_TRUE(PumpUntil(3s, [&] { return Last().message == NIM_ADD; })) << "the icon comes back";
  n = Last();
  EXPECT_TRUE(n.flags == kCreationFlags && n.window == window && n.hasIcon && n.tip == tip) << "as it last was";
  EXPECT_EQ(shell.unanswered.load(), 0);

  shell.Clear();
  EXPECT_TRUE(tray.RemoveTrayIcon() && tray.RemoveTrayIcon());
  tray.SetTooltipText(L"after removal");
  ::PostMessageW(HWND_BROADCAST, CSystemTray::taskbarCreatedMessage, 0, 0);
  PumpUntil(300ms, [] { return false; });
  ASSERT_EQ(shell.Notifications().size(), 1u) << "deleted once, then left alone";
  EXPECT_EQ(Last().message, static_cast<DWORD>(NIM_DELETE));
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
  PumpUntil(20s, [&] { return (tray.AnimationRunning() || done || tray.StartAnimation()) && done; });
  worker.join();
  ASSERT_TRUE(PumpUntil(5s, [&] { return !tray.AnimationRunning(); }));
  EXPECT_EQ(shell.unanswered.load(), 0) << "the tray window stopped answering during a shell call";
  int tips = 0, balloons = 0, icons = 0, adds = 0, wrong = 0;  // whole texts, in the order written
  for (const TrayNotification& n : shell.Notifications()) {
    if (n.message == NIM_ADD)  // the icon put back on the re-created taskbar
      wrong += n.flags != kCreationFlags || !n.info.empty() || (++adds, false);
    else if (n.flags == NIF_ICON)
      wrong += !n.hasIcon || !n.info.empty() || (++icons, false);
    else if (n.flags == NIF_TIP)
      wrong += n.tip != Text(L"Morvane（待处理）", tips++);
    else
      wrong += n.flags != NIF_INFO || n.info != Text(L"登录失败", balloons++) || n.infoTitle != L"Morvane";
  }
  EXPECT_TRUE(wrong == 0 && tips == kUpdates && balloons == kUpdates && icons > 10 && adds > 0)
      << wrong << " wrong, " << tips << " tips, " << balloons << " balloons, " << icons << " icons, " << adds << " adds";
  const NOTIFYICONDATAW record = tray.RecordSnapshot();
  EXPECT_TRUE(record.hIcon == Icon(IDI_MORVANE) && record.szInfo[0] == L'\0' &&
              record.szTip == Text(L"Morvane（待处理）", kUpdates - 1)) << "the icon from before, no balloon to repeat";
}

// Windows makes the program's dialogs from the compiled script; the code
// finds their controls by these ids and relies on these styles.
TEST(ResourcesTest, DialogControlsAndTheManifestAsWindowsSeesThem) {
  const struct { int dialog, control; const wchar_t* className; DWORD style; } controls[] = {
      {IDD_SETTINGS, IDC_ACCOUNT, L"Edit", 0}, {IDD_SETTINGS, IDC_PASSWORD, L"Edit", ES_PASSWORD},
      {IDD_SETTINGS, IDC_TEST, L"Button", 0}, {IDD_SETTINGS, IDC_STATUS, L"Static", 0},
      {IDD_SETTINGS, IDOK, L"Button", BS_DEFPUSHBUTTON}, {IDD_NOTIFICATION, IDC_NOTIFY_TEXT, L"Static", 0},
      {IDD_NOTIFICATION, IDOK, L"Button", BS_DEFPUSHBUTTON}, {IDD_NOTIFICATION, IDCANCEL, L"Button", 0}};
  for (const auto& row : controls) {
    HWND dialog = ::CreateDialogParamW(Instance(), MAKEINTRESOURCEW(row.dialog), nullptr,
                                       [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    wchar_t name[16] = {};
    HWND control = ::GetDlgItem(dialog, row.control);
    ::GetClassNameW(control, name, 16);
    EXPECT_TRUE(control && _wcsicmp(name, row.className) == 0 &&
                (::GetWindowLongW(control, GWL_STYLE) & row.style) == row.style &&
                (row.dialog != IDD_NOTIFICATION || (::GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST)))
        << "dialog " << row.dialog << ", control " << row.control;
    ::DestroyWindow(dialog);
  }
  HRSRC manifest = ::FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_MANIFEST);
  ASSERT_TRUE(manifest);
  const std::string text(static_cast<const char*>(::LockResource(::LoadResource(nullptr, manifest))),
                         ::SizeofResource(nullptr, manifest));
  EXPECT_NE(text.find(R"(<requestedExecutionLevel level="asInvoker" uiAccess="false"/>)"), std::string::npos);
}

}  // namespace
