#include "tests/win/shell_tray_recorder.h"

#include <cstring>

namespace {

constexpr wchar_t kTaskbarClass[] = L"Shell_TrayWnd";

// The record the shell library copies to the taskbar: the same on every
// architecture, with the icon's bitmap bits after it when an icon is sent.
struct TrayCopyData {
  LONG window;
  UINT id;
  UINT flags;
  UINT callbackMessage;
  WCHAR tip[128];
  DWORD state;
  DWORD stateMask;
  WCHAR info[256];
  UINT timeout;
  WCHAR infoTitle[64];
  DWORD infoFlags;
  GUID guid;
  UINT iconWidth;
  UINT iconHeight;
  UINT iconPlanes;
  UINT iconBitsPerPixel;
};

std::wstring TextOf(const WCHAR* field, size_t capacity) {
  size_t length = 0;
  while (length < capacity && field[length]) ++length;
  return std::wstring(field, length);
}

}  // namespace

ShellTrayRecorder::ShellTrayRecorder() {
  thread_ = std::thread([this] { Run(); });
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return ready_; });
}

ShellTrayRecorder::~ShellTrayRecorder() {
  if (threadId_) ::PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
  if (thread_.joinable()) thread_.join();
}

void ShellTrayRecorder::Run() {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kTaskbarClass;
  ::RegisterClassW(&windowClass);
  // Topmost, so that a lookup of the taskbar's class finds this one first.
  HWND window = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kTaskbarClass, L"", WS_POPUP, 0, 0, 1, 1,
                                  nullptr, nullptr, instance, nullptr);
  ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  {
    std::lock_guard<std::mutex> lock(mutex_);
    window_ = window;
    threadId_ = ::GetCurrentThreadId();
    ready_ = true;
  }
  changed_.notify_all();
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  ::DestroyWindow(window);
  ::UnregisterClassW(kTaskbarClass, instance);
}

LRESULT CALLBACK ShellTrayRecorder::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_COPYDATA) return ::DefWindowProcW(window, message, wParam, lParam);
  auto* self = reinterpret_cast<ShellTrayRecorder*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
  if (!self || !copy) return FALSE;
  self->Record(static_cast<DWORD>(copy->dwData), copy->lpData, copy->cbData);
  if (self->refuse_) return FALSE;
  // Let the real taskbar show the icon too.
  HWND taskbar = ::FindWindowExW(nullptr, window, kTaskbarClass, nullptr);
  if (taskbar) {
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(taskbar, WM_COPYDATA, wParam, lParam, SMTO_ABORTIFHUNG, 2000, &ignored);
  }
  return TRUE;
}

void ShellTrayRecorder::Record(DWORD message, const void* data, DWORD size) {
  TrayNotification notification;
  notification.message = message;
  if (data && size >= sizeof(TrayCopyData)) {
    TrayCopyData copy;
    std::memcpy(&copy, data, sizeof(copy));
    notification.window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(copy.window));
    notification.id = copy.id;
    notification.flags = copy.flags;
    notification.callbackMessage = copy.callbackMessage;
    notification.tip = TextOf(copy.tip, 128);
    notification.info = TextOf(copy.info, 256);
    notification.infoTitle = TextOf(copy.infoTitle, 64);
    notification.timeout = copy.timeout;
    notification.infoFlags = copy.infoFlags;
    notification.hasIcon = size > sizeof(TrayCopyData);
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    notifications_.push_back(notification);
  }
  changed_.notify_all();
}

std::vector<TrayNotification> ShellTrayRecorder::Notifications() {
  std::lock_guard<std::mutex> lock(mutex_);
  return notifications_;
}

void ShellTrayRecorder::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  notifications_.clear();
}

bool ShellTrayRecorder::WaitFor(const std::function<bool(const TrayNotification&)>& predicate,
                                std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] {
    for (const auto& notification : notifications_)
      if (predicate(notification)) return true;
    return false;
  });
}

bool ShellTrayRecorder::WaitForCount(size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return notifications_.size() >= count; });
}
