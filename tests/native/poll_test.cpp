#include "service/untreated_poll.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support.h"

namespace {

std::string Reply(const std::string& members) { return R"({"body":{)" + members + "}}"; }
std::string U(const std::string& lists) { return Reply(R"("deal_status":"untreated")" + lists); }
const std::string kTreated = Reply(R"("deal_status":"treated")");
// A JSON list of count order numbers from first on.
std::string Orders(int first, int count) {
  std::string list = "[";
  for (int i = first; i < first + count; ++i) list += (i > first ? ",\"ZN" : "\"ZN") + std::to_string(i) + '"';
  return list + "]";
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

}  // namespace

// Replies in turn; new are the entries the previous list of their category lacked.
TEST(Poll, CountsEntriesTheLastReplyDidNotHold) {
  const std::string a = U(R"(,"web":["W1","W2"],"tousu":["T1"])"), x127(127, 'x');
  const std::string full =
      U(",\"web\":" + Orders(0, 1000) + ",\"liuyan\":" + Orders(0, 1000) + ",\"tousu\":" + Orders(0, 1000));
  const struct {
    const char* name;
    std::vector<std::string> replies;
    int newCount, dialogs, waiting;
  } rows[] = {
      {"first reply", {a}, 3, 1, 3},
      {"same again", {a, a}, 0, 1, 3},
      {"one replaced", {a, U(R"(,"web":["W1","W3"],"tousu":["T1"])")}, 1, 2, 3},
      {"lists empty or missing", {a, U(R"(,"web":[],"liuyan":null)")}, 0, 1, 0},
      {"treated keeps newCount", {a, kTreated}, 3, 1, 0},
      {"after treated all is new", {a, kTreated, a}, 3, 2, 3},
      {"a category back after missing once", {a, U(R"(,"web":["W1","W2"])"), a}, 1, 2, 3},
      {"within the category", {U(R"(,"web":["A"])"), U(R"(,"liuyan":["A"])")}, 1, 2, 1},
      {"same hash, prefix, letter case",
       {U(R"(,"web":["ZN00015291","W1","w2"])"), U(R"(,"web":["ZN00024330","W","W10","W2","ZN00015291"])")},
       4,
       2,
       5},
      {"repeated entries", {U(R"(,"web":["D","D","E"])"), U(R"(,"web":["D","D","F","F"])")}, 2, 2, 4},
      {"null is the empty text", {U(R"(,"web":["W"])"), U(R"(,"web":[null,null])")}, 2, 2, 2},
      {"null meets the empty text", {U(R"(,"web":[""])"), U(R"(,"web":[null,null])")}, 0, 1, 2},
      {"booleans and escapes", {U(R"(,"web":[true,"\u4e2d"])"), U(",\"web\":[\"true\",\"\xe4\xb8\xad\"]")}, 0, 1, 2},
      {"number or text for a list", {a, U(R"(,"web":5,"liuyan":"W1","tousu":["T1"])")}, 0, 1, 1},
      {"cut to 127 bytes",
       {U(",\"web\":[\"" + x127 + "xx\"]"), U(",\"web\":[\"" + x127 + "y\",\"" + x127.substr(1) + "\"]")},
       1,
       2,
       2},
      {"first 1000 read", {U(",\"web\":" + Orders(0, 1500) + R"(,"tousu":["T1"])")}, 1001, 1, 1001},
      {"nor compared", {U(",\"web\":" + Orders(0, 1000)), U(",\"web\":" + Orders(0, 1500))}, 0, 1, 1000},
      {"full lists",
       {full, U(",\"web\":" + Orders(250, 1000) + ",\"liuyan\":" + Orders(2000, 1000) + ",\"tousu\":[\"ZN-new\"," +
                Orders(0, 999).substr(1))},
       1251,
       2,
       3000},
  };
  for (const auto& row : rows) {
    PollRun run;
    for (const std::string& reply : row.replies) run.Poll(Body(reply));
    EXPECT_EQ(run.state->newCount, row.newCount) << row.name;
    EXPECT_EQ(run.platform.notificationDialogs, row.dialogs) << row.name;
    EXPECT_EQ(run.platform.sounds, row.dialogs) << row.name << ": one sound with each announcement";
    std::u16string count;
    for (const char digit : std::to_string(row.waiting)) count += digit;
    EXPECT_EQ(run.platform.tooltips.back(), row.waiting ? u"Morvane（" + count + u"条待处理业务请求）" : u"Morvane")
        << row.name;
    EXPECT_EQ(run.platform.requests.back().second, u"/untreatedSheet.php?shop_id=42&session_id=s-1") << row.name;
  }
}

// After two polls, a reply of another shape changes nothing at all; "No
// authority" drops the session it was polled with, never one that the other
// thread stored meanwhile, and without a session nothing is asked.
TEST(Poll, RepliesOfAnotherShapeChangeNothing) {
  const HttpReply rows[] = {{HttpReply::Status::ConnectFailed, {}},
                            {},
                            Body(""),
                            Body("<html>busy</html>"),
                            Body(R"([{"body":{"deal_status":"treated"}}])"),
                            Body(R"({"deal_status":"treated"})"),
                            Body(R"({"body":null})"),
                            Body(R"({"body":"treated"})"),
                            Body(Reply(R"("web":[])")),
                            Body(Reply(R"("deal_status":"Treated")")),
                            Body(Reply(R"("deal_status":["treated"])")),
                            Body(U(R"(,"web":{"0":"N1"})")),
                            Body(U(R"(,"web":["N1",3])")),
                            Body(U(R"(,"web":[{}])")),
                            Body(U(R"(,"web":["N1"],"liuyan":["N2"],"tousu":[[]])")),
                            Body(Reply(R"("deal_status":"No authority")")),
                            Body(Reply(R"("deal_status":"No authority")"))};
  for (const HttpReply& row : rows) {
    const bool noAuthority = row.body.find("No authority") != std::string::npos,
               freshMeanwhile = &row == std::end(rows) - 1;
    PollRun run;
    run.Poll(Body(U(R"(,"web":["W1","W2"],"liuyan":["L1"],"tousu":["T1"])")));
    run.Poll(Body(U(R"(,"web":["W1","W2"],"liuyan":["L1"],"tousu":["T1","T2"])")));
    const auto before = std::make_unique<UntreatedState>(*run.state);
    if (freshMeanwhile) run.platform.onGet = [&] { SetIds(run.session, u"s-2", u"43"); };
    run.Poll(row);
    EXPECT_EQ(std::memcmp(before.get(), run.state.get(), sizeof(UntreatedState)), 0) << row.body;
    EXPECT_EQ(run.platform.tooltips.size() + run.platform.notificationDialogs, 4u) << row.body;
    EXPECT_EQ(ReadSessionIds(run.session).session_id, noAuthority && !freshMeanwhile ? u""s
                                                      : freshMeanwhile               ? u"s-2"s
                                                                                     : u"s-1"s);
    run.platform.onGet = nullptr;
    run.Poll(Body(kTreated));
    EXPECT_EQ(run.platform.requests.size(), noAuthority && !freshMeanwhile ? 3u : 4u) << row.body;
  }
}
