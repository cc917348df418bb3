// Many rounds of what the program does again and again, on the real Win32
// parts: balloon, tooltip and icon updates of the
// process's tray icon, and the notification dialog opened and closed. What
// the process holds must stay flat once the run has warmed up.
#include <gtest/gtest.h>
#include <windows.h>
#include <winternl.h>
#define PSAPI_VERSION 2
#include <psapi.h>

#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "app/service_platform_win.h"
#include "res/resource_ids.h"
#include "tests/win/shell_tray_recorder.h"
#include "tray/process_tray_win.h"
#include "win32/handles.h"

namespace {

constexpr int kWarmUp = 200, kRounds = 300;

// Wine answers 0 to some of the documented counters; these sources it keeps.
long long HandlesInSystemTable() {
  std::vector<std::uint8_t> buffer(1 << 20);
  ULONG needed = 0;
  while (::NtQuerySystemInformation(SystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                                    &needed) == static_cast<NTSTATUS>(0xC0000004L))
    buffer.resize(buffer.size() * 2);
  const auto* table = reinterpret_cast<const SYSTEM_HANDLE_INFORMATION*>(buffer.data());
  long long count = 0;
  for (ULONG i = 0; i < table->Count; ++i) count += table->Handle[i].OwnerPid == ::GetCurrentProcessId();
  return count;
}

// The cells in use of the GDI handle table that the 64-bit process
// environment block points to; under Wine the table is the process's own.
long long ObjectsInGdiTable() {
  PROCESS_BASIC_INFORMATION basic = {};
  ::NtQueryInformationProcess(::GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof(basic), nullptr);
  const auto* table = *reinterpret_cast<const std::uint8_t* const*>(
      reinterpret_cast<const std::uint8_t*>(basic.PebBaseAddress) + 0xF8);
  long long count = 0;
  for (int i = 0; table && i < 0x10000; ++i) count += table[24 * i + 14] != 0;  // 24-byte cells, type at 14
  return count;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM count) {
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner == ::GetCurrentProcessId()) ++*reinterpret_cast<long long*>(count);
  return TRUE;
}

struct Usage {
  const char* name;
  long long value, tolerance;
};

std::vector<Usage> MeasureUsage() {
  DWORD handles = 0;
  ::GetProcessHandleCount(::GetCurrentProcess(), &handles);
  const DWORD gdi = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
  long long windows = 0;  // top-level and child, shown or hidden
  ::EnumWindows(
      [](HWND top, LPARAM count) {
        CountWindow(top, count);
        ::EnumChildWindows(top, CountWindow, count);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  PROCESS_MEMORY_COUNTERS memory = {sizeof(memory)};
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof(memory));
  return {{"handles", handles ? handles : HandlesInSystemTable(), 10},
          {"GDI objects", gdi ? gdi : ObjectsInGdiTable(), 10},
          {"windows", windows, 2},
          {"commit bytes", static_cast<long long>(memory.PagefileUsage), 128 * 1024}};
}

TEST(ResourceUseTest, ManyRoundsLeaveHandlesObjectsWindowsAndMemoryFlat) {
  ShellTrayRecorder shell;
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  CSystemTray& tray = TheSystemTray();
  ASSERT_TRUE(tray.CreateTrayIcon(instance, nullptr, ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_MORVANE))));
  Win32ServicePlatform platform({}, {});
  std::vector<Usage> warm;
  for (int round = 0; round < kWarmUp + kRounds; ++round) {
    if (round == kWarmUp) warm = MeasureUsage();
    shell.Clear();
    platform.ShowBalloon(u"登录Zarnik失败，请检查网络情况。");
    platform.SetTooltipText(u"Morvane（" + std::u16string(round % 50, u'7') + u"条待处理业务请求）");
    tray.LoadAnimationFrames();
    for (int frame = 0; frame < 4; ++frame) tray.AdvanceAnimation();
    // "稍后处理" (Later), pressed from the dialog's own modal loop.
    ::SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR id, DWORD) {
      ::KillTimer(nullptr, id);
      ::EnumThreadWindows(::GetCurrentThreadId(), [](HWND window, LPARAM) {
        wchar_t name[8] = {};
        ::GetClassNameW(window, name, 8);
        if (std::wstring(name) == L"#32770") ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        return TRUE;
      }, 0);
    });
    platform.ShowNotificationDialog();
    ASSERT_EQ(shell.Notifications().size(), 6u) << "round " << round << ": a balloon, a tooltip, four icons";
  }
  const std::vector<Usage> end = MeasureUsage();
  for (size_t i = 0; i < end.size(); ++i) {
    std::cout << end[i].name << ": " << warm[i].value << " after the warm-up, " << end[i].value << " at the end\n";
    EXPECT_GT(warm[i].value, 0) << end[i].name << " not reported";
    EXPECT_LE(end[i].value - warm[i].value, end[i].tolerance) << end[i].name << " grew";
  }
  tray.RemoveTrayIcon();
}

}  // namespace
