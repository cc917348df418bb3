#include "sim/request_log.h"

#include <cstdio>
#include <ctime>
#include <initializer_list>

#include "sim/utf8_text.h"

RequestLog::RequestLog(std::size_t capacity) : capacity_(capacity == 0 ? 1 : capacity) {}

void RequestLog::Add(LoggedRequest entry) {
  for (std::string* text : {&entry.method, &entry.host, &entry.target, &entry.userAgent}) {
    if (text->size() > kMaxLoggedTextBytes) text->resize(kMaxLoggedTextBytes);
  }
  entry.seq = next_seq_++;
  entries_.push_back(std::move(entry));
  while (entries_.size() > capacity_) {
    entries_.pop_front();
    ++dropped_;
  }
}

std::vector<LoggedRequest> RequestLog::Since(std::uint64_t seq) const {
  std::vector<LoggedRequest> newer;
  for (const LoggedRequest& entry : entries_) {
    if (entry.seq > seq) newer.push_back(entry);
  }
  return newer;
}

void RequestLog::Clear() { entries_.clear(); }

std::string FormatArrivalTime(std::int64_t milliseconds_since_epoch) {
  std::int64_t seconds = milliseconds_since_epoch / 1000;
  std::int64_t millis = milliseconds_since_epoch % 1000;
  if (millis < 0) {
    millis += 1000;
    --seconds;
  }
  const std::time_t when = static_cast<std::time_t>(seconds);
  std::tm utc{};
  if (gmtime_r(&when, &utc) == nullptr) return std::string();
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(millis));
  return text;
}

Json::Value RequestLogJson(const std::vector<LoggedRequest>& entries, std::uint64_t dropped) {
  Json::Value root(Json::objectValue);
  root["dropped"] = Json::UInt64(dropped);
  Json::Value list(Json::arrayValue);
  for (const LoggedRequest& entry : entries) {
    Json::Value item(Json::objectValue);
    item["seq"] = Json::UInt64(entry.seq);
    item["time"] = FormatArrivalTime(entry.arrivalMs);
    item["time_ms"] = Json::Int64(entry.arrivalMs);
    item["method"] = ToValidUtf8(entry.method);
    item["host"] = ToValidUtf8(entry.host);
    item["role"] = entry.role;
    item["target"] = ToValidUtf8(entry.target);
    item["proxied"] = entry.proxied;
    item["user_agent"] = ToValidUtf8(entry.userAgent);
    item["fault"] = entry.fault;
    list.append(item);
  }
  root["entries"] = list;
  return root;
}
