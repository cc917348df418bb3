#include "win32/off_thread_work.h"

#include <windows.h>

#include <memory>

#include "win32/handles.h"

namespace {

// Per thread: the notice waits on the worker's thread, the tray's commands
// and the settings dialog on the user-interface thread, each for itself.
thread_local bool awaiting = false;

DWORD WINAPI RunWork(LPVOID parameter) {
  const std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(parameter));
  (*work)();
  return 0;
}

// Serves messages until the thread ends (true) or the program is to end
// (false, the quit message posted again).
bool ServeMessagesUntilDone(HANDLE thread) {
  for (;;) {
    // MWMO_INPUTAVAILABLE: input that a peek has already seen wakes it too.
    const DWORD woke = ::MsgWaitForMultipleObjectsEx(1, &thread, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woke == WAIT_OBJECT_0) return true;
    if (woke == WAIT_FAILED) {
      // A wait that cannot be made must not spin: the thread's end, then.
      ::WaitForSingleObject(thread, INFINITE);
      return true;
    }
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        ::PostQuitMessage(static_cast<int>(message.wParam));
        return false;
      }
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
}

}  // namespace

bool AwaitingOffThreadWork() { return awaiting; }

OffThreadOutcome RunOffThread(std::function<void()> work) {
  if (awaiting) return OffThreadOutcome::Busy;
  auto owned = std::make_unique<std::function<void()>>(std::move(work));
  const UniqueKernelHandle thread(::CreateThread(nullptr, 0, RunWork, owned.get(), 0, nullptr));
  if (!thread) {
    // No thread to be had: the work runs here, as it always could.
    (*owned)();
    return OffThreadOutcome::Done;
  }
  owned.release();  // the thread owns it now
  awaiting = true;
  const bool done = ServeMessagesUntilDone(thread.get());
  awaiting = false;
  return done ? OffThreadOutcome::Done : OffThreadOutcome::Quitting;
}
