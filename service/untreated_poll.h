#pragma once
// One poll of the order host for the shop's untreated requests.

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
// True when the order host gave a reply of one of these shapes.
bool PollUntreatedRequests(ServicePlatform& platform, SessionState& session, UntreatedState& untreated);

// The tooltip with waiting requests kept: the plain name with none; while
// the service cannot be reached, it says so.
std::u16string TooltipText(int waiting, bool connected = true);
// How many requests the kept lists hold.
int WaitingCount(const UntreatedState& untreated);
