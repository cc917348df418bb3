#include "app/service_platform_win.h"

#include <shellapi.h>

#include <new>

#include "notify/new_request_sound_win.h"
#include "notify/notification_dialog_win.h"
#include "service/http_request_win.h"
#include "service/http_transport_win.h"
#include "service/service_hosts.h"
#include "service/untreated_state.h"
#include "text/wide_text_win.h"
#include "tray/process_tray_win.h"

Win32ServicePlatform::Win32ServicePlatform(ServiceEndpoint authentication, ServiceEndpoint orders)
    : authentication_(std::move(authentication)), orders_(std::move(orders)) {}

HttpReply Win32ServicePlatform::Get(ServiceHost host, const std::u16string& path) {
  const ServiceEndpoint& endpoint = host == ServiceHost::Authentication ? authentication_ : orders_;
  return GetFromHost(endpoint.host, endpoint.port, path);
}

void Win32ServicePlatform::SetTooltipText(const std::u16string& text) {
  TheSystemTray().SetTooltipText(AsWide(text.c_str()));
  // The poll sets the tooltip right after it has kept the lists, on this
  // thread: the icon shows the count the tooltip names.
  const UntreatedState& untreated = TheUntreatedState();
  TheSystemTray().ShowWaitingCount(untreated.web.count + untreated.liuyan.count + untreated.tousu.count);
}

void Win32ServicePlatform::ShowBalloon(const std::u16string& text) {
  TheSystemTray().ShowBalloon(AsWide(text.c_str()));
}

void Win32ServicePlatform::ShowNotConnected(bool notConnected) { TheSystemTray().ShowNotConnected(notConnected); }

void Win32ServicePlatform::ShowNotificationDialog() { ShowNotificationDialogModally(); }

void Win32ServicePlatform::PlayNewRequestSound() { ::PlayNewRequestSound(); }

void Win32ServicePlatform::OpenUrl(const std::u16string& url) {
  // Shown normally: a browser that this call starts must not stay hidden.
  ::ShellExecuteW(nullptr, L"open", AsWide(url.c_str()), nullptr, nullptr, SW_SHOWNORMAL);
}

bool Win32ServicePlatform::Sleep(std::uint32_t milliseconds) {
  // The worker thread is a COM apartment: it serves its messages while it
  // waits. Without the event the wait is for messages alone.
  HANDLE event = resumed_.get();
  const DWORD count = event ? 1 : 0;
  for (const DWORD start = ::GetTickCount();;) {
    const DWORD elapsed = ::GetTickCount() - start;
    if (elapsed >= milliseconds) return false;
    const DWORD woke = ::MsgWaitForMultipleObjects(count, &event, FALSE, milliseconds - elapsed, QS_ALLINPUT);
    if (count == 1 && woke == WAIT_OBJECT_0) return true;
    if (woke != WAIT_OBJECT_0 + count) {
      // A wait that fails must not turn the pause into a busy loop.
      if (woke == WAIT_FAILED) ::Sleep(milliseconds - elapsed);
      return false;
    }
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
}

std::uint32_t Win32ServicePlatform::Milliseconds() { return ::GetTickCount(); }

// The program's one platform: the configured hosts on port 80. The worker
// thread is never stopped and may be inside a request or a wait while the
// process exits: the storage is never destroyed, so the hosts and the event
// stay usable after every static destructor has run.
Win32ServicePlatform& TheWin32ServicePlatform() {
  alignas(Win32ServicePlatform) static unsigned char storage[sizeof(Win32ServicePlatform)];
  static Win32ServicePlatform* platform = ::new (static_cast<void*>(storage))
      Win32ServicePlatform({AsWide(MORVANE_AUTH_HOST), INTERNET_DEFAULT_HTTP_PORT},
                           {AsWide(MORVANE_ORDER_HOST), INTERNET_DEFAULT_HTTP_PORT});
  return *platform;
}

void NoteSystemResumed() {
  // The network of a machine that wakes up comes back after it: lookups that
  // fail meanwhile are tried again at the next cycle.
  NoteNetworkChanged();
  TheWin32ServicePlatform().NoteResume();
}
