// The hooked thread's side of page_probe.h.
#include <windows.h>

#include <string>

#define PAGE_PROBE_API __declspec(dllexport)
#include "page_probe.h"
#include "text_fit.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

BOOL CALLBACK AddMisfit(HWND control, LPARAM report) {
  const std::wstring misfit = ::IsWindowVisible(control) ? TextMisfit(control) : L"";
  if (!misfit.empty()) *reinterpret_cast<std::wstring*>(report) += misfit + L"\n";
  return TRUE;
}

LRESULT CALLBACK Probe(int code, WPARAM removed, LPARAM message) {
  static const UINT probe = ::RegisterWindowMessageW(kProbeMessage);
  const MSG& m = *reinterpret_cast<const MSG*>(message);
  if (code == HC_ACTION && removed == PM_REMOVE && m.message == probe) {
    std::wstring report;
    ::EnumChildWindows(m.hwnd, AddMisfit, reinterpret_cast<LPARAM>(&report));
    COPYDATASTRUCT data = {0, static_cast<DWORD>((report.size() + 1) * sizeof(wchar_t)), report.data()};
    ::SendMessageW(reinterpret_cast<HWND>(m.wParam), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
  }
  return ::CallNextHookEx(nullptr, code, removed, message);
}

}  // namespace

HHOOK ProbePages(DWORD thread) {
  return ::SetWindowsHookExW(WH_GETMESSAGE, Probe, reinterpret_cast<HINSTANCE>(&__ImageBase), thread);
}
