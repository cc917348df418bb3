#include "service/untreated_poll.h"

#include <json/value.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "service/pending_list_comparison.h"
#include "service/request_paths.h"
#include "text/json_reply.h"

namespace {

constexpr char16_t kPlainTooltip[] = u"Morvane";

// The three lists of one reply. Read in full before any kept list changes,
// so a reply that turns out malformed halfway leaves the state untouched.
struct ReplyLists {
  PendingList web;
  PendingList liuyan;
  PendingList tousu;
};

// Longer entries are cut to what a slot holds; a zero byte inside an entry
// ends its text there, as for every slot.
void StoreEntry(std::string_view text, char* slot) {
  const std::size_t length = std::min<std::size_t>(text.size(), kPendingEntryCapacity - 1);
  std::memcpy(slot, text.data(), length);
  slot[length] = '\0';
}

// False when the category holds something other than a list of texts
// (an object, or an element that is a number, list or object).
bool ReadCategory(const Json::Value& body, const char* name, PendingList& list) {
  list.count = 0;
  const Json::Value& member = MemberOf(body, name);
  if (member.isObject()) return false;
  // Missing, null, a number, a string or a boolean: an empty list.
  if (!member.isArray()) return true;

  const Json::ArrayIndex size =
      std::min<Json::ArrayIndex>(member.size(), static_cast<Json::ArrayIndex>(kPendingListSlots));
  // Walked in order rather than looked up by index: each lookup searches the list.
  Json::ArrayIndex i = 0;
  for (auto element_at = member.begin(); i < size; ++element_at, ++i) {
    const Json::Value& element = *element_at;
    // A text is stored from where it lies; only the rare others are read as text.
    const char* begin = nullptr;
    const char* end = nullptr;
    if (element.isString() && element.getString(&begin, &end)) {
      StoreEntry(std::string_view(begin, static_cast<std::size_t>(end - begin)), list.ids[i]);
      continue;
    }
    const std::optional<std::string> text = ReadText(element);
    if (!text) return false;
    StoreEntry(*text, list.ids[i]);
  }
  list.count = static_cast<std::int32_t>(size);
  return true;
}

bool ReadReplyLists(const Json::Value& body, ReplyLists& lists) {
  return ReadCategory(body, "web", lists.web) && ReadCategory(body, "liuyan", lists.liuyan) &&
         ReadCategory(body, "tousu", lists.tousu);
}

void ReplaceList(PendingList& kept, const PendingList& incoming) {
  std::memcpy(kept.ids, incoming.ids, static_cast<std::size_t>(incoming.count) * kPendingEntryCapacity);
  kept.count = incoming.count;
}

std::u16string TooltipFor(int waiting) {
  if (waiting == 0) return kPlainTooltip;
  std::u16string text = u"Morvane（";
  for (char digit : std::to_string(waiting)) text += static_cast<char16_t>(digit);
  text += u"条待处理业务请求）";
  return text;
}

enum class DealStatus { Unreadable, Untreated, Treated, NoAuthority };

// What a reply says, read in full before anything changes; for "untreated"
// the three lists are read into lists. An allocation that fails on the way
// makes the reply unreadable, so nothing changes.
DealStatus ReadPollReply(const std::string& text, std::unique_ptr<ReplyLists>& lists) {
  try {
    const std::optional<Json::Value> root = ParseReply(text);
    if (!root) return DealStatus::Unreadable;
    const Json::Value& body = MemberOf(*root, "body");
    if (!body.isObject()) return DealStatus::Unreadable;
    const std::optional<std::string> status = ReadText(MemberOf(body, "deal_status"));
    if (!status) return DealStatus::Unreadable;
    if (*status == "treated") return DealStatus::Treated;
    if (*status == "No authority") return DealStatus::NoAuthority;
    if (*status != "untreated") return DealStatus::Unreadable;
    // Three full lists are too large for the worker thread's stack.
    lists = std::make_unique<ReplyLists>();
    return ReadReplyLists(body, *lists) ? DealStatus::Untreated : DealStatus::Unreadable;
  } catch (const std::bad_alloc&) {
    return DealStatus::Unreadable;
  }
}

void KeepUntreated(ServicePlatform& platform, const ReplyLists& incoming, UntreatedState& untreated) {
  int fresh = 0;
  for (auto [kept, replacement] : {std::pair{&untreated.web, &incoming.web},
                                   std::pair{&untreated.liuyan, &incoming.liuyan},
                                   std::pair{&untreated.tousu, &incoming.tousu}}) {
    fresh += CountNewEntries(*kept, *replacement);
    ReplaceList(*kept, *replacement);
  }
  untreated.newCount = fresh;

  // The dialog reads newCount; the tooltip keeps its old text while it is open.
  if (untreated.newCount > 0) platform.ShowNotificationDialog();
  platform.SetTooltipText(TooltipFor(untreated.web.count + untreated.liuyan.count + untreated.tousu.count));
}

void ForgetUntreated(ServicePlatform& platform, UntreatedState& untreated) {
  // newCount and the slots stay; only the counts say the lists are empty.
  untreated.tousu.count = 0;
  untreated.liuyan.count = 0;
  untreated.web.count = 0;
  platform.SetTooltipText(kPlainTooltip);
}

}  // namespace

void PollUntreatedRequests(ServicePlatform& platform, SessionState& session, UntreatedState& untreated) {
  const SessionIds ids = ReadSessionIds(session);
  // The other thread may have dropped the session since the caller looked.
  if (ids.session_id[0] == u'\0') return;
  // A path that would not fit is nothing to send.
  const std::u16string path = BuildPollPath(ids.shop_id, ids.session_id);
  if (path.empty()) return;

  const HttpReply reply = platform.Get(ServiceHost::Orders, path);
  if (reply.status != HttpReply::Status::Body || reply.body.empty()) return;

  std::unique_ptr<ReplyLists> lists;
  switch (ReadPollReply(reply.body, lists)) {
    case DealStatus::Untreated:
      KeepUntreated(platform, *lists, untreated);
      break;
    case DealStatus::Treated:
      ForgetUntreated(platform, untreated);
      break;
    case DealStatus::NoAuthority:
      // The service no longer knows this session: log in again next cycle,
      // unless the other thread has stored a fresh session meanwhile.
      ClearSessionIdIf(session, ids.session_id);
      break;
    case DealStatus::Unreadable:
      break;
  }
}
