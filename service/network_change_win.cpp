#include "service/network_change_win.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <atomic>

#include "win32/handles.h"

namespace {

std::atomic<void (*)()> listener{nullptr};

DWORD WINAPI WatchAddresses(LPVOID) {
  const UniqueKernelHandle event(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!event) return 0;
  for (;;) {
    // One notice per call; the handle it gives belongs to the system.
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event.get();
    HANDLE notice = nullptr;
    if (::NotifyAddrChange(&notice, &overlapped) != ERROR_IO_PENDING) return 0;
    if (::WaitForSingleObject(event.get(), INFINITE) != WAIT_OBJECT_0) return 0;
    listener.load()();
  }
}

}  // namespace

void WatchNetworkChanges(void (*changed)()) {
  if (listener.exchange(changed)) return;
  const HANDLE thread = ::CreateThread(nullptr, 0, WatchAddresses, nullptr, 0, nullptr);
  if (thread) ::CloseHandle(thread);
}
