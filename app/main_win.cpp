#include <windows.h>
#include <commctrl.h>

#include "app/autostart_win.h"
#include "app/main_window_win.h"
#include "notify/new_request_sound_win.h"
#include "res/resource_ids.h"
#include "tray/system_tray_win.h"
#include "win32/com_apartment.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // One copy per desktop: the tray window's class marks a running copy.
  if (::FindWindowExW(nullptr, nullptr, kTrayWindowClass, nullptr)) return 0;
  // The tray's console command opens the browser from this thread.
  const ComApartment com;
  // Common Controls 6, which the manifest names: imported, so it is loaded
  // for the whole run and the tray's icons come from this version.
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);

  EnsureAutostart();
  RegisterNewRequestSound();
  LoadMainWindowTexts(instance);
  RegisterMainClass(instance);
  if (!StartApplication(instance)) return 0;

  HACCEL accelerators = ::LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDA_MAIN));
  MSG message = {};
  // GetMessageW reports an error as -1, which must end the loop too.
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!::TranslateAcceleratorW(message.hwnd, accelerators, &message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  return static_cast<int>(message.wParam);
}
