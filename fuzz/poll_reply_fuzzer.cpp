// The order host's reply to a poll, read against kept lists that an earlier
// reply filled. The input is two replies split at the first form feed: the
// first fills the kept lists, the second is read against them. Without a
// form feed the input is sent twice, and the second poll finds nothing new.

#include <cstddef>
#include <cstring>

#include "fuzz/fuzz_invariant.h"
#include "service/untreated_poll.h"
#include "support.h"
#include "text/json_reply.h"

// Static: lists this large, made for every input, would cost more than the polls.
static UntreatedState state, before;

static void PollOnce(SessionState& session, const std::string& reply) {
  before = state;
  const SessionIds idsBefore = ReadSessionIds(session);
  FakeServicePlatform platform;
  platform.answer = [&](ServiceHost, const std::u16string&) { return Body(reply); };

  PollUntreatedRequests(platform, session, state);

  for (const PendingList* list : {&state.web, &state.liuyan, &state.tousu}) {
    RequireInvariant(std::clamp(list->count, 0, kPendingListSlots) == list->count, "each count is within 0..1000");
    for (const auto& slot : list->ids) RequireInvariant(std::memchr(slot, 0, kPendingEntryCapacity), "slots end");
  }
  RequireInvariant(std::clamp(state.newCount, 0, 3 * kPendingListSlots) == state.newCount, "newCount is in 0..3000");
  RequireInvariant(platform.tooltips.size() <= 1, "one tooltip");
  RequireInvariant(platform.notificationDialogs <= int(platform.tooltips.size()), "the dialog comes with a tooltip");
  RequireInvariant(platform.notificationDialogs <= int(state.newCount > 0), "the dialog comes for news only");
  RequireInvariant(platform.sounds == platform.notificationDialogs, "a sound with each dialog");
  if (ParseReply(reply)) return;
  const SessionIds idsAfter = ReadSessionIds(session);
  RequireInvariant(std::memcmp(&before, &state, sizeof state) == 0, "an unreadable reply changes no list");
  RequireInvariant(platform.tooltips.empty(), "an unreadable reply shows nothing");
  RequireInvariant(std::memcmp(&idsBefore, &idsAfter, sizeof idsBefore) == 0, "an unreadable reply keeps the ids");
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t separator = input.find('\f');
  const bool sameTwice = separator == std::string::npos;
  SessionState session;
  SetIds(session, u"s-1", u"42");
  std::memset(&state, 0, sizeof state);

  PollOnce(session, sameTwice ? input : input.substr(0, separator));
  PollOnce(session, sameTwice ? input : input.substr(separator + 1));

  // before now holds the lists the first poll left.
  if (sameTwice && HasSession(session)) {
    RequireInvariant(state.newCount == 0, "the same reply twice: the second poll finds nothing new");
    RequireInvariant(std::memcmp(&before, &state, offsetof(UntreatedState, newCount)) == 0,
                     "the same reply twice keeps the same lists");
  }
  return 0;
}
