#include "tests/win/shell_tray_recorder.h"

#include <cstring>
#include <future>

namespace {

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

}  // namespace

ShellTrayRecorder::ShellTrayRecorder() {
  std::promise<DWORD> ready;
  thread_ = std::thread([this, &ready] {
    const WNDCLASSW windowClass = {0, WindowProc, 0, 0, ::GetModuleHandleW(nullptr), {}, {}, {}, {}, L"Shell_TrayWnd"};
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

LRESULT CALLBACK ShellTrayRecorder::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<ShellTrayRecorder*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
  if (message != WM_COPYDATA || !self) return ::DefWindowProcW(window, message, wParam, lParam);
  if (self->refusing) return FALSE;
  if (DWORD_PTR ignored = 0; self->announceEvery_ > 0 && ++self->calls_ % self->announceEvery_ == 0 &&
                             !::SendMessageTimeoutW(self->announceTo_, ::RegisterWindowMessageW(L"TaskbarCreated"), 0,
                                                    0, SMTO_NORMAL, 1000, &ignored))
    ++self->unanswered;
  TrayNotification n;
  const auto* end = static_cast<const BYTE*>(copy->lpData) + copy->cbData;
  if (TrayCopyData data; copy->lpData && copy->cbData >= sizeof(data) && std::memcpy(&data, copy->lpData, sizeof(data)))
    n = {0,
         reinterpret_cast<HWND>(static_cast<LONG_PTR>(data.window)),
         data.id,
         data.flags,
         data.callbackMessage,
         data.timeout,
         data.infoFlags,
         TextOf(data.tip),
         TextOf(data.info),
         TextOf(data.infoTitle),
         copy->cbData > sizeof(TrayCopyData),
         data.iconWidth,
         {end - std::min<size_t>(copy->cbData - sizeof(data),
                                 size_t{data.iconWidth} * data.iconHeight * data.iconBitsPerPixel / 8),
          end}};
  n.message = static_cast<DWORD>(copy->dwData);
  std::lock_guard<std::mutex> lock(self->mutex_);
  self->notifications_.push_back(n);
  self->changed_.notify_all();
  return TRUE;
}
