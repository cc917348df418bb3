#include "service/pending_list_comparison.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// A power of two, more than twice the slots: the table never fills and
// probe runs stay short.
constexpr std::uint32_t kIndexCells = 2048;
static_assert(kIndexCells >= 2 * kPendingListSlots, "index too small for a full list");
static_assert((kIndexCells & (kIndexCells - 1)) == 0, "index size must be a power of two");

struct IndexCell {
  std::uint32_t hash;
  std::int16_t slot;  // -1: empty cell
};

struct PendingListIndex {
  IndexCell cells[kIndexCells];
};

int UsedSlots(const PendingList& list) { return std::clamp<int>(list.count, 0, kPendingListSlots); }

// Bytes before the terminator; a slot without one is read to its end, never past.
std::size_t EntryLength(const char* entry) {
  const void* terminator = std::memchr(entry, 0, kPendingEntryCapacity);
  return terminator ? static_cast<std::size_t>(static_cast<const char*>(terminator) - entry)
                    : static_cast<std::size_t>(kPendingEntryCapacity);
}

// FNV-1a: cheap, and spreads the long shared prefixes of order numbers well.
std::uint32_t HashEntry(const char* entry, std::size_t length) {
  std::uint32_t hash = 2166136261u;
  for (std::size_t i = 0; i < length; ++i) {
    hash ^= static_cast<unsigned char>(entry[i]);
    hash *= 16777619u;
  }
  return hash;
}

void BuildIndex(const PendingList& list, PendingListIndex& index) {
  for (IndexCell& cell : index.cells) cell = IndexCell{0, -1};
  const int used = UsedSlots(list);
  for (int slot = 0; slot < used; ++slot) {
    const std::uint32_t hash = HashEntry(list.ids[slot], EntryLength(list.ids[slot]));
    std::uint32_t position = hash & (kIndexCells - 1);
    while (index.cells[position].slot >= 0) position = (position + 1) & (kIndexCells - 1);
    index.cells[position] = IndexCell{hash, static_cast<std::int16_t>(slot)};
  }
}

bool IndexHolds(const PendingList& list, const PendingListIndex& index, const char* entry) {
  const std::size_t length = EntryLength(entry);
  const std::uint32_t hash = HashEntry(entry, length);
  for (std::uint32_t position = hash & (kIndexCells - 1); index.cells[position].slot >= 0;
       position = (position + 1) & (kIndexCells - 1)) {
    const IndexCell& cell = index.cells[position];
    if (cell.hash != hash) continue;
    const char* kept = list.ids[cell.slot];
    if (EntryLength(kept) == length && std::memcmp(kept, entry, length) == 0) return true;
  }
  return false;
}

}  // namespace

int CountNewEntries(const PendingList& previous, const PendingList& current) {
  const int entries = UsedSlots(current);
  if (UsedSlots(previous) == 0) return entries;

  PendingListIndex index;
  BuildIndex(previous, index);
  int fresh = 0;
  for (int slot = 0; slot < entries; ++slot) {
    if (!IndexHolds(previous, index, current.ids[slot])) ++fresh;
  }
  return fresh;
}
