#pragma once
// One pass of the worker thread: log in when needed, poll while a session
// is held, then pause.

#include <cstdint>

#include "service/service_platform.h"
#include "service/session_state.h"
#include "service/shop_credentials.h"
#include "service/untreated_state.h"

constexpr std::uint32_t kWorkerPauseMilliseconds = 30000;

// Kept by the worker thread across cycles. Set once a failed log-in has been
// reported, so a streak of failures shows one balloon; a success clears it.
struct LoginFailureStreak {
  bool failureReported = false;
};

void RunWorkerCycle(ServicePlatform& platform, ShopCredentials& credentials, SessionState& session,
                    UntreatedState& untreated, LoginFailureStreak& streak);
