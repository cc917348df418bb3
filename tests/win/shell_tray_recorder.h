#pragma once
// A stand-in for the shell's taskbar: a topmost window of the taskbar's class
// on a thread of its own. The shell library hands every notification-icon
// call to the first such window it finds, as WM_COPYDATA, so this one sees
// exactly what a program tells the shell.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct TrayNotification {
  DWORD message = 0;  // NIM_ADD, NIM_MODIFY, NIM_DELETE
  HWND window = nullptr;
  UINT id = 0, flags = 0, callbackMessage = 0, timeout = 0;
  DWORD infoFlags = 0;
  std::wstring tip, info, infoTitle;
  bool hasIcon = false;
  UINT iconWidth = 0;
  std::vector<BYTE> iconColour;  // the colour bitmap's bits, as GetBitmapBits gives them
};

class ShellTrayRecorder {
 public:
  static constexpr int kTaskbarHeight = 40;
  ShellTrayRecorder();
  ~ShellTrayRecorder() {
    ::PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    thread_.join();
  }

  std::vector<TrayNotification> Notifications() {
    std::lock_guard<std::mutex> lock(mutex_);
    return notifications_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    notifications_.clear();
  }
  // Waits until a recorded notification satisfies the predicate.
  bool WaitFor(const std::function<bool(const TrayNotification&)>& predicate,
               std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout,
                             [&] { return std::any_of(notifications_.begin(), notifications_.end(), predicate); });
  }
  // Before answering every nth call from now on (0: none), sends
  // "TaskbarCreated" to the window and waits up to a second for its answer,
  // as a taskbar re-created while the program talks to it.
  void AnnounceTaskbarBeforeAnswer(HWND window, int everyNth) {
    calls_ = 0;
    announceTo_ = window;
    announceEvery_ = everyNth;
  }
  // Announcements the window did not answer within the second.
  std::atomic<int> unanswered{0};
  // A taskbar not up yet: every call fails, and none is recorded.
  std::atomic<bool> refusing{false};

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<TrayNotification> notifications_;
  DWORD threadId_ = 0;
  std::atomic<HWND> announceTo_{nullptr};
  std::atomic<int> announceEvery_{0}, calls_{0};
  std::thread thread_;
};
