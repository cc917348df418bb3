#pragma once
// A DLL that a message hook loads into another program (the set-up), where
// the fonts of that program's windows can be measured: ProbePages hooks the
// thread, and a kProbeMessage posted to a window of it, with the HWND to
// answer in wParam, is answered by a WM_COPYDATA of TextMisfit's lines for
// every visible control under that window ("" where all fit).
#include <windows.h>

constexpr wchar_t kProbeMessage[] = L"MorvanePageProbe";

#ifndef PAGE_PROBE_API
#define PAGE_PROBE_API __declspec(dllimport)
#endif
extern "C" PAGE_PROBE_API HHOOK ProbePages(DWORD thread);
