#pragma once
// Which entries of a poll's list were not in the previous list of the same
// category.

#include <cstdint>
#include <string_view>

#include "service/untreated_state.h"

// The entry a text becomes in a slot: at most 127 bytes, ending at a zero
// byte inside it.
std::string_view SlotEntry(const char* text, std::size_t length);

// A fixed-size hash index over a kept list's slots, built on the stack for
// each category of a poll: no allocation, and about one comparison per entry looked up
// instead of one per kept entry. The list must not change while it is used.
class PendingListIndex {
 public:
  explicit PendingListIndex(const PendingList& list);
  // Whether a kept slot holds exactly entry's bytes.
  bool Holds(std::string_view entry) const;

 private:
  // A power of two, more than twice the slots: the table never fills and
  // probe runs stay short.
  static constexpr std::uint32_t kCells = 2048;
  static_assert(kCells >= 2 * kPendingListSlots, "index too small for a full list");
  struct Cell {
    std::uint32_t hash;
    std::int16_t slot;  // -1: empty cell
    std::uint8_t length;
  };
  const PendingList& list_;
  Cell cells_[kCells];
};
