#include "service/worker_cycle.h"

#include "service/login.h"
#include "service/untreated_poll.h"

namespace {

const char16_t* LoginFailureText(int code) {
  switch (code) {
    case LoginRejected:
      return u"登录Zarnik失败，请检查用户名与密码。";
    case LoginNoCredentials:
      return u"请先设置登录Zarnik网点管理中心的用户名与密码。";
    case LoginConnectFailed:
    case LoginNetworkError:
      return u"登录Zarnik失败，请检查网络情况。";
    default:
      // LoginDataError, and any code the log-in does not define.
      return u"登录Zarnik失败，数据错误。";
  }
}

ServiceTrouble TroubleOf(int loginCode) {
  switch (loginCode) {
    case LoginRejected:
      return ServiceTrouble::Rejected;
    case LoginNoCredentials:
      return ServiceTrouble::NoCredentials;
    case LoginConnectFailed:
    case LoginNetworkError:
      return ServiceTrouble::Network;
    default:
      return ServiceTrouble::DataError;
  }
}

// True when the service accepted the log-in.
bool LogIn(ServicePlatform& platform, ShopCredentials& credentials, SessionState& session, WorkerCycleState& state,
           bool resuming) {
  // The request is taken before the attempt, not cleared after it: a save of
  // new credentials while this log-in is on the wire sets it again, and the
  // next cycle then logs in with them instead of keeping a session of the
  // old ones.
  const bool requested = session.reloginRequested.exchange(0) == 1;
  ClearSessionId(session);
  const int code = LoginToService(platform, credentials, session);
  if (code == LoginOk) {
    state.failureReported = false;
    return true;
  }
  if (requested) session.reloginRequested = 1;
  state.lastTrouble = TroubleOf(code);
  // A failure while the network comes back is no streak yet: one that
  // outlasts the grace is reported by the first attempt after it.
  if (!state.failureReported && !resuming) {
    platform.ShowBalloon(LoginFailureText(code));
    state.failureReported = true;
  }
  return false;
}

// The icon and tooltip say the service cannot be reached, and why, once
// enough cycles in a row went without a good exchange; a good one takes that
// back at once.
void ShowConnection(ServicePlatform& platform, const UntreatedState& untreated, WorkerCycleState& state, bool exchanged,
                    bool resuming) {
  if (exchanged) {
    state.cyclesWithoutExchange = 0;
  } else if (!resuming && state.cyclesWithoutExchange < kCyclesBeforeNotConnected) {
    ++state.cyclesWithoutExchange;
  }
  const bool notConnected = state.cyclesWithoutExchange == kCyclesBeforeNotConnected;
  if (notConnected == state.notConnectedShown && (!notConnected || state.lastTrouble == state.troubleShown)) return;
  if (notConnected != state.notConnectedShown) platform.ShowNotConnected(notConnected);
  state.notConnectedShown = notConnected;
  state.troubleShown = state.lastTrouble;
  platform.SetTooltipText(
      TooltipText(WaitingCount(untreated), notConnected ? std::optional(state.lastTrouble) : std::nullopt));
}

}  // namespace

void RunWorkerCycle(ServicePlatform& platform, ShopCredentials& credentials, SessionState& session,
                    UntreatedState& untreated, WorkerCycleState& state) {
  const bool resuming =
      state.resumedAt && std::uint32_t(platform.Milliseconds() - *state.resumedAt) < kResumeGraceMilliseconds;
  const bool loggedIn =
      (session.reloginRequested == 1 || !HasSession(session)) && LogIn(platform, credentials, session, state, resuming);
  // Right after a successful log-in too: the first poll does not wait a pause.
  // A readable reply shows the connection before any notice it brings, so
  // the icon is back while the notice is up.
  bool shown = false;
  const auto showAnswered = [&] {
    ShowConnection(platform, untreated, state, true, resuming);
    shown = true;
  };
  const PollOutcome polled = HasSession(session) ? PollUntreatedRequests(platform, session, untreated, showAnswered)
                                                 : PollOutcome::NetworkFailure;
  const bool answered = polled == PollOutcome::Answered;
  if (!loggedIn && HasSession(session) && !answered)
    state.lastTrouble = polled == PollOutcome::Unreadable ? ServiceTrouble::DataError : ServiceTrouble::Network;
  if (!shown) ShowConnection(platform, untreated, state, loggedIn || answered, resuming);
  // A poll that ended the session ("No authority") calls for a log-in soon.
  const bool retrySoon = resuming && !(answered && HasSession(session));
  // The dialog of a poll has been closed by now: the pause runs after all the
  // work. A resume cuts it short: the next cycle begins at once.
  if (platform.Sleep(retrySoon ? kResumeRetryMilliseconds : kWorkerPauseMilliseconds))
    state.resumedAt = platform.Milliseconds();
}
