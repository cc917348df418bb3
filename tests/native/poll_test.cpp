#include "service/untreated_poll.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support.h"

static std::string Reply(const std::string& members) { return R"({"body":{)" + members + "}}"; }
static std::string U(const std::string& lists) { return Reply(R"("deal_status":"untreated")" + lists); }
static std::string Web(const std::string& entries) { return U(",\"web\":[" + entries + "]"); }
const std::string kTreated = Reply(R"("deal_status":"treated")");
// The entries of a JSON list of count order numbers from first on.
static std::string Orders(int first, int count) {
  std::string list;
  for (int i = first; i < first + count; ++i) list += (i > first ? ",\"ZN" : "\"ZN") + std::to_string(i) + '"';
  return list;
}

struct PollRun {
  FakeServicePlatform platform;
  SessionState session;
  std::unique_ptr<UntreatedState> state = std::make_unique<UntreatedState>();
  PollRun() { SetIds(session, u"s-1", u"42"); }
  void Poll(const HttpReply& reply) {
    platform.queued[ServiceHost::Orders].push_back(reply);
    platform.onNotificationDialog = [this, tooltips = platform.tooltips.size()] {
      EXPECT_GT(state->newCount, 0);
      EXPECT_EQ(platform.tooltips.size(), tooltips) << "the tooltip changes after the dialog";
    };
    PollUntreatedRequests(platform, session, *state);
  }
};

// Replies in turn; new are the entries the previous list of their category
// lacked. Lookalike: another number of the same hash, a prefix, an extension
// and another letter case of kept entries.
TEST(Poll, CountsEntriesTheLastReplyDidNotHold) {
  const std::string a = U(R"(,"web":["W1","W2"],"tousu":["T1"])"), x127(127, 'x');
  const std::string full = U(",\"web\":[" + Orders(0, 1000) + "],\"liuyan\":[" + Orders(0, 1000) + "],\"tousu\":[" +
                             Orders(0, 1000) + "]"),
                    next = U(",\"web\":[" + Orders(250, 1500) + "],\"liuyan\":[" + Orders(2000, 1000) +
                             "],\"tousu\":[\"ZN-new\"," + Orders(0, 999) + "]");
  const std::u16string none = u"Morvane", one = u"Morvane（1条待处理业务请求）", two = u"Morvane（2条待处理业务请求）",
                       three = u"Morvane（3条待处理业务请求）", five = u"Morvane（5条待处理业务请求）";
  const struct {
    const char* name;
    std::vector<std::string> replies;
    int newCount, dialogs;
    std::u16string tooltip;
  } rows[] = {
      {"one replaced", {a, U(R"(,"web":["W1","W3"],"tousu":["T1"])")}, 1, 2, three},
      {"treated keeps newCount", {a, kTreated}, 3, 1, none},
      {"after treated all is new", {a, kTreated, a}, 3, 2, three},
      {"lookalike", {Web(R"("ZN00015291","W1","w2")"), Web(R"("ZN00024330","W","W10","W2","ZN00015291")")}, 4, 2, five},
      {"repeated entries", {Web(R"("D","D","E")"), Web(R"("D","D","F","F")")}, 2, 2, u"Morvane（4条待处理业务请求）"},
      {"null is the empty text", {Web(R"("")"), Web("null,null")}, 0, 1, two},
      {"booleans and escapes", {Web(R"(true,"\u4e2d")"), Web("\"true\",\"\xe4\xb8\xad\"")}, 0, 1, two},
      {"number or text for a list", {a, U(R"(,"web":5,"liuyan":"W1","tousu":["T1"])")}, 0, 1, one},
      {"cut to 127 bytes", {Web('"' + x127 + "xx\""), Web('"' + x127 + "y\",\"" + x127.substr(1) + '"')}, 1, 2, two},
      {"full lists", {full, next}, 1251, 2, u"Morvane（3000条待处理业务请求）"},
  };
  for (const auto& row : rows) {
    PollRun run;
    for (const std::string& reply : row.replies) run.Poll(Body(reply));
    EXPECT_EQ(run.state->newCount, row.newCount) << row.name;
    EXPECT_EQ(run.platform.notificationDialogs, row.dialogs) << row.name;
    EXPECT_EQ(run.platform.tooltips.back(), row.tooltip) << row.name;
  }
}

// After a poll, a reply of another shape changes nothing at all. "No
// authority" drops the session it was polled with, never one that the other
// thread stored meanwhile ("s-2"), and without a session nothing is asked.
TEST(Poll, RepliesOfAnotherShapeChangeNothing) {
  const HttpReply noAuthority = Body(Reply(R"("deal_status":"No authority")"));
  const struct {
    const char* name;
    HttpReply reply;
    std::u16string session = u"s-1";  // held afterwards
    std::size_t requests = 3;         // once the next poll is through
    bool storedMeanwhile = false;
  } rows[] = {
      {"failed exchange", {HttpReply::Status::NoBody, kTreated}},
      {"html", Body("<html>busy</html>")},
      {"no status", Body(Reply(R"("web":[])"))},
      {"status's letter case", Body(Reply(R"("deal_status":"Treated")"))},
      {"status a list", Body(Reply(R"("deal_status":["treated"])"))},
      {"list an object", Body(U(R"(,"web":{"0":"N1"})"))},
      {"number entry", Body(Web(R"("N1",3)"))},
      {"object entry", Body(Web("{}"))},
      {"list entry after good lists", Body(U(R"(,"web":["N1"],"liuyan":["N2"],"tousu":[[]])"))},
      {"no authority", noAuthority, u"", 2},
      {"no authority, stored meanwhile", noAuthority, u"s-2", 3, true},
  };
  for (const auto& row : rows) {
    PollRun run;
    run.Poll(Body(U(R"(,"web":["W1","W2"],"liuyan":["L1"],"tousu":["T1"])")));
    const auto before = std::make_unique<UntreatedState>(*run.state);
    if (row.storedMeanwhile) run.platform.onGet = [&] { SetIds(run.session, u"s-2", u"43"); };
    run.Poll(row.reply);
    EXPECT_EQ(std::memcmp(before.get(), run.state.get(), sizeof(UntreatedState)), 0) << row.name;
    EXPECT_EQ(run.platform.tooltips.size(), 1u) << row.name;
    EXPECT_EQ(ReadSessionIds(run.session).session_id, row.session) << row.name;
    run.Poll(Body(kTreated));
    EXPECT_EQ(run.platform.requests.size(), row.requests) << row.name;
  }
}
