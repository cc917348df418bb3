#pragma once
// A stand-in for the user's browser under Wine: winebrowser runs the program
// named in HKCU\Software\Wine\WineBrowser "Browsers" with the URL.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "win32/handles.h"

// The shell's browser, pointed at a script that appends every URL it is
// asked to open to a log, for the life of the object.
class RecordingBrowser {
 public:
  RecordingBrowser(const std::string& recorderScript, const std::string& urlLog);
  ~RecordingBrowser();
  RecordingBrowser(const RecordingBrowser&) = delete;
  RecordingBrowser& operator=(const RecordingBrowser&) = delete;

  bool Installed() const { return installed_; }
  // Forgets the URLs recorded so far.
  void Clear();
  std::vector<std::string> Urls() const;
  // The shell starts the browser asynchronously: waits until count URLs
  // have arrived, then a while longer so that a surplus shows too.
  std::vector<std::string> UrlsAfterSettling(size_t count, DWORD timeoutMs);

 private:
  std::wstring logPath_;
  UniqueKey key_;
  std::optional<std::wstring> previous_;
  bool installed_ = false;
};
