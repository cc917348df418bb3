#pragma once
// What the poll remembers of the service's last "untreated" answer, so the
// next answer can be compared with it. Emptied at start-up before the worker
// thread exists, then written only by the poll on that thread; the
// notification dialog reads newCount on that same thread.

#include <cstdint>

constexpr int kPendingListSlots = 1000;
constexpr int kPendingEntryCapacity = 128;  // bytes, terminator included

struct PendingList {
  // Slot i holds entry i as zero-terminated bytes. Slots at or beyond count
  // keep old text and are never read.
  char ids[kPendingListSlots][kPendingEntryCapacity] = {};
  std::int32_t count = 0;
};

struct UntreatedState {
  PendingList web;
  PendingList liuyan;
  PendingList tousu;
  // Entries of the last "untreated" answer that were not in the one before.
  std::int32_t newCount = 0;
};

// The one process-wide instance.
UntreatedState& TheUntreatedState();
