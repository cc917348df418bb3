#pragma once
// A stand-in for the shell's taskbar: a topmost window of the taskbar's class
// on a thread of its own. The shell library hands every notification-icon
// call to the first such window it finds, as WM_COPYDATA, so this one sees
// exactly what a program tells the shell. That record is the library's own
// and has moved between its releases: at its start the recorder tells the
// library an icon of its own and reads every record with the known layout
// that gives that icon back, or fails ("unknown record layout").

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

struct TrayNotification {
  DWORD message = 0;  // NIM_ADD, NIM_MODIFY, NIM_DELETE
  HWND window = nullptr;
  UINT id = 0, flags = 0, callbackMessage = 0, timeout = 0;
  DWORD infoFlags = 0;
  std::wstring tip, info, infoTitle;
  UINT iconWidth = 0;
  std::vector<BYTE> iconColour;  // the colour bitmap's bits, as GetBitmapBits gives them; none without an icon
};

// Byte offsets of a record layout, the same on every architecture: the
// window, id, flags and callback message first; the texts' block (tooltip,
// state, balloon text, timeout, title, balloon flags); the icon's width,
// height, planes and bits per pixel; after the record, the icon's mask and
// colour bits.
struct TrayRecordLayout {
  size_t size, texts, icon;
};
constexpr TrayRecordLayout kTrayRecordLayouts[] = {{960, 16, 944}, {976, 32, 16}};

inline TrayNotification ReadTrayRecord(const COPYDATASTRUCT& copy, const TrayRecordLayout& layout) {
  TrayNotification n;
  n.message = static_cast<DWORD>(copy.dwData);
  const auto* bytes = static_cast<const BYTE*>(copy.lpData);
  if (!bytes || copy.cbData < layout.size) return n;
  const auto number = [bytes](size_t at) {
    UINT value = 0;
    std::memcpy(&value, bytes + at, sizeof(value));
    return value;
  };
  const auto text = [bytes](size_t at, size_t capacity) {
    const auto* chars = reinterpret_cast<const wchar_t*>(bytes + at);  // at an even offset
    return std::wstring(chars, ::wcsnlen(chars, capacity));
  };
  n.window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(static_cast<LONG>(number(0))));
  std::tie(n.id, n.flags, n.callbackMessage, n.timeout, n.infoFlags) =
      std::make_tuple(number(4), number(8), number(12), number(layout.texts + 776), number(layout.texts + 908));
  std::tie(n.tip, n.info, n.infoTitle) =
      std::make_tuple(text(layout.texts, 128), text(layout.texts + 264, 256), text(layout.texts + 780, 64));
  n.iconWidth = number(layout.icon);
  const size_t colourBytes = size_t{n.iconWidth} * number(layout.icon + 4) * number(layout.icon + 12) / 8;
  if (copy.cbData > layout.size)
    n.iconColour.assign(bytes + copy.cbData - std::min<size_t>(copy.cbData - layout.size, colourBytes),
                        bytes + copy.cbData);
  return n;
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
      // along the bottom edge, where some desktops take its space from the
      // work area of the programs started after it (the display is asked to
      // look again).
      const int width = ::GetSystemMetrics(SM_CXSCREEN), height = ::GetSystemMetrics(SM_CYSCREEN);
      HWND window = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, L"Shell_TrayWnd", L"",
                                      WS_POPUP | WS_VISIBLE, 0, height - kTaskbarHeight, width, kTaskbarHeight, nullptr,
                                      nullptr, windowClass.hInstance, nullptr);
      ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
      ::ChangeDisplaySettingsExW(nullptr, nullptr, nullptr, 0, nullptr);
      // The probe: the application icon (at the large icon's width, which no
      // tray uses), a tooltip and a balloon title, at the three places that moved.
      NOTIFYICONDATAW probe = {};
      std::tie(probe.cbSize, probe.hWnd, probe.uFlags, probe.hIcon) = std::make_tuple(
          DWORD{sizeof(probe)}, window, UINT{NIF_ICON | NIF_TIP | NIF_INFO}, ::LoadIconW(nullptr, IDI_APPLICATION));
      ::wcscpy(probe.szTip, L"probe tip");
      ::wcscpy(probe.szInfoTitle, L"probe title");
      ::Shell_NotifyIconW(NIM_ADD, &probe);
      ready.set_value(layout_ ? ::GetCurrentThreadId() : 0);
      for (MSG message; layout_ && ::GetMessageW(&message, nullptr, 0, 0) > 0;) ::DispatchMessageW(&message);
      ::DestroyWindow(window);
    });
    threadId_ = ready.get_future().get();
    if (threadId_) return;
    thread_.join();
    throw std::runtime_error("unknown record layout (the probe's record: " + std::to_string(probeSize_) + " bytes)");
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
    if (!self->layout_) return self->FindLayout(*copy);  // the probe
    if (self->refusing) return FALSE;
    if (DWORD_PTR ignored = 0; self->announceEvery_ > 0 && ++self->calls_ % self->announceEvery_ == 0 &&
                               !::SendMessageTimeoutW(self->announceTo_, ::RegisterWindowMessageW(L"TaskbarCreated"), 0,
                                                      0, SMTO_NORMAL, 1000, &ignored))
      ++self->unanswered;
    const TrayNotification n = ReadTrayRecord(*copy, *self->layout_);
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->notifications_.push_back(n);
    self->changed_.notify_all();
    return TRUE;
  }

  BOOL FindLayout(const COPYDATASTRUCT& copy) {
    for (const TrayRecordLayout& layout : kTrayRecordLayouts) {
      const TrayNotification n = ReadTrayRecord(copy, layout);
      if (n.tip == L"probe tip" && n.infoTitle == L"probe title" && n.iconWidth == UINT(::GetSystemMetrics(SM_CXICON)))
        layout_ = &layout;
    }
    probeSize_ = copy.cbData;
    return TRUE;
  }

  const TrayRecordLayout* layout_ = nullptr;
  DWORD probeSize_ = 0;  // none came
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<TrayNotification> notifications_;
  DWORD threadId_ = 0;
  std::atomic<HWND> announceTo_{nullptr};
  std::atomic<int> announceEvery_{0}, calls_{0};
  std::thread thread_;
};
