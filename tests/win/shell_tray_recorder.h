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
#include <cstring>
#include <functional>
#include <future>
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

// The record the shell library copies to the taskbar: the same on every
// architecture, with the icon's bitmap bits after it when an icon is sent.
struct TrayCopyData {
  LONG window;
  UINT id, flags, callbackMessage;
  WCHAR tip[128];
  DWORD state, stateMask;
  WCHAR info[256];
  UINT timeout;
  WCHAR infoTitle[64];
  DWORD infoFlags;
  GUID guid;
  UINT iconWidth, iconHeight, iconPlanes, iconBitsPerPixel;
};

template <size_t N>
std::wstring TextOf(const WCHAR (&field)[N]) {
  return std::wstring(field, ::wcsnlen(field, N));
}

class ShellTrayRecorder {
 public:
  static constexpr int kTaskbarHeight = 40;
  ShellTrayRecorder() {
    std::promise<DWORD> ready;
    thread_ = std::thread([this, &ready] {
      const WNDCLASSW windowClass = {0,  WindowProc, 0,  0,  ::GetModuleHandleW(nullptr),
                                     {}, {},         {}, {}, L"Shell_TrayWnd"};
      ::RegisterClassW(&windowClass);
      // Topmost, so that a lookup of the taskbar's class finds this one first;
      // along the bottom edge, where it takes its space from the work area of
      // the programs started after it (the display is asked to look again).
      const int width = ::GetSystemMetrics(SM_CXSCREEN), height = ::GetSystemMetrics(SM_CYSCREEN);
      HWND window = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, L"Shell_TrayWnd", L"",
                                      WS_POPUP | WS_VISIBLE, 0, height - kTaskbarHeight, width, kTaskbarHeight, nullptr,
                                      nullptr, windowClass.hInstance, nullptr);
      ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
      ::ChangeDisplaySettingsExW(nullptr, nullptr, nullptr, 0, nullptr);
      ready.set_value(::GetCurrentThreadId());
      for (MSG message; ::GetMessageW(&message, nullptr, 0, 0) > 0;) ::DispatchMessageW(&message);
      ::DestroyWindow(window);
    });
    threadId_ = ready.get_future().get();
  }
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
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ShellTrayRecorder*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (message != WM_COPYDATA || !self) return ::DefWindowProcW(window, message, wParam, lParam);
    if (self->refusing) return FALSE;
    if (DWORD_PTR ignored = 0; self->announceEvery_ > 0 && ++self->calls_ % self->announceEvery_ == 0 &&
                               !::SendMessageTimeoutW(self->announceTo_, ::RegisterWindowMessageW(L"TaskbarCreated"), 0,
                                                      0, SMTO_NORMAL, 1000, &ignored))
      ++self->unanswered;
    TrayCopyData data = {};
    if (copy->lpData && copy->cbData >= sizeof(data)) std::memcpy(&data, copy->lpData, sizeof(data));
    // The icon's colour bits come last; its mask bits, if sent, before them.
    const bool hasIcon = copy->lpData && copy->cbData > sizeof(data);
    const auto* end = static_cast<const BYTE*>(copy->lpData) + copy->cbData;
    const size_t iconBytes = size_t{data.iconWidth} * data.iconHeight * data.iconBitsPerPixel / 8;
    std::vector<BYTE> colour;
    if (hasIcon) colour.assign(end - std::min<size_t>(copy->cbData - sizeof(data), iconBytes), end);
    const TrayNotification n = {static_cast<DWORD>(copy->dwData),
                                reinterpret_cast<HWND>(static_cast<LONG_PTR>(data.window)),
                                data.id,
                                data.flags,
                                data.callbackMessage,
                                data.timeout,
                                data.infoFlags,
                                TextOf(data.tip),
                                TextOf(data.info),
                                TextOf(data.infoTitle),
                                hasIcon,
                                data.iconWidth,
                                colour};
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->notifications_.push_back(n);
    self->changed_.notify_all();
    return TRUE;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<TrayNotification> notifications_;
  DWORD threadId_ = 0;
  std::atomic<HWND> announceTo_{nullptr};
  std::atomic<int> announceEvery_{0}, calls_{0};
  std::thread thread_;
};
