#pragma once
// Work that may take long (a request that waits up to a minute for its
// reply) run off the user-interface thread, which keeps serving its messages
// meanwhile, so that Windows never takes the program for hung.

#include <functional>

enum class OffThreadOutcome {
  Done,      // the work ran to its end
  Busy,      // other work is awaited already: this was not started
  Quitting,  // the program is ending: the work was left running
};

// Runs work on a thread of its own and serves the calling thread's messages
// until it has finished. A quit message that arrives meanwhile is posted
// again for the loop that ends the program, and the wait ends at once: the
// work then runs on alone, so it must own everything it touches and touch no
// window. One at a time per thread, on a thread with windows (the
// user-interface thread, or the worker's while it shows the notice).
OffThreadOutcome RunOffThread(std::function<void()> work);

// Work is being awaited by the calling thread: nothing modal may start on
// top of that wait, which would hold it up until it closed.
bool AwaitingOffThreadWork();
