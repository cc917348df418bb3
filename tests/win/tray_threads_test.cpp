// The tray record written from two threads at once, as the program does: the
// user-interface thread animates the icon while the worker thread sets the
// tooltip and shows balloons. What the stand-in taskbar receives must be
// whole updates, each carrying only its own part.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "res/resource_ids.h"
#include "tests/win/shell_tray_recorder.h"
#include "tray/system_tray_win.h"

namespace {

using namespace std::chrono_literals;

// Updates of each kind the worker-side thread sends; the animation runs
// throughout, restarted whenever it ends while they are still going out.
constexpr int kUpdatesPerKind = 1000;

HINSTANCE Instance() { return ::GetModuleHandleW(nullptr); }

// Texts of many lengths, so that a shorter text written over a longer one
// without its terminator, a cut, or two texts run together matches none of
// them. Each ends in its number so that the order can be checked too.
std::wstring TooltipText(int i) {
  return L"Morvane（" + std::to_wstring(i) + L"条待处理业务请求）" +
         std::wstring(static_cast<size_t>(i % 90), static_cast<wchar_t>(L'a' + i % 26)) + L"#" + std::to_wstring(i);
}

std::wstring BalloonText(int i) {
  return L"登录Zarnik失败，请检查网络情况。" + std::wstring(static_cast<size_t>(40 + i % 180), L'网') + L"#" +
         std::to_wstring(i);
}

// Dispatches this thread's messages until done() holds or the time is up.
template <typename Done>
bool PumpUntil(std::chrono::milliseconds limit, Done done) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    ::Sleep(2);
  }
  return true;
}

TEST(TrayThreadsTest, UpdatesFromBothThreadsReachTheShellWholeAndTheAnimationEndsOnTheOldIcon) {
  ShellTrayRecorder shell;
  CSystemTray tray;
  const HICON original = ::LoadIconW(Instance(), MAKEINTRESOURCEW(IDI_MORVANE));
  ASSERT_TRUE(tray.CreateTrayIcon(Instance(), nullptr, original));
  ASSERT_TRUE(shell.WaitForCount(1));
  const NOTIFYICONDATAW created = tray.RecordSnapshot();
  shell.Clear();

  std::map<std::wstring, int> tooltipNumber;
  std::map<std::wstring, int> balloonNumber;
  for (int i = 0; i < kUpdatesPerKind; ++i) {
    tooltipNumber[TooltipText(i)] = i;
    balloonNumber[BalloonText(i)] = i;
  }
  ASSERT_EQ(tooltipNumber.size(), static_cast<size_t>(kUpdatesPerKind)) << "tooltip texts must be distinct";
  ASSERT_EQ(balloonNumber.size(), static_cast<size_t>(kUpdatesPerKind)) << "balloon texts must be distinct";

  ASSERT_TRUE(tray.LoadAnimationFrames());
  ASSERT_TRUE(tray.StartAnimation());
  int animationRuns = 1;

  std::atomic<bool> workerDone{false};
  std::atomic<int> refused{0};
  const auto started = std::chrono::steady_clock::now();
  std::thread worker([&] {
    for (int i = 0; i < kUpdatesPerKind; ++i) {
      if (!tray.SetTooltipText(TooltipText(i).c_str())) ++refused;
      if (!tray.ShowBalloon(BalloonText(i).c_str())) ++refused;
    }
    workerDone = true;
  });
  const bool workerFinished = PumpUntil(60s, [&] {
    if (!tray.AnimationRunning() && !workerDone) {
      EXPECT_TRUE(tray.StartAnimation());
      ++animationRuns;
    }
    return workerDone.load();
  });
  worker.join();
  const auto workerTime = std::chrono::steady_clock::now() - started;
  ASSERT_TRUE(workerFinished);
  ASSERT_TRUE(PumpUntil(5s, [&] { return !tray.AnimationRunning(); })) << "the animation ends by itself";
  EXPECT_EQ(refused.load(), 0) << "the taskbar accepts every update";

  const std::vector<TrayNotification> sent = shell.Notifications();
  std::vector<int> tooltipsInOrder;
  std::vector<int> balloonsInOrder;
  size_t icons = 0;
  size_t iconsAmongWorkerUpdates = 0;
  size_t firstWorkerUpdate = sent.size();
  size_t lastWorkerUpdate = 0;
  for (size_t n = 0; n < sent.size(); ++n) {
    const TrayNotification& update = sent[n];
    const std::string where = "notification " + std::to_string(n);
    EXPECT_EQ(update.message, static_cast<DWORD>(NIM_MODIFY)) << where;
    EXPECT_EQ(update.id, kTrayIconId) << where;
    EXPECT_EQ(update.window, tray.TrayWindow()) << where;
    if (update.flags == NIF_TIP) {
      const auto found = tooltipNumber.find(update.tip);
      if (found == tooltipNumber.end()) {
        ADD_FAILURE() << where << ": a tooltip that was never written, size " << update.tip.size();
        continue;
      }
      EXPECT_TRUE(update.info.empty()) << where << ": balloon text in a tooltip update";
      tooltipsInOrder.push_back(found->second);
    } else if (update.flags == NIF_INFO) {
      const auto found = balloonNumber.find(update.info);
      if (found == balloonNumber.end()) {
        ADD_FAILURE() << where << ": a balloon that was never written, size " << update.info.size();
        continue;
      }
      EXPECT_EQ(update.infoTitle, L"Morvane") << where;
      EXPECT_EQ(update.timeout, kBalloonTimeout) << where;
      EXPECT_EQ(update.infoFlags, 0u) << where;
      balloonsInOrder.push_back(found->second);
    } else if (update.flags == NIF_ICON) {
      EXPECT_TRUE(update.hasIcon) << where;
      EXPECT_TRUE(update.info.empty()) << where << ": balloon text in an icon update";
      ++icons;
      continue;
    } else {
      ADD_FAILURE() << where << ": flags " << update.flags << " mix two updates";
      continue;
    }
    if (firstWorkerUpdate == sent.size()) firstWorkerUpdate = n;
    lastWorkerUpdate = n;
  }
  for (size_t n = firstWorkerUpdate; n < lastWorkerUpdate; ++n) iconsAmongWorkerUpdates += sent[n].flags == NIF_ICON;

  std::vector<int> written(kUpdatesPerKind);
  for (int i = 0; i < kUpdatesPerKind; ++i) written[i] = i;
  EXPECT_EQ(tooltipsInOrder, written) << "every tooltip reaches the shell once, in the order written";
  EXPECT_EQ(balloonsInOrder, written) << "every balloon reaches the shell once, in the order written";
  EXPECT_GT(iconsAmongWorkerUpdates, 10u) << "the animation ran while the other thread wrote";

  const NOTIFYICONDATAW record = tray.RecordSnapshot();
  EXPECT_EQ(record.hIcon, original) << "the animation ends on the icon from before it started";
  EXPECT_EQ(std::wstring(record.szTip), TooltipText(kUpdatesPerKind - 1));
  EXPECT_EQ(record.szInfo[0], L'\0') << "no balloon is left to be shown again";
  EXPECT_EQ(std::wstring(record.szInfoTitle), L"Morvane");
  EXPECT_EQ(record.cbSize, created.cbSize);
  EXPECT_EQ(record.hWnd, created.hWnd);
  EXPECT_EQ(record.uID, created.uID);
  EXPECT_EQ(record.uCallbackMessage, created.uCallbackMessage);

  std::cout << "updates from the second thread: " << 2 * kUpdatesPerKind << " in "
            << std::chrono::duration_cast<std::chrono::milliseconds>(workerTime).count() << " ms; icon updates "
            << icons << " (" << iconsAmongWorkerUpdates << " among them), animation runs " << animationRuns << "\n";
}

}  // namespace
