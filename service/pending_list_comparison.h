#pragma once
// Which entries of a poll's list were not in the previous list of the same
// category.

#include "service/untreated_state.h"

// How many of current's entries (slots 0 to count - 1) have no byte-for-byte
// equal entry among previous's. Equal entries within current each count.
// Uses a fixed-size hash index over previous's slots: no allocation, and
// about one comparison per entry instead of one per pair of entries.
int CountNewEntries(const PendingList& previous, const PendingList& current);
