#include "service/pending_list_comparison.h"

#include <algorithm>
#include <cstring>

namespace {

// Eight bytes at a time, mixed by multiplication: order numbers share long
// prefixes and differ in their last digits, which the final mix spreads.
std::uint32_t HashEntry(std::string_view entry) {
  constexpr std::uint64_t kMix = 0x9E3779B97F4A7C15u;
  std::uint64_t hash = entry.size();
  const char* at = entry.data();
  for (std::size_t left = entry.size(); left > 0;) {
    std::uint64_t word = 0;
    if (left >= 8) {
      std::memcpy(&word, at, 8), at += 8, left -= 8;
    } else {
      for (std::size_t i = 0; i < left; ++i) word |= std::uint64_t(static_cast<unsigned char>(at[i])) << (8 * i);
      left = 0;
    }
    hash = (hash ^ word) * kMix;
    hash ^= hash >> 31;
  }
  hash ^= hash >> 33;
  hash *= 0xFF51AFD7ED558CCDu;
  return static_cast<std::uint32_t>(hash ^ (hash >> 33));
}

}  // namespace

std::string_view SlotEntry(const char* text, std::size_t length) {
  length = std::min<std::size_t>(length, kPendingEntryCapacity - 1);
  const void* zero = std::memchr(text, 0, length);
  return {text, zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - text) : length};
}

PendingListIndex::PendingListIndex(const PendingList& list) : list_(list) {
  for (Cell& cell : cells_) cell = Cell{0, -1, 0};
  const int used = std::clamp<int>(list.count, 0, kPendingListSlots);
  for (int slot = 0; slot < used; ++slot) {
    // A slot without a terminator is read as far as an entry reaches, never past.
    const std::string_view entry = SlotEntry(list.ids[slot], kPendingEntryCapacity);
    const std::uint32_t hash = HashEntry(entry);
    std::uint32_t position = hash & (kCells - 1);
    while (cells_[position].slot >= 0) position = (position + 1) & (kCells - 1);
    cells_[position] = Cell{hash, static_cast<std::int16_t>(slot), static_cast<std::uint8_t>(entry.size())};
  }
}

bool PendingListIndex::Holds(std::string_view entry) const {
  const std::uint32_t hash = HashEntry(entry);
  for (std::uint32_t position = hash & (kCells - 1); cells_[position].slot >= 0;
       position = (position + 1) & (kCells - 1)) {
    const Cell& cell = cells_[position];
    if (cell.hash == hash && entry == std::string_view(list_.ids[cell.slot], cell.length)) {
      return true;
    }
  }
  return false;
}
