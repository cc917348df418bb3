#pragma once
// Hears when the machine's network addresses change (a cable plugged in, a
// Wi-Fi joined, an address leased), on a thread of its own that lives as
// long as the process.

// changed is called on that thread after each change. Once per process.
void WatchNetworkChanges(void (*changed)());
