#pragma once
// Records by identifier, remembered in the order they were made and capped:
// when a new one would pass the cap, the oldest is forgotten. Sessions and
// console keys live here, so a client that logs in for ever cannot make the
// simulator grow without end.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <utility>

template <typename Record>
class BoundedRegistry {
 public:
  explicit BoundedRegistry(std::size_t capacity) : capacity_(capacity) {}

  // An identifier that is already there keeps its record.
  void Insert(const std::string& id, Record record) {
    if (records_.count(id) != 0) return;
    while (!records_.empty() && records_.size() >= capacity_) DropOldest();
    const std::uint64_t stamp = ++last_stamp_;
    records_.emplace(id, Entry{std::move(record), stamp});
    order_.emplace_back(id, stamp);
  }

  const Record* Find(const std::string& id) const {
    const auto found = records_.find(id);
    return found == records_.end() ? nullptr : &found->second.record;
  }

  bool Erase(const std::string& id) {
    if (records_.erase(id) == 0) return false;
    Compact();
    return true;
  }

  // Erases every record for which drop(record) is true; returns how many.
  template <typename Predicate>
  std::size_t EraseIf(Predicate drop) {
    std::size_t erased = 0;
    for (auto it = records_.begin(); it != records_.end();) {
      if (drop(it->second.record)) {
        it = records_.erase(it);
        ++erased;
      } else {
        ++it;
      }
    }
    if (erased != 0) Compact();
    return erased;
  }

  std::size_t size() const { return records_.size(); }

 private:
  struct Entry {
    Record record;
    std::uint64_t stamp;  // tells a live record from an older one of the same id
  };

  void DropOldest() {
    while (!order_.empty()) {
      const auto [id, stamp] = order_.front();
      order_.pop_front();
      const auto found = records_.find(id);
      if (found != records_.end() && found->second.stamp == stamp) {
        records_.erase(found);
        return;
      }
    }
  }

  // The order list still names erased records; it is rebuilt before it can
  // grow past twice the live records, so it stays bounded too.
  void Compact() {
    if (order_.size() <= 2 * records_.size() + 16) return;
    std::deque<std::pair<std::string, std::uint64_t>> live;
    for (const auto& [id, stamp] : order_) {
      const auto found = records_.find(id);
      if (found != records_.end() && found->second.stamp == stamp) live.emplace_back(id, stamp);
    }
    order_ = std::move(live);
  }

  std::size_t capacity_;
  std::uint64_t last_stamp_ = 0;
  std::unordered_map<std::string, Entry> records_;
  std::deque<std::pair<std::string, std::uint64_t>> order_;
};
