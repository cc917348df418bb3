#pragma once
// What a log-in yields, shared by the worker thread and the user-interface
// thread. Both identifiers change together under the lock, so a reader sees
// the pair of one log-in, never one half of two.

#include <atomic>
#include <cstdint>
#include <mutex>

constexpr int kIdentifierCapacity = 128;  // code units, terminator included

struct SessionIds {
  char16_t session_id[kIdentifierCapacity] = {};  // empty: no session
  char16_t shop_id[kIdentifierCapacity] = {};
};

struct SessionState {
  std::mutex lock;
  SessionIds ids;  // read and written only under lock
  std::atomic<std::int32_t> reloginRequested{1};
};

SessionIds ReadSessionIds(SessionState& state);
bool HasSession(SessionState& state);
// Overwrites both identifiers as one update.
void StoreSessionIds(SessionState& state, const SessionIds& ids);
void ClearSessionId(SessionState& state);
// Empties session_id only while it still holds polled: a session that the
// other thread stored meanwhile is kept.
void ClearSessionIdIf(SessionState& state, const char16_t (&polled)[kIdentifierCapacity]);
void ClearSessionIds(SessionState& state);

// The one process-wide instance.
SessionState& TheSessionState();
