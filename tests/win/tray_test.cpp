// The tray icon against a stand-in taskbar: what the shell is told over the
// icon's life, updates from two threads at once with the taskbar re-created
// in the middle of shell calls, and the resources the program's windows rely
// on (the same compiled script is linked in). Then many rounds of what the
// program does again and again, on the real Win32 parts: a log-in request to
// zarnik-sim, a balloon, a tooltip and four animation frames of the process's
// tray icon, and the notification dialog opened and closed. What the process
// holds must stay flat after a warm-up.
#include <gtest/gtest.h>
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <cstdint>
#include <future>
#include <string>
#include <tuple>
#include <vector>

#include "app/service_platform_win.h"
#include "e2e_harness.h"
#include "notify/notification_dialog_win.h"
#include "res/resource_ids.h"
#include "service/http_transport_win.h"
#include "service/service_hosts.h"
#include "service/untreated_state.h"
#include "shell_tray_recorder.h"
#include "text_fit.h"
#include "text/wide_text_win.h"
#include "tray/process_tray_win.h"

namespace {

using namespace std::string_literals;
constexpr UINT kCreationFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;

HINSTANCE Instance() { return ::GetModuleHandleW(nullptr); }

// Dispatches this thread's messages, the tray window's among them, until
// done() holds or the time is up.
template <typename Done>
bool PumpUntil(DWORD limitMs, Done done) {
  for (const DWORD start = ::GetTickCount(); !done() && ::GetTickCount() - start < limitMs; ::Sleep(2))
    for (MSG message; ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) ::DispatchMessageW(&message);
  return done();
}

// Looks at the context menu as it is about to be shown; the menu's modal
// loop then reads an Escape, which closes it.
struct MenuInspectingTray : CSystemTray {
  void PrepareMenu(HMENU menu) override {
    defaultCommand = static_cast<int>(::GetMenuDefaultItem(menu, FALSE, 0));
    ::PostMessageW(TrayWindow(), WM_KEYDOWN, VK_ESCAPE, 0);
  }
  int defaultCommand = -1;
};

// Texts of many lengths, each ending in its number, so that a cut, a mixture
// of two, or an old tail matches none of those written.
std::wstring Text(const wchar_t* head, int i) {
  return head + std::wstring(i % 90, L"abcdefghijklmnopqrstuvwxyz"[i % 26]) + L"#" + std::to_wstring(i);
}

// The icon's life as the shell sees it. In its middle the worker thread sets
// the tooltip and shows balloons while the user-interface thread animates the
// icon, and the taskbar is re-created now and then during a call from either.
TEST(TrayTest, WhatTheShellIsToldOverTheIconsLifeFromTwoThreads) {
  ShellTrayRecorder shell;
  MenuInspectingTray tray;
  const auto last = [&] { return shell.Notifications().back(); };
  const auto notified = [&] { return PumpUntil(3000, [&] { return !shell.Notifications().empty(); }); };
  // A taskbar not up yet refuses the first add; the newest balloon asked for
  // meanwhile waits for the icon. The taskbar's "TaskbarCreated" brings both
  // (sooner than the retry every few seconds).
  shell.refusing = true;
  EXPECT_FALSE(tray.CreateTrayIcon(Instance(), nullptr, nullptr));
  HWND window = tray.TrayWindow();
  const std::wstring failed = L"登录Zarnik失败，请检查网络情况。" + std::wstring(300, L'网'), longTip(200, L'条');
  tray.ShowBalloon(L"an older balloon");
  tray.ShowBalloon(failed.c_str());
  shell.refusing = false;
  ::PostMessageW(window, CSystemTray::taskbarCreatedMessage, 0, 0);
  ASSERT_TRUE(notified());
  const TrayNotification added = last();
  EXPECT_EQ(std::make_tuple(added.message, added.flags, added.id, added.callbackMessage, added.window, added.tip),
            std::make_tuple(DWORD{NIM_ADD}, kCreationFlags | NIF_INFO, 130u, UINT{WM_APP + 10}, window, L"Morvane"s));
  EXPECT_EQ(std::make_tuple(added.info, added.infoTitle, added.timeout, added.infoFlags),
            std::make_tuple(failed.substr(0, 255), L"Morvane"s, 10000u, DWORD{0}));
  // The badge: 1 to 99, then "99+" for any count above.
  std::vector<std::vector<BYTE>> shown;  // at 99, 100, 120 and 0 waiting
  for (int count : {99, 100, 120, 0}) {
    shell.Clear();
    tray.ShowWaitingCount(count);
    ASSERT_TRUE(notified()) << count << " waiting";
    shown.push_back(last().iconColour);
  }
  EXPECT_TRUE(shown[0] != shown[3]) << "99 waiting: a badge";
  EXPECT_TRUE(shown[1] != shown[0]) << "100 waiting: the 99+ badge";
  EXPECT_TRUE(shown[2] == shown[1]) << "120 waiting: the 99+ badge";
  EXPECT_TRUE(shown[3] == added.iconColour) << "none waiting: icon 107 exactly";
  tray.HandleTrayMessage(130, WM_RBUTTONUP);
  EXPECT_EQ(tray.defaultCommand, 32777) << "the menu's default: log-in";
  MSG m = {};
  tray.HandleTrayMessage(130, WM_LBUTTONDBLCLK);
  ASSERT_TRUE(::PeekMessageW(&m, window, WM_COMMAND, WM_COMMAND, PM_REMOVE)) << "a double-click posts no command";
  EXPECT_EQ(m.wParam, 32777u) << "double-click: log-in";
  tray.HandleTrayMessage(130, WM_LBUTTONUP);
  EXPECT_FALSE(::PeekMessageW(&m, window, WM_COMMAND, WM_COMMAND, PM_REMOVE)) << "a single click does nothing";

  // The taskbar re-created while the tray window's own thread waits in a
  // shell call: the window hears of it inside that call, and the icon comes
  // back as it last was, without the balloon shown before.
  shell.Clear();
  shell.AnnounceTaskbarBeforeAnswer(window, 1);
  tray.SetTooltipText(longTip.c_str());
  shell.AnnounceTaskbarBeforeAnswer(nullptr, 0);
  ASSERT_TRUE(PumpUntil(3000, [&] { return last().message == NIM_ADD; })) << "the icon comes back";
  EXPECT_EQ(std::make_tuple(last().flags, last().window, last().iconColour, last().tip),
            std::make_tuple(kCreationFlags, window, shown[3], longTip.substr(0, 127)));

  shell.Clear();
  shell.AnnounceTaskbarBeforeAnswer(window, 37);
  ASSERT_TRUE(tray.LoadAnimationFrames());
  std::vector<std::wstring> tipsSent, balloonsSent;  // each balloon twice: both are sent
  auto worker = std::async(std::launch::async, [&] {
    for (int i = 0; i < 600; ++i) {
      tray.SetTooltipText(tipsSent.emplace_back(Text(L"Morvane（待处理）", i)).c_str());
      tray.ShowBalloon(balloonsSent.emplace_back(Text(L"登录失败", i / 2)).c_str());
    }
  });
  // The spin starts again whenever it ends, until the worker is done.
  const auto workerDone = [&] { return worker.wait_for(std::chrono::seconds(0)) == std::future_status::ready; };
  PumpUntil(20000, [&] { return (tray.AnimationRunning() || workerDone() || tray.StartAnimation()) && workerDone(); });
  ASSERT_TRUE(PumpUntil(5000, [&] { return !tray.AnimationRunning(); }));
  EXPECT_EQ(shell.unanswered.load(), 0) << "the tray window stopped answering during a shell call";
  // Each notification by its kind: the icon put back on the re-created
  // taskbar, an animation frame, a tooltip or a balloon, whole and in order.
  std::vector<std::wstring> tips, balloons;
  std::vector<BYTE> lastIcon;
  size_t icons = 0, adds = 0;
  for (const TrayNotification& n : shell.Notifications()) {
    adds += n.message == NIM_ADD && n.flags == kCreationFlags && !n.iconColour.empty() && n.info.empty();
    icons += n.message == NIM_MODIFY && n.flags == NIF_ICON && !n.iconColour.empty() && n.info.empty();
    if (n.flags == NIF_ICON) lastIcon = n.iconColour;
    if (n.message == NIM_MODIFY && n.flags == NIF_TIP) tips.push_back(n.tip);
    if (n.message == NIM_MODIFY && n.flags == NIF_INFO && n.infoTitle == L"Morvane") balloons.push_back(n.info);
  }
  EXPECT_EQ(adds + icons + tips.size() + balloons.size(), shell.Notifications().size()) << "flags of no kind";
  EXPECT_EQ(tips, tipsSent);
  EXPECT_EQ(balloons, balloonsSent);
  EXPECT_GT(icons, 10u) << "animation frames";
  EXPECT_TRUE(lastIcon == shown[3]) << "the plain icon from before the spin";

  shell.Clear();
  EXPECT_TRUE(tray.RemoveTrayIcon());
  EXPECT_TRUE(tray.RemoveTrayIcon()) << "a second removal";
  tray.SetTooltipText(L"after removal");
  ::PostMessageW(HWND_BROADCAST, CSystemTray::taskbarCreatedMessage, 0, 0);
  // Until every message posted to this thread, the re-add among them, is handled.
  PumpUntil(3000, [m = MSG{}]() mutable { return !::PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE); });
  ASSERT_EQ(shell.Notifications().size(), 1u) << "deleted once, then left alone";
  EXPECT_EQ(last().message, static_cast<DWORD>(NIM_DELETE));
}

INT_PTR CALLBACK InertProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

BOOL CALLBACK CheckControl(HWND control, LPARAM) {
  RECT frame = {}, inside = {}, both = {};
  ::GetWindowRect(::GetParent(control), &frame);
  ::GetWindowRect(control, &inside);
  ::IntersectRect(&both, &frame, &inside);  // empty when they do not meet
  EXPECT_TRUE(::EqualRect(&both, &inside)) << ::GetDlgCtrlID(control) << ": outside";
  EXPECT_EQ(TextMisfit(control), L"") << "no room for the text";
  return TRUE;
}

// At 150 % scaling (the session's 144 dpi): the notice in the work area's
// corner, every control of the notice and of the settings dialog inside its
// dialog with room for its text in the control's font, the tray icon's own
// 24 px image.
TEST(AtHighDpi, NoticeInItsCornerTextsThatFitAnd24PxTrayIcon) {
  ShellTrayRecorder shell;
  ASSERT_TRUE(TheSystemTray().CreateTrayIcon(Instance(), nullptr, nullptr));
  // Icon 107's colour bits at the tray's size, as the shell library copies them.
  const int size = ::GetSystemMetrics(SM_CXSMICON);
  const UniqueIcon icon(
      static_cast<HICON>(::LoadImageW(Instance(), MAKEINTRESOURCEW(IDI_MORVANE), IMAGE_ICON, size, size, 0)));
  ICONINFO parts = {};
  ::GetIconInfo(icon.get(), &parts);
  const UniqueBitmap colour(parts.hbmColor), mask(parts.hbmMask);
  std::vector<BYTE> bits(size * size * 4);  // 32 bits a pixel
  ::GetBitmapBits(colour.get(), static_cast<LONG>(bits.size()), bits.data());
  EXPECT_TRUE(shell.Notifications().at(0).iconColour == bits) << "icon 107's 24 px image";
  const UniqueWindow notice(
      ::CreateDialogParamW(Instance(), MAKEINTRESOURCEW(IDD_NOTIFICATION), nullptr, NotificationDialogProc, 0));
  RECT frame = {}, work = {};
  ::GetWindowRect(notice.get(), &frame);
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_EQ(std::make_tuple(frame.right, frame.bottom, frame.left >= work.left, frame.top >= work.top),
            std::make_tuple(work.right, work.bottom, true, true));
  const UniqueWindow settings(::CreateDialogParamW(Instance(), MAKEINTRESOURCEW(IDD_SETTINGS), nullptr, InertProc, 0));
  for (HWND dialog : {notice.get(), settings.get()}) ::EnumChildWindows(dialog, CheckControl, 0);
}

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
// environment block points to; under Wine the table is the process's own. A
// 32-bit process reaches that block through its thread's 64-bit block, named
// where Windows' 64-bit layer names it too; either thread block holds the
// process block at 0x60.
long long ObjectsInGdiTable() {
  const auto at = [](std::uint64_t address, int offset) {
    return *reinterpret_cast<const std::uint64_t*>(static_cast<std::uintptr_t>(address) + offset);
  };
  void* thread[7] = {};  // its basic information: the exit status, then the thread's block
  ::NtQueryInformationThread(::GetCurrentThread(), static_cast<THREADINFOCLASS>(0), thread, sizeof(thread), nullptr);
  std::uint64_t teb = reinterpret_cast<std::uintptr_t>(thread[1]);
  if (sizeof(void*) == 4) teb = at(teb, 0xF70) & 0xFFFFFFFF;  // the thread's 64-bit block
  const auto* table = reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(at(at(teb, 0x60), 0xF8)));
  if (!table) return -1;
  long long count = 0;
  for (int i = 0; i < 0x10000; ++i) count += table[24 * i + 14] != 0;  // 24-byte cells, type at 14
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

// The desktop's windows that this thread made.
long long WindowsOfThisThread() {
  long long count = 0;
  for (HWND window = nullptr; (window = ::FindWindowExW(nullptr, window, nullptr, nullptr));)
    count += ::GetWindowThreadProcessId(window, nullptr) == ::GetCurrentThreadId();
  return count;
}

// "稍后处理" (Later), pressed from the dialog's own modal loop (a callback,
// stdcall on 32-bit Windows, which a lambda cannot be).
void CALLBACK PressLater(HWND, UINT, UINT_PTR timer, DWORD) {
  ::KillTimer(nullptr, timer);
  ::PostMessageW(::GetActiveWindow(), WM_COMMAND, IDCANCEL, 0);
}

// A round's log-in request and notice on the same Win32 parts, without the
// program's code: what Wine keeps of them is the bench's.
void BareRound() {
  Browse("http://" + Utf8(AsWide(MORVANE_AUTH_HOST)) + "/shop_login.php?name=shop&pwd=secret");
  ::DestroyWindow(::CreateDialogParamW(Instance(), MAKEINTRESOURCEW(IDD_NOTIFICATION), nullptr, InertProc, 0));
}

TEST(ResourceUseTest, ManyRoundsLeaveHandlesObjectsWindowsAndHeapFlat) {
  // A leak grows in both halves of the run; Wine itself may add objects once,
  // at a time of its own (fonts and caches of the session's first paints), in
  // one half. Tolerances per half: a few objects, and 2 KiB where the heap
  // varies by some hundred bytes (a leak of 50 bytes a round exceeds it) over
  // what as many bare rounds keep (Wine 10 keeps some bytes for every dialog
  // of Common Controls 6, more after a request).
  struct {
    const char* name;
    long long (*measure)();
    long long tolerance, warm = 0, mid = 0, end = 0;
  } usage[] = {{"handles", HandlesInSystemTable, 3},
               {"GDI objects", ObjectsInGdiTable, 3},
               {"windows", WindowsOfThisThread, 0},
               {"heap bytes", HeapBytes, 2048}};
  ShellTrayRecorder shell;
  CSystemTray& tray = TheSystemTray();
  CSystemTray::activeTray = &tray;  // the trays above served their windows
  ASSERT_TRUE(tray.CreateTrayIcon(Instance(), nullptr, nullptr));
  ASSERT_TRUE(tray.LoadAnimationFrames());
  // The zarnik-sim fixture points the prefix's browser proxy at the simulator,
  // auto-detection off, as for the end-to-end runs: Wine's automatic detection
  // loses 256 bytes per network adapter but one at every lookup, which would
  // hide the program's own figures. Without the simulator no reply comes.
  ASSERT_TRUE(OpenHttpSession());
  Win32ServicePlatform platform({AsWide(MORVANE_AUTH_HOST)}, {});
  for (int round = 0; round < kWarmUp + kRounds; ++round) {
    for (auto& u : usage)
      if (round == kWarmUp || round == kWarmUp + kRounds / 2) (round == kWarmUp ? u.warm : u.mid) = u.measure();
    shell.Clear();
    const HttpReply reply = platform.Get(ServiceHost::Authentication, u"/shop_login.php?name=shop&pwd=secret");
    ASSERT_EQ(reply.status, HttpReply::Status::Body) << "round " << round;
    ASSERT_NE(reply.body.find("login_status"), std::string::npos) << "round " << round << ": " << reply.body;
    platform.ShowBalloon(u"登录Zarnik失败，请检查网络情况。");
    TheUntreatedState().web.count = (round + 1) % 130;  // a new badge each round, none, and "99+"
    platform.SetTooltipText(u"Morvane（" + std::u16string(round % 50, u'7') + u"条待处理业务请求）");
    for (int frame = 0; frame < 4; ++frame) tray.AdvanceAnimation();
    ::SetTimer(nullptr, 0, 10, PressLater);
    platform.ShowNotificationDialog();
    ASSERT_EQ(shell.Notifications().size(), 7u) << "round " << round << ": a balloon, a tooltip, five icons";
  }
  for (auto& u : usage) u.end = u.measure();
  BareRound();  // the first opens a session of its own
  const long long bareStart = HeapBytes();
  for (int round = 0; round < kRounds / 2; ++round) BareRound();
  usage[3].tolerance += HeapBytes() - bareStart;
  for (const auto& u : usage) {
    if (u.warm < 0) continue;  // not measurable in this process
    EXPECT_GT(u.warm, 0) << u.name << " not reported";
    EXPECT_LE(std::min(u.mid - u.warm, u.end - u.mid), u.tolerance)
        << u.name << " grew: " << u.warm << " after the warm-up, " << u.mid << " half-way, " << u.end << " at the end";
  }
  tray.RemoveTrayIcon();
}

}  // namespace
