#include "service/untreated_state.h"

UntreatedState& TheUntreatedState() {
  // Static storage: the lists are too large for a thread's stack and must
  // outlive every poll.
  static UntreatedState state;
  return state;
}
