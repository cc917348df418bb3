#pragma once
// What the tray's files share: the tray window's private messages and timers,
// and the turn at talking to the shell.

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <ctime>

constexpr UINT kCreationFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;

// The record holds a balloon's text only while the balloon waits for the
// shell to take the icon; an add then shows it.
inline UINT AddFlags(const NOTIFYICONDATAW& record) { return kCreationFlags | (record.szInfo[0] ? NIF_INFO : 0); }

inline std::int64_t SecondsNow() { return static_cast<std::int64_t>(std::time(nullptr)); }

// The shell asks for the re-add through the tray window; it is carried out
// from the message loop, never inside another thread's shell call.
constexpr UINT kReAddMessage = WM_APP + 11;

// At log-on the taskbar often comes up after the Run entries and refuses the
// first add: it is tried again every few seconds for the first minutes.
constexpr UINT_PTR kAddRetryTimerId = 4568;
constexpr UINT kAddRetryPeriod = 5000;  // ms
constexpr std::int64_t kAddRetrySeconds = 300;

// The worker's count, handed to the tray window's thread, which owns the
// icons.
constexpr UINT kWaitingCountMessage = WM_APP + 12;
constexpr UINT kDpiChangedMessage = 0x02E0;  // WM_DPICHANGED, Windows 8.1 and later

// One turn at talking to the shell. While another thread holds the turn, the
// shell may be waiting for this thread to answer a message: those are
// handled while waiting.
class SenderTurn {
 public:
  explicit SenderTurn(HANDLE mutex) : mutex_(mutex) {
    while (::MsgWaitForMultipleObjectsEx(1, &mutex_, INFINITE, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE) ==
           WAIT_OBJECT_0 + 1) {
      MSG message;
      ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
  }
  ~SenderTurn() { ::ReleaseMutex(mutex_); }
  SenderTurn(const SenderTurn&) = delete;
  SenderTurn& operator=(const SenderTurn&) = delete;

 private:
  HANDLE mutex_;
};
