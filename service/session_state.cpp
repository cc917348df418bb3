#include "service/session_state.h"

#include <string_view>

SessionIds ReadSessionIds(SessionState& state) {
  std::lock_guard<std::mutex> hold(state.lock);
  return state.ids;
}

bool HasSession(SessionState& state) {
  std::lock_guard<std::mutex> hold(state.lock);
  return state.ids.session_id[0] != 0;
}

void StoreSessionIds(SessionState& state, const SessionIds& ids) {
  std::lock_guard<std::mutex> hold(state.lock);
  state.ids = ids;
  // Readers rely on both fields being terminated inside their buffers.
  state.ids.session_id[kIdentifierCapacity - 1] = 0;
  state.ids.shop_id[kIdentifierCapacity - 1] = 0;
}

void ClearSessionId(SessionState& state) {
  std::lock_guard<std::mutex> hold(state.lock);
  state.ids.session_id[0] = 0;
}

void ClearSessionIdIf(SessionState& state, const char16_t (&polled)[kIdentifierCapacity]) {
  std::lock_guard<std::mutex> hold(state.lock);
  if (std::u16string_view(state.ids.session_id) == std::u16string_view(polled)) state.ids.session_id[0] = 0;
}

void ClearSessionIds(SessionState& state) {
  std::lock_guard<std::mutex> hold(state.lock);
  state.ids.session_id[0] = 0;
  state.ids.shop_id[0] = 0;
}

SessionState& TheSessionState() {
  static SessionState state;
  return state;
}
