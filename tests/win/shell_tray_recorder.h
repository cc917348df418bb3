#pragma once
// A stand-in for the shell's taskbar: a topmost window of the taskbar's class
// on a thread of its own. The shell library hands every notification-icon
// call to the first such window it finds, as WM_COPYDATA, so this one sees
// exactly what a program tells the shell. It forwards each call to the real
// taskbar behind it so the icon still shows on screen.

#include <windows.h>

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
  UINT id = 0;
  UINT flags = 0;
  UINT callbackMessage = 0;
  std::wstring tip;
  std::wstring info;
  std::wstring infoTitle;
  UINT timeout = 0;
  DWORD infoFlags = 0;
  bool hasIcon = false;
};

class ShellTrayRecorder {
 public:
  ShellTrayRecorder();
  ~ShellTrayRecorder();
  ShellTrayRecorder(const ShellTrayRecorder&) = delete;
  ShellTrayRecorder& operator=(const ShellTrayRecorder&) = delete;

  std::vector<TrayNotification> Notifications();
  void Clear();
  // Waits until a recorded notification satisfies the predicate.
  bool WaitFor(const std::function<bool(const TrayNotification&)>& predicate,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Waits until count notifications have been recorded.
  bool WaitForCount(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));

  // Whether a failure answer should be given to the next calls (a shell that
  // refuses the icon).
  void RefuseCalls(bool refuse) { refuse_ = refuse; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Run();
  void Record(DWORD message, const void* data, DWORD size);

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<TrayNotification> notifications_;
  HWND window_ = nullptr;
  DWORD threadId_ = 0;
  bool ready_ = false;
  volatile bool refuse_ = false;
  std::thread thread_;
};
