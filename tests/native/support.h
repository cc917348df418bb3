#pragma once
// What the native tests share: the one stand-in of the platform seam, the one
// in-memory credential key, and helpers that set credentials and ids.

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "service/service_platform.h"
#include "service/session_state.h"
#include "settings/credential_store.h"

using namespace std::string_literals;

inline HttpReply Body(std::string body) { return {HttpReply::Status::Body, std::move(body)}; }

// Replies are queued per host (answer serves the rest); every call is recorded.
struct FakeServicePlatform : ServicePlatform {
  std::map<ServiceHost, std::deque<HttpReply>> queued;
  std::function<HttpReply(ServiceHost, const std::u16string&)> answer;
  std::function<void()> onGet, onNotificationDialog;  // onGet: another thread's doing while a request is on the wire
  std::vector<std::pair<ServiceHost, std::u16string>> requests;
  std::vector<std::u16string> tooltips, balloons, openedUrls;
  std::vector<bool> notConnected;
  std::vector<std::uint32_t> sleeps;
  // Moved on by each exchange and each whole pause; wraps 70 s in, as the system's does after 49 days.
  std::uint32_t clock = 4294897296u, exchangeMs = 0;
  int resumeIn = -1;  // the pause (counted from 0) that a resume ends at once
  int notificationDialogs = 0, sounds = 0;

  HttpReply Get(ServiceHost host, const std::u16string& path) override {
    requests.emplace_back(host, path);
    clock += exchangeMs;
    if (onGet) onGet();
    if (queued[host].empty()) return answer ? answer(host, path) : HttpReply{};
    const HttpReply reply = queued[host].front();
    queued[host].pop_front();
    return reply;
  }
  void SetTooltipText(const std::u16string& text) override { tooltips.push_back(text); }
  void ShowBalloon(const std::u16string& text) override { balloons.push_back(text); }
  void ShowNotConnected(bool shown) override { notConnected.push_back(shown); }
  void ShowNotificationDialog() override {
    ++notificationDialogs;
    if (onNotificationDialog) onNotificationDialog();
  }
  void PlayNewRequestSound() override { ++sounds; }
  void OpenUrl(const std::u16string& url) override { openedUrls.push_back(url); }
  bool Sleep(std::uint32_t milliseconds) override {
    sleeps.push_back(milliseconds);
    if (int(sleeps.size()) == resumeIn + 1) return true;
    clock += milliseconds;
    return false;
  }
  std::uint32_t Milliseconds() override { return clock; }
};

using Bytes = std::vector<std::uint8_t>;

// The credential key. open counts its opens less its closes; it reads and
// writes only while that is 1, so a key used before it is opened, opened
// twice or closed too often reads nothing and keeps nothing.
struct MemoryRegistry : CredentialRegistry {
  using Value = std::pair<bool, Bytes>;  // REG_BINARY or REG_SZ, and the bytes
  bool keyExists = true, openFails = false, createFails = false;
  int open = 0;
  std::map<std::u16string, Value> values;

  bool Open(bool succeeds) { return succeeds && ++open > 0; }  // only an open that succeeds counts
  bool OpenForRead() override { return Open(keyExists && !openFails); }
  OpenResult OpenForWrite() override {
    return openFails ? OpenResult::Failed : Open(keyExists) ? OpenResult::Opened : OpenResult::NotFound;
  }
  bool CreateKey() override { return keyExists = Open(!createFails); }
  std::optional<Bytes> ReadValue(const char16_t* name, std::size_t max_bytes) override {
    if (open != 1 || !values.count(name) || values[name].second.size() > max_bytes) return std::nullopt;
    return values[name].second;
  }
  void WriteString(const char16_t* name, const Bytes& bytes) override { Write(name, {false, bytes}); }
  void WriteBinary(const char16_t* name, const Bytes& bytes) override { Write(name, {true, bytes}); }
  void Write(const char16_t* name, const Value& value) {
    if (open == 1) values[name] = value;  // a write to a key that is not open is lost
  }
  void Close() override { --open; }
};

inline void SetCredentials(ShopCredentials& to, std::u16string account, std::u16string password, bool exists = true) {
  CredentialPair pair{exists};
  account.copy(pair.account, kCredentialCapacity - 1);
  password.copy(pair.password, kCredentialCapacity - 1);
  WriteCredentials(to, pair);
}

inline void SetIds(SessionState& session, const std::u16string& session_id, const std::u16string& shop_id) {
  SessionIds ids;
  session_id.copy(ids.session_id, kIdentifierCapacity - 1);
  shop_id.copy(ids.shop_id, kIdentifierCapacity - 1);
  StoreSessionIds(session, ids);
}
