#pragma once
// The user's browser proxy settings in the test prefix's registry: the
// binary record WinHTTP reads when a session starts. A test that needs a
// given configuration writes it for its own lifetime, so that what another
// test program left in the prefix does not matter.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum BrowserProxyFlags : DWORD {
  kProxyDirect = 1,
  kProxyManual = 2,
  kProxyConfigUrl = 4,
  kProxyAutoDetect = 8,
};

struct BrowserProxySettings {
  DWORD flags = kProxyDirect;
  std::string proxy;      // "host:port"
  std::string bypass;     // "host;host"
  std::string configUrl;  // script address
};

// The record as the registry holds it: little-endian DWORDs 0x46, a change
// counter and the flags, then each text as its length and its ASCII bytes.
std::vector<std::uint8_t> EncodeBrowserProxySettings(const BrowserProxySettings& settings);

// Writes the settings on construction and puts back the value that was
// there, or its absence, on destruction.
class ScopedBrowserProxySettings {
 public:
  explicit ScopedBrowserProxySettings(const BrowserProxySettings& settings);
  ~ScopedBrowserProxySettings();
  ScopedBrowserProxySettings(const ScopedBrowserProxySettings&) = delete;
  ScopedBrowserProxySettings& operator=(const ScopedBrowserProxySettings&) = delete;

  bool Written() const { return written_; }

 private:
  std::optional<std::vector<std::uint8_t>> previous_;
  bool written_ = false;
};
