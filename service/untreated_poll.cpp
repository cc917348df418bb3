#include "service/untreated_poll.h"

#include <json/value.h>

#include <algorithm>
#include <cstddef>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "service/pending_list_comparison.h"
#include "service/request_paths.h"
#include "text/json_reply.h"

namespace {

using PendingListMember = PendingList UntreatedState::*;
struct Category {
  const char* name;
  PendingListMember list;
};
constexpr Category kCategories[] = {
    {"web", &UntreatedState::web}, {"liuyan", &UntreatedState::liuyan}, {"tousu", &UntreatedState::tousu}};

// The entry an element stands for, read where the reader holds it: a text
// (cut to what a slot holds), null the empty text, booleans "true" and
// "false". nullopt for a number, a list or an object.
std::optional<std::string_view> ElementEntry(const Json::Value& element) {
  const char* begin = nullptr;
  const char* end = nullptr;
  switch (element.type()) {
    case Json::stringValue:
      if (!element.getString(&begin, &end)) return std::string_view();
      return SlotEntry(begin, static_cast<std::size_t>(end - begin));
    case Json::nullValue:
      return std::string_view();
    case Json::booleanValue:
      return element.asBool() ? std::string_view("true") : std::string_view("false");
    default:
      return std::nullopt;
  }
}

// How many entries a category's member gives: the first 1000 elements of a
// list; missing, null, a number, a text or a boolean give none.
int EntryCount(const Json::Value& member) {
  if (!member.isArray()) return 0;
  return static_cast<int>(std::min<Json::ArrayIndex>(member.size(), kPendingListSlots));
}

// Calls visit(slot, entry) for each entry of member, walked in order (a
// lookup by index searches the list). False at the first element that is
// not an entry.
template <typename Visit>
bool ForEachEntry(const Json::Value& member, Visit visit) {
  const int count = EntryCount(member);
  auto element = member.begin();
  for (int slot = 0; slot < count; ++slot, ++element) {
    const std::optional<std::string_view> entry = ElementEntry(*element);
    if (!entry) return false;
    visit(slot, *entry);
  }
  return true;
}

// Counts the entries of an "untreated" body that the kept lists lack. Every
// element is read before any kept list changes: nullopt, with nothing
// changed, when a category is an object or holds an element that is no entry.
std::optional<int> CountNewEntries(const Json::Value& body, const UntreatedState& untreated) {
  int fresh = 0;
  for (const Category& category : kCategories) {
    const Json::Value& member = MemberOf(body, category.name);
    if (member.isObject()) return std::nullopt;
    const PendingListIndex kept(untreated.*category.list);
    if (!ForEachEntry(member, [&](int, std::string_view entry) { fresh += !kept.Holds(entry); })) return std::nullopt;
  }
  return fresh;
}

// The kept lists become the body's lists, written over the old slots.
void KeepUntreated(ServicePlatform& platform, const Json::Value& body, int fresh, UntreatedState& untreated,
                   const std::function<void()>& answered) {
  for (const Category& category : kCategories) {
    PendingList& list = untreated.*category.list;
    const Json::Value& member = MemberOf(body, category.name);
    ForEachEntry(member, [&](int slot, std::string_view entry) {
      entry.copy(list.ids[slot], entry.size());
      list.ids[slot][entry.size()] = '\0';
    });
    list.count = EntryCount(member);
  }
  untreated.newCount = fresh;

  // The dialog reads newCount; the tooltip keeps its old text while it is open.
  if (answered) answered();
  if (untreated.newCount > 0) {
    platform.PlayNewRequestSound();
    platform.ShowNotificationDialog();
  }
  platform.SetTooltipText(TooltipText(WaitingCount(untreated)));
}

void ForgetUntreated(ServicePlatform& platform, UntreatedState& untreated) {
  // newCount and the slots stay; only the counts say the lists are empty.
  untreated.tousu.count = 0;
  untreated.liuyan.count = 0;
  untreated.web.count = 0;
  platform.SetTooltipText(TooltipText(0));
}

enum class DealStatus { Unreadable, Treated, NoAuthority, Untreated };

// What a reply's "body" says; a body that is no object says nothing.
DealStatus StatusOf(const Json::Value& body) {
  if (!body.isObject()) return DealStatus::Unreadable;
  const std::optional<std::string> status = ReadText(MemberOf(body, "deal_status"));
  if (!status) return DealStatus::Unreadable;
  if (*status == "untreated") return DealStatus::Untreated;
  if (*status == "treated") return DealStatus::Treated;
  return *status == "No authority" ? DealStatus::NoAuthority : DealStatus::Unreadable;
}

}  // namespace

PollOutcome PollUntreatedRequests(ServicePlatform& platform, SessionState& session, UntreatedState& untreated,
                                  const std::function<void()>& answered) {
  const SessionIds ids = ReadSessionIds(session);
  // The other thread may have dropped the session since the caller looked.
  if (ids.session_id[0] == u'\0') return PollOutcome::NetworkFailure;
  // A path over its limit is not sent.
  const std::u16string path = BuildPollPath(ids.shop_id, ids.session_id);
  if (path.empty()) return PollOutcome::Unreadable;

  const HttpReply reply = platform.Get(ServiceHost::Orders, path);
  if (reply.status != HttpReply::Status::Body || reply.body.empty()) return PollOutcome::NetworkFailure;

  // Of the reading, only the parse and the status text allocate: memory that
  // runs out there makes the reply unreadable, so nothing changes.
  std::optional<Json::Value> root;
  DealStatus status = DealStatus::Unreadable;
  try {
    root = ParseReply(reply.body);
    if (root) status = StatusOf(MemberOf(*root, "body"));
  } catch (const std::bad_alloc&) {
    return PollOutcome::Unreadable;
  }
  switch (status) {
    case DealStatus::Untreated: {
      const Json::Value& body = MemberOf(*root, "body");
      const std::optional<int> fresh = CountNewEntries(body, untreated);
      if (!fresh) return PollOutcome::Unreadable;
      KeepUntreated(platform, body, *fresh, untreated, answered);
      break;
    }
    case DealStatus::Treated:
      ForgetUntreated(platform, untreated);
      break;
    case DealStatus::NoAuthority:
      // The service no longer knows this session: log in again next cycle,
      // unless the other thread has stored a fresh session meanwhile.
      ClearSessionIdIf(session, ids.session_id);
      break;
    case DealStatus::Unreadable:
      return PollOutcome::Unreadable;
  }
  return PollOutcome::Answered;
}

std::u16string TooltipText(int waiting, std::optional<ServiceTrouble> notConnected) {
  if (!notConnected && waiting == 0) return u"Morvane";
  std::u16string text = u"Morvane（";
  if (notConnected) {
    // The balloons' words, short enough for the count beside them.
    static constexpr const char16_t* kWhy[] = {u"请检查网络", u"请检查用户名与密码", u"请先设置用户名与密码",
                                               u"数据错误"};
    text += u"未连接Zarnik：";
    text += kWhy[static_cast<int>(*notConnected)];
    if (waiting > 0) text += u'，';
  }
  if (waiting > 0) {
    for (char digit : std::to_string(waiting)) text += static_cast<char16_t>(digit);
    text += u"条待处理业务请求";
  }
  return text + u'）';
}

int WaitingCount(const UntreatedState& untreated) {
  return untreated.web.count + untreated.liuyan.count + untreated.tousu.count;
}
