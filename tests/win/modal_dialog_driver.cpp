#include "tests/win/modal_dialog_driver.h"

#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr wchar_t kDialogClass[] = L"#32770";

}  // namespace

HWND WaitForDialogOfThread(DWORD threadId, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  do {
    HWND window = nullptr;
    while ((window = ::FindWindowExW(nullptr, window, kDialogClass, nullptr)) != nullptr) {
      // Visible only once WM_INITDIALOG is over and the modal loop has shown it.
      if (::GetWindowThreadProcessId(window, nullptr) == threadId && ::IsWindowVisible(window)) return window;
    }
    std::this_thread::sleep_for(20ms);
  } while (std::chrono::steady_clock::now() < end);
  return nullptr;
}

bool WaitUntilClosed(HWND window, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (::IsWindow(window)) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

DrivenDialog RunDrivenDialog(const std::function<INT_PTR()>& show, const std::function<void(HWND)>& drive) {
  DrivenDialog outcome;
  const DWORD dialogThread = ::GetCurrentThreadId();
  std::thread driver([&] {
    HWND dialog = WaitForDialogOfThread(dialogThread, 10s);
    if (!dialog) return;
    outcome.appeared = true;
    drive(dialog);
    outcome.closedByDriver = WaitUntilClosed(dialog, 10s);
    if (!outcome.closedByDriver) {
      // Left open: close it, or the modal call never returns.
      ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      WaitUntilClosed(dialog, 10s);
    }
  });
  outcome.result = show();
  driver.join();
  return outcome;
}

void PressButton(HWND dialog, int id) {
  ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

void PressKey(HWND dialog, UINT virtualKey) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  HWND target = dialog;
  if (::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &info) && info.hwndFocus)
    target = info.hwndFocus;
  ::PostMessageW(target, WM_KEYDOWN, virtualKey, 1);
  ::PostMessageW(target, WM_KEYUP, virtualKey, 1 | (1u << 30) | (1u << 31));
}

void TypeInto(HWND dialog, int id, const std::wstring& text) {
  HWND control = ::GetDlgItem(dialog, id);
  for (wchar_t character : text) ::SendMessageW(control, WM_CHAR, character, 1);
}

void SetControlText(HWND dialog, int id, const std::wstring& text) {
  ::SendMessageW(::GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::wstring ControlText(HWND dialog, int id) {
  HWND control = ::GetDlgItem(dialog, id);
  const int length = static_cast<int>(::SendMessageW(control, WM_GETTEXTLENGTH, 0, 0));
  std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
  ::SendMessageW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  return std::wstring(text.data());
}
