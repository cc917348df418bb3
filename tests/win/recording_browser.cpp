#include "tests/win/recording_browser.h"

#include "tests/win/wine_paths.h"

namespace {

constexpr wchar_t kBrowserKey[] = L"Software\\Wine\\WineBrowser";
constexpr wchar_t kBrowsersValue[] = L"Browsers";

std::wstring WideFromUtf8(const std::string& text) {
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], length);
  wide.resize(static_cast<size_t>(length) - 1);
  return wide;
}

UniqueKey CreateUserKey(const wchar_t* path) {
  HKEY key = nullptr;
  ::RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  return UniqueKey(key);
}

bool SetText(HKEY key, const wchar_t* name, const std::wstring& text) {
  return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

}  // namespace

RecordingBrowser::RecordingBrowser(const std::string& recorderScript, const std::string& urlLog)
    : logPath_(WindowsPathOf(urlLog.c_str())), key_(CreateUserKey(kBrowserKey)) {
  if (!key_) return;
  wchar_t previous[1024] = {};
  DWORD bytes = sizeof(previous) - sizeof(wchar_t);
  if (::RegQueryValueExW(key_.get(), kBrowsersValue, nullptr, nullptr, reinterpret_cast<BYTE*>(previous), &bytes) ==
      ERROR_SUCCESS)
    previous_ = std::wstring(previous);
  // The browser runs as /bin/sh SCRIPT LOG URL.
  installed_ = SetText(key_.get(), kBrowsersValue,
                       L"\"/bin/sh\" \"" + WideFromUtf8(recorderScript) + L"\" \"" + WideFromUtf8(urlLog) + L"\"");
  ::DeleteFileW(logPath_.c_str());
}

RecordingBrowser::~RecordingBrowser() {
  if (!installed_) return;
  if (previous_)
    SetText(key_.get(), kBrowsersValue, *previous_);
  else
    ::RegDeleteValueW(key_.get(), kBrowsersValue);
}

void RecordingBrowser::Clear() { ::DeleteFileW(logPath_.c_str()); }

std::vector<std::string> RecordingBrowser::Urls() const {
  std::vector<std::string> urls;
  const HANDLE opened = ::CreateFileW(logPath_.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      0, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return urls;
  const UniqueKernelHandle file(opened);
  std::string content;
  char chunk[4096];
  DWORD read = 0;
  while (::ReadFile(file.get(), chunk, sizeof(chunk), &read, nullptr) && read > 0) content.append(chunk, read);
  size_t start = 0;
  for (size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1)
    urls.push_back(content.substr(start, end - start));
  return urls;
}

std::vector<std::string> RecordingBrowser::UrlsAfterSettling(size_t count, DWORD timeoutMs) {
  const DWORD start = ::GetTickCount();
  while (Urls().size() < count && ::GetTickCount() - start < timeoutMs) ::Sleep(50);
  ::Sleep(1500);
  return Urls();
}
