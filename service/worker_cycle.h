#pragma once
// One pass of the worker thread: log in when needed, poll while a session
// is held, then pause.

#include <cstdint>
#include <optional>

#include "service/service_platform.h"
#include "service/session_state.h"
#include "service/shop_credentials.h"
#include "service/untreated_poll.h"
#include "service/untreated_state.h"

constexpr std::uint32_t kWorkerPauseMilliseconds = 30000;
// The network of a machine that wakes up takes a while to come back: for the
// first minute after a resume a failed exchange is tried again this soon, and
// a failed log-in shows no balloon.
constexpr std::uint32_t kResumeGraceMilliseconds = 60000;
constexpr std::uint32_t kResumeRetryMilliseconds = 5000;
// A shop must see a service that stays out of reach: after this many cycles
// in a row without a good exchange, the icon and tooltip say so.
constexpr int kCyclesBeforeNotConnected = 2;

// Kept by the worker thread across cycles.
struct WorkerCycleState {
  // Set once a failed log-in has been reported, so a streak of failures
  // shows one balloon; a success clears it.
  bool failureReported = false;
  // When the system last resumed, on the platform's clock.
  std::optional<std::uint32_t> resumedAt;
  // Cycles in a row without an accepted log-in or a readable poll reply,
  // counted up to kCyclesBeforeNotConnected; the cycles of the minute after
  // a resume add none.
  int cyclesWithoutExchange = 0;
  // What the tooltip says while not connected: why the last cycle failed.
  ServiceTrouble lastTrouble = ServiceTrouble::Network;
  bool notConnectedShown = false;
  ServiceTrouble troubleShown = ServiceTrouble::Network;
};

void RunWorkerCycle(ServicePlatform& platform, ShopCredentials& credentials, SessionState& session,
                    UntreatedState& untreated, WorkerCycleState& state);
