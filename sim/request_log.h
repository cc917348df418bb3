#pragma once
// Every request the service hosts received, for tests and demos to read
// back. The log keeps the newest entries only, so a long run cannot make
// it grow without end.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include <json/value.h>

struct LoggedRequest {
  std::uint64_t seq = 0;       // set by the log: 1, 2, 3, ... for the life of the process
  std::int64_t arrivalMs = 0;  // milliseconds since 1970-01-01 UTC
  std::string method;
  std::string host;
  std::string role;
  std::string target;  // path with query, in origin form even when proxied
  bool proxied = false;
  std::string userAgent;
  std::string fault;  // the fault the request suffered, or empty
};

// Longer texts are cut, so that a full log stays within a few tens of MB
// whatever the requests carry.
constexpr std::size_t kMaxLoggedTextBytes = 2048;

class RequestLog {
 public:
  explicit RequestLog(std::size_t capacity);

  void Add(LoggedRequest entry);
  // The kept entries with a sequence number above seq, oldest first.
  std::vector<LoggedRequest> Since(std::uint64_t seq) const;
  void Clear();
  // How many entries were dropped to keep to the capacity.
  std::uint64_t dropped() const { return dropped_; }

 private:
  std::size_t capacity_;
  std::deque<LoggedRequest> entries_;
  std::uint64_t next_seq_ = 1;
  std::uint64_t dropped_ = 0;
};

// {"dropped":N,"entries":[{"seq":..,"time":"2024-01-02T03:04:05.678Z","time_ms":..,"method":..,
// "host":..,"role":..,"target":..,"proxied":..,"user_agent":..,"fault":..}, ...]}. Texts that are not
// UTF-8 are mended so that the JSON always is.
Json::Value RequestLogJson(const std::vector<LoggedRequest>& entries, std::uint64_t dropped);

// ISO 8601 in UTC with milliseconds.
std::string FormatArrivalTime(std::int64_t milliseconds_since_epoch);
