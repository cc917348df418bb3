// Many rounds of what the program does again and again, on the real Win32
// parts: a log-in request to zarnik-sim, a balloon, a tooltip and four
// animation frames of the process's tray icon, and the notification dialog
// opened and closed. What the process holds must stay flat after a warm-up.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>
#include <winternl.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/service_platform_win.h"
#include "res/resource_ids.h"
#include "service/http_transport_win.h"
#include "service/service_hosts.h"
#include "text/wide_text_win.h"
#include "tests/win/shell_tray_recorder.h"
#include "tray/process_tray_win.h"

namespace {

constexpr int kWarmUp = 50, kRounds = 200;

// Wine answers 0 to GetProcessHandleCount and GetGuiResources; these sources
// it keeps.
long long HandlesInSystemTable() {
  std::vector<std::uint8_t> buffer(1 << 20);
  while (::NtQuerySystemInformation(SystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                                    nullptr) == static_cast<NTSTATUS>(0xC0000004L))  // too small
    buffer.resize(buffer.size() * 2);
  const auto* table = reinterpret_cast<const SYSTEM_HANDLE_INFORMATION*>(buffer.data());
  return std::count_if(table->Handle, table->Handle + table->Count,
                       [](const auto& h) { return h.OwnerPid == ::GetCurrentProcessId(); });
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

// The bytes of every heap block in use: exact, where Wine's memory counters
// report resident pages (which the first measurement itself raises by the
// 1 MiB handle table above, kept resident).
long long HeapBytes() {
  HANDLE heaps[64];  // in use by the process
  long long bytes = 0;
  for (DWORD h = 0, n = ::GetProcessHeaps(64, heaps); h < n && h < 64; ++h)
    for (PROCESS_HEAP_ENTRY entry = {}; ::HeapWalk(heaps[h], &entry);)
      bytes += (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) ? entry.cbData : 0;
  return bytes;
}

long long WindowsOfThisThread() {
  long long count = 0;
  ::EnumThreadWindows(::GetCurrentThreadId(), [](HWND, LPARAM n) { return ++*reinterpret_cast<long long*>(n), TRUE; },
                      reinterpret_cast<LPARAM>(&count));
  return count;
}

// "稍后处理" (Later), pressed from the dialog's own modal loop.
void CALLBACK PressLater(HWND, UINT, UINT_PTR timer, DWORD) {
  ::KillTimer(nullptr, timer), ::EnumThreadWindows(::GetCurrentThreadId(), [](HWND window, LPARAM) {
    return ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0), TRUE; }, 0);
}

// The browser proxy of the prefix pointed at the simulator, auto-detection
// off, as the end-to-end runs have it: Wine's automatic detection loses
// 256 bytes per network adapter but one at every lookup, which would hide
// the program's own figures.
bool UseSimulatorAsProxy() {
  int port = 0;
  const char* portFile = std::getenv("MORVANE_SIM_PORT_FILE");
  if (!portFile || !(std::ifstream(portFile) >> port)) return false;
  const std::string proxy = "127.0.0.1:" + std::to_string(port), record =  // version, counter, direct | proxy,
      std::string("\x46\0\0\0\1\0\0\0\3\0\0\0", 12) + static_cast<char>(proxy.size()) + std::string(3, '\0') +
      proxy + std::string(8, '\0');  // the proxy, no bypass list, no script
  return !::SHSetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections",
                        L"DefaultConnectionSettings", REG_BINARY, record.data(), static_cast<DWORD>(record.size()));
}

TEST(ResourceUseTest, ManyRoundsLeaveHandlesObjectsWindowsAndHeapFlat) {
  // Tolerances: a few objects, and 8 KiB where the heap varies by some
  // hundred bytes; a leak of 50 bytes a round exceeds it.
  struct { const char* name; long long (*measure)(); long long tolerance, warm = 0; } usage[] = {
      {"handles", HandlesInSystemTable, 3}, {"GDI objects", ObjectsInGdiTable, 3},
      {"windows", WindowsOfThisThread, 0}, {"heap bytes", HeapBytes, 8192}};
  ShellTrayRecorder shell;
  CSystemTray& tray = TheSystemTray();
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  ASSERT_TRUE(tray.CreateTrayIcon(instance, nullptr, ::LoadIconW(instance, MAKEINTRESOURCEW(IDI_MORVANE))) &&
              tray.LoadAnimationFrames());
  ASSERT_TRUE(UseSimulatorAsProxy() && OpenHttpSession()) << "no zarnik-sim port in MORVANE_SIM_PORT_FILE, or no session";
  Win32ServicePlatform platform({AsWide(MORVANE_AUTH_HOST)}, {});
  for (int round = 0; round < kWarmUp + kRounds; ++round) {
    for (auto& u : usage) u.warm = round == kWarmUp ? u.measure() : u.warm;
    shell.Clear();
    const HttpReply reply = platform.Get(ServiceHost::Authentication, u"/shop_login.php?name=shop&pwd=secret");
    ASSERT_TRUE(reply.status == HttpReply::Status::Body && reply.body.find("login_status") != std::string::npos)
        << "round " << round << ": " << reply.body;
    platform.ShowBalloon(u"登录Zarnik失败，请检查网络情况。");
    platform.SetTooltipText(u"Morvane（" + std::u16string(round % 50, u'7') + u"条待处理业务请求）");
    for (int frame = 0; frame < 4; ++frame) tray.AdvanceAnimation();
    ::SetTimer(nullptr, 0, 10, PressLater);
    platform.ShowNotificationDialog();
    ASSERT_EQ(shell.Notifications().size(), 6u) << "round " << round << ": a balloon, a tooltip, four icons";
  }
  for (const auto& u : usage) {
    const long long end = u.measure();
    std::printf("%s: %lld after the warm-up, %lld at the end\n", u.name, u.warm, end);
    EXPECT_TRUE(u.warm > 0 && end - u.warm <= u.tolerance) << u.name << " not reported, or grew";
  }
  tray.RemoveTrayIcon();
}

}  // namespace
