#pragma once
// One poll of the order host for the shop's untreated requests.

#include <functional>
#include <optional>

#include "service/service_platform.h"
#include "service/session_state.h"
#include "service/untreated_state.h"

// Asks the order host what is waiting, with the session held in session.
// "untreated": the kept lists are replaced, newCount counts the entries the
// previous lists did not hold, the notification dialog is shown when that
// count is above 0 (with the announcement's sound), and only then the
// tooltip shows the total.
// "treated": the lists are emptied and the tooltip shows the plain name.
// "No authority": the session polled with is dropped, so the worker logs in
// again; a session stored meanwhile by the other thread stays.
// A failed request, a reply of any other shape, or one that memory does not
// suffice to read changes nothing.
// answered, when given, is called once the reply has been read and before
// the notification dialog is shown (the worker shows the connection then).
enum class PollOutcome { Answered, NetworkFailure, Unreadable };
PollOutcome PollUntreatedRequests(ServicePlatform& platform, SessionState& session, UntreatedState& untreated,
                                  const std::function<void()>& answered = nullptr);

// Why the service cannot be reached, as the tooltip names it.
enum class ServiceTrouble { Network, Rejected, NoCredentials, DataError };

// The tooltip with waiting requests kept: the plain name with none; while
// the service cannot be reached, it says so and why.
std::u16string TooltipText(int waiting, std::optional<ServiceTrouble> notConnected = std::nullopt);
// How many requests the kept lists hold.
int WaitingCount(const UntreatedState& untreated);
