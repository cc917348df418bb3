#pragma once
// The service logic's system operations, on Win32: WinHTTP for the requests,
// the tray object for the tooltip, balloons and the not-connected icon, the
// notification dialog, the shell for URLs.

#include <windows.h>
#include <winhttp.h>

#include <string>

#include "service/service_platform.h"
#include "win32/handles.h"

struct ServiceEndpoint {
  std::wstring host;
  INTERNET_PORT port = INTERNET_DEFAULT_HTTP_PORT;
};

class Win32ServicePlatform : public ServicePlatform {
 public:
  Win32ServicePlatform(ServiceEndpoint authentication, ServiceEndpoint orders);

  HttpReply Get(ServiceHost host, const std::u16string& path) override;
  void SetTooltipText(const std::u16string& text) override;
  void ShowBalloon(const std::u16string& text) override;
  void ShowNotConnected(bool notConnected) override;
  void ShowNotificationDialog() override;
  void PlayNewRequestSound() override;
  void OpenUrl(const std::u16string& url) override;
  bool Sleep(std::uint32_t milliseconds) override;
  std::uint32_t Milliseconds() override;

  // Ends the worker's current or next wait: the system has resumed.
  void NoteResume() { ::SetEvent(resumed_.get()); }

 private:
  ServiceEndpoint authentication_;
  ServiceEndpoint orders_;
  // Auto-reset: one resume ends one wait.
  UniqueKernelHandle resumed_{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
};

// The program's one platform; start-up hands it down to the service.
Win32ServicePlatform& TheWin32ServicePlatform();
// The system has resumed from sleep (the main window hears it).
void NoteSystemResumed();
