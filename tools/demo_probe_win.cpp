// What the program's open dialog shows, for the demo, which drives the
// program with the keyboard and checks each step by what it shows: a dialog
// of the process of the program's hidden main window (settings, About, the
// notice), and only while it is the foreground window, which takes the keys.
//   demo_probe ID     prints the text of control ID, in UTF-8
//   demo_probe focus  prints the ID of the control with the keyboard focus
// Exit code 1, with nothing printed, when there is no such dialog or control.
#include <windows.h>

#include <string>

namespace {

HWND ForegroundDialog() {
  const HWND main = ::FindWindowW(L"Dovrel", nullptr);
  const HWND foreground = ::GetForegroundWindow();
  wchar_t name[16] = {};
  DWORD program = 0, owner = 0;
  if (!main || !foreground || !::GetWindowThreadProcessId(main, &program) ||
      !::GetWindowThreadProcessId(foreground, &owner) || owner != program)
    return nullptr;
  return ::GetClassNameW(foreground, name, 16) && std::wstring(name) == L"#32770" ? foreground : nullptr;
}

int Print(const std::wstring& text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return 1;
  std::string bytes(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &bytes[0], size, nullptr, nullptr);
  bytes.back() = '\n';
  DWORD written = 0;
  return ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr)
             ? 0
             : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const HWND dialog = ForegroundDialog();
  if (argc != 2 || !dialog) return 1;
  if (std::wstring(argv[1]) == L"focus") {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &info) || !::IsChild(dialog, info.hwndFocus))
      return 1;
    return Print(std::to_wstring(::GetDlgCtrlID(info.hwndFocus)));
  }
  wchar_t text[1024] = {};
  const HWND control = ::GetDlgItem(dialog, _wtoi(argv[1]));
  if (!control || !::SendMessageTimeoutW(control, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                                         5000, nullptr))
    return 1;
  return Print(text);
}
