#include "tray/process_tray_win.h"

#include <cstdlib>
#include <new>

namespace {

// The worker thread is never stopped: it may still set the tooltip or show a
// balloon while the process exits. The object's storage therefore outlives
// every static destructor; at exit only the teardown runs (icon removed,
// hidden window destroyed), after which updates are kept in the record and
// go nowhere.
alignas(CSystemTray) unsigned char trayStorage[sizeof(CSystemTray)];

CSystemTray& ConstructProcessTray() {
  CSystemTray* tray = ::new (static_cast<void*>(trayStorage)) CSystemTray();
  std::atexit([] { TheSystemTray().Teardown(); });
  return *tray;
}

CSystemTray& processTray = ConstructProcessTray();

}  // namespace

CSystemTray& TheSystemTray() { return processTray; }
