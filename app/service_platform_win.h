#pragma once
// The service logic's system operations, on Win32: WinHTTP for the requests,
// the tray object for the tooltip and balloons, the notification dialog, the
// shell for URLs.

#include <windows.h>
#include <winhttp.h>

#include <string>

#include "service/service_platform.h"

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
  void ShowNotificationDialog() override;
  void OpenUrl(const std::u16string& url) override;
  void Sleep(std::uint32_t milliseconds) override;

 private:
  ServiceEndpoint authentication_;
  ServiceEndpoint orders_;
};

// The program's one platform: the configured hosts on port 80.
Win32ServicePlatform& TheServicePlatform();

// UTF-16 in both forms: wchar_t is 16 bits wide on Windows.
inline const wchar_t* AsWide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline const char16_t* AsUtf16(const wchar_t* text) { return reinterpret_cast<const char16_t*>(text); }
static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 code units");
