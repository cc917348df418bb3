// The order host's reply to a poll, read against kept lists that an earlier
// reply filled. The input is two replies split at the first form feed: the
// first fills the kept lists, the second is read against them. Without a
// form feed the input is sent twice, and the second poll must find nothing
// new.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fake_service_platform.h"
#include "fuzz/fuzz_invariant.h"
#include "service/untreated_poll.h"
#include "text/json_reply.h"

namespace {

constexpr char kReplySeparator = '\f';

bool AllSlotsTerminated(const PendingList& list) {
  for (const auto& slot : list.ids) {
    if (std::memchr(slot, 0, kPendingEntryCapacity) == nullptr) return false;
  }
  return true;
}

std::u16string TooltipFor(int waiting) {
  if (waiting == 0) return u"Morvane";
  std::u16string text = u"Morvane（";
  for (const char digit : std::to_string(waiting)) text += static_cast<char16_t>(digit);
  return text + u"条待处理业务请求）";
}

void RequireSoundState(const UntreatedState& state) {
  for (const PendingList* list : {&state.web, &state.liuyan, &state.tousu}) {
    RequireInvariant(list->count >= 0 && list->count <= kPendingListSlots, "each count is within 0..1000");
    RequireInvariant(AllSlotsTerminated(*list), "every slot is terminated");
  }
  RequireInvariant(state.newCount >= 0 && state.newCount <= 3 * kPendingListSlots, "newCount is within 0..3000");
}

bool SameLists(const UntreatedState& a, const UntreatedState& b) {
  return std::memcmp(&a.web, &b.web, sizeof a.web) == 0 && std::memcmp(&a.liuyan, &b.liuyan, sizeof a.liuyan) == 0 &&
         std::memcmp(&a.tousu, &b.tousu, sizeof a.tousu) == 0;
}

bool SameIds(const SessionIds& a, const SessionIds& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Allocated once and reused: a fresh allocation of lists this large for
// every input costs more than the polls themselves.
struct StateBuffers {
  UntreatedState state;       // the poll's memory, zeroed like the process-wide instance
  UntreatedState before;      // the state as it was before one poll
  UntreatedState afterFirst;  // the state after the first poll
};

StateBuffers& TheStateBuffers() {
  static const auto buffers = std::make_unique<StateBuffers>();
  return *buffers;
}

// One poll with reply, and what must hold whatever the reply was.
void PollOnce(SessionState& session, UntreatedState& state, UntreatedState& before, const std::string& reply) {
  before = state;
  const SessionIds idsBefore = ReadSessionIds(session);
  FakeServicePlatform platform;
  platform.QueueBody(ServiceHost::Orders, reply);

  PollUntreatedRequests(platform, session, state);

  RequireSoundState(state);
  RequireInvariant(platform.requests.size() <= 1, "a poll makes at most one request");
  RequireInvariant(platform.notificationDialogs <= 1, "a poll shows the dialog at most once");
  if (platform.notificationDialogs == 1) RequireInvariant(state.newCount > 0, "the dialog is shown only for news");
  RequireInvariant(platform.tooltips.size() <= 1, "a poll sets the tooltip at most once");
  if (!platform.tooltips.empty()) {
    RequireInvariant(platform.tooltips[0] == TooltipFor(state.web.count + state.liuyan.count + state.tousu.count),
                     "the tooltip counts what the lists hold");
  }
  if (!ParseReply(reply)) {
    RequireInvariant(std::memcmp(&before, &state, sizeof state) == 0, "an unreadable reply changes no list");
    RequireInvariant(SameIds(idsBefore, ReadSessionIds(session)), "an unreadable reply keeps the session");
    RequireInvariant(platform.tooltips.empty() && platform.notificationDialogs == 0,
                     "an unreadable reply shows nothing");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t separator = input.find(kReplySeparator);
  const bool sameTwice = separator == std::string::npos;
  const std::string first = sameTwice ? input : input.substr(0, separator);
  const std::string second = sameTwice ? input : input.substr(separator + 1);

  SessionState session;
  SessionIds ids;
  std::u16string(u"s-1").copy(ids.session_id, kIdentifierCapacity - 1);
  std::u16string(u"42").copy(ids.shop_id, kIdentifierCapacity - 1);
  StoreSessionIds(session, ids);
  StateBuffers& buffers = TheStateBuffers();
  std::memset(&buffers.state, 0, sizeof buffers.state);

  PollOnce(session, buffers.state, buffers.before, first);
  buffers.afterFirst = buffers.state;
  PollOnce(session, buffers.state, buffers.before, second);

  if (sameTwice) {
    RequireInvariant(buffers.state.newCount == 0, "the same reply twice: the second poll finds nothing new");
    RequireInvariant(SameLists(buffers.afterFirst, buffers.state), "the same reply twice keeps the same lists");
  }
  return 0;
}
