#pragma once
// Whether a control has room for its whole text: DrawText's DT_CALCRECT in
// the control's own font at the control's width (one line for a button)
// against its client area. The font must be the calling process's own, so a
// check of another program's window runs inside that program (page_probe).
#include <windows.h>

#include <string>

// "" where the control's text fits; otherwise its id and text.
inline std::wstring TextMisfit(HWND control) {
  RECT text = {};
  ::GetClientRect(control, &text);
  wchar_t caption[1024] = {};
  ::GetWindowTextW(control, caption, 1024);
  HDC dc = ::GetDC(control);
  ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
  const bool button = ::SendMessageW(control, WM_GETDLGCODE, 0, 0) & DLGC_BUTTON;
  RECT needed = {0, 0, text.right, 0};
  ::DrawTextW(dc, caption, -1, &needed, DT_CALCRECT | DT_NOPREFIX | (button ? DT_SINGLELINE : DT_WORDBREAK));
  ::ReleaseDC(control, dc);
  if (needed.right <= text.right && needed.bottom <= text.bottom) return L"";
  const auto size = [](const RECT& r) { return std::to_wstring(r.right) + L"x" + std::to_wstring(r.bottom); };
  return std::to_wstring(::GetDlgCtrlID(control)) + L" " + caption + L": needs " + size(needed) + L", has " +
         size(text);
}
