// The order host's reply to a poll, read against kept lists that an earlier
// reply filled. The input is two replies split at the first form feed: the
// first fills the kept lists, the second is read against them. Without a
// form feed the input is sent twice, and the second poll finds nothing new.

#include <cstddef>
#include <cstring>
#include <memory>

#include "fuzz/fuzz_invariant.h"
#include "service/untreated_poll.h"
#include "support.h"
#include "text/json_reply.h"

namespace {

// Allocated once: lists this large for every input cost more than the polls.
UntreatedState& Scratch(int which) {
  static const auto states = std::make_unique<UntreatedState[]>(3);
  return states[which];
}

void PollOnce(SessionState& session, UntreatedState& state, const std::string& reply) {
  UntreatedState& before = Scratch(1);
  before = state;
  const SessionIds idsBefore = ReadSessionIds(session);
  FakeServicePlatform platform;
  platform.answer = [&](ServiceHost, const std::u16string&) { return Body(reply); };

  PollUntreatedRequests(platform, session, state);

  int waiting = 0;
  for (const PendingList* list : {&state.web, &state.liuyan, &state.tousu}) {
    RequireInvariant(list->count >= 0 && list->count <= kPendingListSlots, "each count is within 0..1000");
    for (const auto& slot : list->ids) RequireInvariant(std::memchr(slot, 0, kPendingEntryCapacity), "slots end");
    waiting += list->count;
  }
  RequireInvariant(state.newCount >= 0 && state.newCount <= 3 * kPendingListSlots, "newCount is within 0..3000");
  RequireInvariant(platform.requests.size() <= 1 && platform.tooltips.size() <= 1, "one request, one tooltip");
  RequireInvariant(platform.notificationDialogs <= int(platform.tooltips.size() == 1 && state.newCount > 0),
                   "the dialog comes once, with a tooltip, for news only");
  std::u16string count;
  for (const char digit : std::to_string(waiting)) count += digit;
  RequireInvariant(platform.tooltips.empty() ||
                       platform.tooltips[0] == (waiting ? u"Morvane（" + count + u"条待处理业务请求）" : u"Morvane"),
                   "the tooltip counts what the lists hold");
  if (!ParseReply(reply)) {
    const SessionIds idsAfter = ReadSessionIds(session);
    RequireInvariant(std::memcmp(&before, &state, sizeof state) == 0 && platform.tooltips.empty() &&
                         std::memcmp(&idsBefore, &idsAfter, sizeof idsBefore) == 0,
                     "an unreadable reply changes and shows nothing");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t separator = input.find('\f');
  const bool sameTwice = separator == std::string::npos;
  SessionState session;
  SetIds(session, u"s-1", u"42");
  UntreatedState& state = Scratch(0);
  std::memset(&state, 0, sizeof state);

  PollOnce(session, state, sameTwice ? input : input.substr(0, separator));
  Scratch(2) = state;
  PollOnce(session, state, sameTwice ? input : input.substr(separator + 1));

  if (sameTwice && HasSession(session)) {
    RequireInvariant(state.newCount == 0, "the same reply twice: the second poll finds nothing new");
    RequireInvariant(std::memcmp(&Scratch(2), &state, offsetof(UntreatedState, newCount)) == 0,
                     "the same reply twice keeps the same lists");
  }
  return 0;
}
