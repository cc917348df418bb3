#include "service/untreated_poll.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fake_service_platform.h"
#include "service/request_paths.h"

namespace {

using Entries = std::vector<std::string>;

std::string JsonList(const Entries& entries) {
  std::string list = "[";
  for (const std::string& entry : entries) list += (list.size() > 1 ? ",\"" : "\"") + entry + "\"";
  return list + "]";
}

// An "untreated" reply; a category given as nullptr is left out.
std::string UntreatedReply(const Entries* web, const Entries* liuyan, const Entries* tousu) {
  std::string body = "{\"body\":{\"deal_status\":\"untreated\"";
  if (web) body += ",\"web\":" + JsonList(*web);
  if (liuyan) body += ",\"liuyan\":" + JsonList(*liuyan);
  if (tousu) body += ",\"tousu\":" + JsonList(*tousu);
  return body + "}}";
}

std::string Untreated(const Entries& web, const Entries& liuyan, const Entries& tousu) {
  return UntreatedReply(&web, &liuyan, &tousu);
}

std::u16string Waiting(int total) {
  std::u16string text = u"Morvane（";
  for (char digit : std::to_string(total)) text += static_cast<char16_t>(digit);
  return text + u"条待处理业务请求）";
}

Entries OrderNumbers(int first, int count) {
  Entries entries;
  for (int i = first; i < first + count; ++i) entries.push_back("ZN2024051700" + std::to_string(100000 + i));
  return entries;
}

std::string SlotText(const PendingList& list, int slot) { return list.ids[slot]; }

class UntreatedPollTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SessionIds ids;
    std::memcpy(ids.session_id, u"s-1", sizeof u"s-1");
    std::memcpy(ids.shop_id, u"42", sizeof u"42");
    StoreSessionIds(session, ids);
  }

  void Poll(const std::string& body) {
    platform.QueueBody(ServiceHost::Orders, body);
    PollUntreatedRequests(platform, session, *untreated);
  }

  FakeServicePlatform platform;
  SessionState session;
  // Too large for the stack of a test.
  std::unique_ptr<UntreatedState> untreated = std::make_unique<UntreatedState>();
};

TEST_F(UntreatedPollTest, AsksTheOrderHostWithTheHeldSession) {
  Poll(Untreated({}, {}, {}));
  ASSERT_EQ(platform.requests.size(), 1u);
  EXPECT_EQ(platform.requests[0].host, ServiceHost::Orders);
  EXPECT_EQ(platform.requests[0].path, BuildPollPath(u"42", u"s-1"));
}

TEST_F(UntreatedPollTest, CountsOnlyEntriesTheLastReplyDidNotHold) {
  int newCountInDialog = -1;
  std::size_t tooltipsBeforeDialog = 99;
  platform.onNotificationDialog = [&] {
    newCountInDialog = untreated->newCount;
    tooltipsBeforeDialog = platform.tooltips.size();
  };

  Poll(Untreated({"W1", "W2"}, {}, {"T1"}));
  EXPECT_EQ(untreated->newCount, 3);
  EXPECT_EQ(platform.notificationDialogs, 1);
  EXPECT_EQ(newCountInDialog, 3);
  EXPECT_EQ(tooltipsBeforeDialog, 0u) << "the tooltip changes only after the dialog";
  EXPECT_EQ(platform.tooltips, std::vector<std::u16string>{Waiting(3)});

  Poll(Untreated({"W1", "W2"}, {}, {"T1"}));
  EXPECT_EQ(untreated->newCount, 0);
  EXPECT_EQ(platform.notificationDialogs, 1);
  EXPECT_EQ(platform.tooltips.back(), Waiting(3));

  Poll(Untreated({"W1", "W3"}, {}, {"T1"}));
  EXPECT_EQ(untreated->newCount, 1);
  EXPECT_EQ(platform.notificationDialogs, 2);
  EXPECT_EQ(newCountInDialog, 1);
  EXPECT_EQ(platform.tooltips.back(), Waiting(3));
  EXPECT_EQ(SlotText(untreated->web, 1), "W3");
}

TEST_F(UntreatedPollTest, EmptyOrMissingListsShowThePlainName) {
  Poll(Untreated({"W1"}, {}, {}));
  Poll(UntreatedReply(nullptr, nullptr, nullptr));
  EXPECT_EQ(untreated->newCount, 0);
  EXPECT_EQ(platform.notificationDialogs, 1);
  EXPECT_EQ(platform.tooltips.back(), u"Morvane");
  EXPECT_EQ(untreated->web.count, 0);
}

TEST_F(UntreatedPollTest, TreatedEmptiesTheListsSoTheirEntriesCountAgain) {
  Poll(Untreated({"W1", "W2"}, {"L1"}, {"T1"}));
  Poll("{\"body\":{\"deal_status\":\"treated\"}}");
  EXPECT_EQ(untreated->web.count + untreated->liuyan.count + untreated->tousu.count, 0);
  EXPECT_EQ(untreated->newCount, 4) << "newCount is kept";
  EXPECT_EQ(platform.tooltips.back(), u"Morvane");
  EXPECT_EQ(platform.notificationDialogs, 1);

  Poll(Untreated({"W1", "W2"}, {"L1"}, {"T1"}));
  EXPECT_EQ(untreated->newCount, 4);
  EXPECT_EQ(platform.notificationDialogs, 2);
  EXPECT_EQ(platform.tooltips.back(), Waiting(4));
}

TEST_F(UntreatedPollTest, ACategoryMissingOnceCountsInFullWhenItReturns) {
  const Entries web{"W1", "W2"};
  const Entries liuyan{"L1", "L2", "L3"};
  Poll(UntreatedReply(&web, &liuyan, nullptr));
  Poll(UntreatedReply(&web, nullptr, nullptr));
  EXPECT_EQ(untreated->newCount, 0);
  EXPECT_EQ(platform.tooltips.back(), Waiting(2));
  Poll(UntreatedReply(&web, &liuyan, nullptr));
  EXPECT_EQ(untreated->newCount, 3);
  EXPECT_EQ(platform.tooltips.back(), Waiting(5));
}

TEST_F(UntreatedPollTest, EntriesAreComparedWithinTheirOwnCategory) {
  Poll(Untreated({"A"}, {}, {}));
  Poll(Untreated({}, {"A"}, {}));
  EXPECT_EQ(untreated->newCount, 1);
}

TEST_F(UntreatedPollTest, OnlyIdenticalBytesAreTheSameEntry) {
  // The first two share a 32-bit FNV-1a hash; the others are prefixes or
  // differ in letter case only.
  Poll(Untreated({"ZN0000671139", "W1", "w2"}, {}, {}));
  Poll(Untreated({"ZN0001520906", "W", "W10", "W2", "ZN0000671139"}, {}, {}));
  EXPECT_EQ(untreated->newCount, 4);
}

TEST_F(UntreatedPollTest, ReadsKeepsAndCountsTheFirstThousandEntriesOnly) {
  Poll(Untreated(OrderNumbers(0, 1500), {}, {"T1"}));
  EXPECT_EQ(untreated->web.count, 1000);
  EXPECT_EQ(untreated->newCount, 1001);
  EXPECT_EQ(SlotText(untreated->web, 999), OrderNumbers(999, 1)[0]);
  EXPECT_EQ(platform.tooltips.back(), Waiting(1001));

  // Entries beyond the first thousand are neither compared nor kept.
  Entries changedTail = OrderNumbers(0, 1000);
  for (const std::string& entry : OrderNumbers(5000, 700)) changedTail.push_back(entry);
  Poll(Untreated(changedTail, {}, {"T1"}));
  EXPECT_EQ(untreated->newCount, 0);
}

TEST_F(UntreatedPollTest, FindsTheNewEntriesOfFullLists) {
  Poll(Untreated(OrderNumbers(0, 1000), OrderNumbers(0, 1000), OrderNumbers(0, 1000)));
  // Shifted, reversed and untouched: 250 + 1000 + 0 entries are new.
  Entries reversed = OrderNumbers(0, 1000);
  std::reverse(reversed.begin(), reversed.end());
  reversed[10] = "ZN-elsewhere";
  Poll(Untreated(OrderNumbers(250, 1000), OrderNumbers(2000, 1000), reversed));
  EXPECT_EQ(untreated->newCount, 250 + 1000 + 1);
  EXPECT_EQ(platform.tooltips.back(), Waiting(3000));
}

TEST_F(UntreatedPollTest, RepeatedEntriesEachCountUnlessAlreadyKept) {
  Poll(Untreated({"D", "D", "E"}, {}, {}));
  EXPECT_EQ(untreated->newCount, 3);
  Poll(Untreated({"D", "D", "F", "F"}, {}, {}));
  EXPECT_EQ(untreated->newCount, 2);
}

TEST_F(UntreatedPollTest, NullElementsAreEmptyEntries) {
  struct Row {
    const char* name;
    const char* previousWeb;
    int expectedNew;
  };
  const Row rows[] = {
      {"previous list without an empty entry", "[\"W1\"]", 2},
      {"previous list with an empty entry", "[\"W1\",\"\"]", 0},
      {"previous list with a null entry", "[null]", 0},
  };
  for (const Row& row : rows) {
    auto state = std::make_unique<UntreatedState>();
    for (std::string web : {std::string(row.previousWeb), std::string("[null,null]")}) {
      platform.QueueBody(ServiceHost::Orders, "{\"body\":{\"deal_status\":\"untreated\",\"web\":" + web + "}}");
      PollUntreatedRequests(platform, session, *state);
    }
    EXPECT_EQ(state->newCount, row.expectedNew) << row.name;
    EXPECT_EQ(state->web.count, 2) << row.name;
  }
}

TEST_F(UntreatedPollTest, BooleansAndEscapesReadAsTheirText) {
  Poll("{\"body\":{\"deal_status\":\"untreated\",\"web\":[true,\"\\u4e2d\"]}}");
  Poll("{\"body\":{\"deal_status\":\"untreated\",\"web\":[\"true\",\"\xe4\xb8\xad\"]}}");
  EXPECT_EQ(untreated->newCount, 0);
}

TEST_F(UntreatedPollTest, ATextInPlaceOfAListIsAnEmptyList) {
  const char* const values[] = {"5", "\"W1\"", "true", "null"};
  for (const char* value : values) {
    Poll(Untreated({"W1"}, {"L1"}, {}));
    Poll(std::string("{\"body\":{\"deal_status\":\"untreated\",\"liuyan\":[\"L1\"],\"web\":") + value + "}}");
    EXPECT_EQ(untreated->web.count, 0) << value;
    EXPECT_EQ(untreated->newCount, 0) << value;
    EXPECT_EQ(platform.tooltips.back(), Waiting(1)) << value;
  }
}

TEST_F(UntreatedPollTest, LongEntriesAreCutToTheSlot) {
  const std::string longEntry(200, 'x');
  const std::string samePrefix = std::string(127, 'x') + "tail";
  Poll(Untreated({longEntry}, {}, {}));
  EXPECT_EQ(SlotText(untreated->web, 0), std::string(127, 'x'));
  EXPECT_EQ(untreated->newCount, 1);
  Poll(Untreated({samePrefix, std::string(126, 'x')}, {}, {}));
  EXPECT_EQ(untreated->newCount, 1) << "only the 126-byte entry differs from the cut text";
  EXPECT_EQ(platform.tooltips.back(), Waiting(2));
}

TEST_F(UntreatedPollTest, RepliesOfAnotherShapeChangeNothing) {
  struct Row {
    const char* name;
    HttpReply reply;
  };
  const auto body = [](std::string text) { return HttpReply{HttpReply::Status::Body, std::move(text)}; };
  const Row rows[] = {
      {"no connection", HttpReply{HttpReply::Status::ConnectFailed, {}}},
      {"no body", HttpReply{HttpReply::Status::NoBody, {}}},
      {"empty body", body("")},
      {"not JSON", body("<html>busy</html>")},
      {"root is a list", body("[{\"body\":{\"deal_status\":\"treated\"}}]")},
      {"root is a text", body("\"treated\"")},
      {"no body member", body("{\"deal_status\":\"treated\"}")},
      {"body is null", body("{\"body\":null}")},
      {"body is a number", body("{\"body\":7}")},
      {"body is a list", body("{\"body\":[\"treated\"]}")},
      {"body is a text", body("{\"body\":\"treated\"}")},
      {"no deal_status", body("{\"body\":{\"web\":[]}}")},
      {"unknown deal_status", body("{\"body\":{\"deal_status\":\"Treated\"}}")},
      {"deal_status is a number", body("{\"body\":{\"deal_status\":1}}")},
      {"deal_status is an object", body("{\"body\":{\"deal_status\":{\"v\":\"treated\"}}}")},
      {"deal_status is a list", body("{\"body\":{\"deal_status\":[\"treated\"]}}")},
      {"a list is an object", body("{\"body\":{\"deal_status\":\"untreated\",\"web\":{\"0\":\"N1\"}}}")},
      {"element is a number", body("{\"body\":{\"deal_status\":\"untreated\",\"web\":[\"N1\",3]}}")},
      {"element is a list", body("{\"body\":{\"deal_status\":\"untreated\",\"web\":[[\"N1\"]]}}")},
      {"element is an object", body("{\"body\":{\"deal_status\":\"untreated\",\"web\":[{}]}}")},
      {"last list malformed after good ones",
       body("{\"body\":{\"deal_status\":\"untreated\",\"web\":[\"N1\"],\"liuyan\":[\"N2\"],\"tousu\":[1.5]}}")},
  };
  for (const Row& row : rows) {
    FakeServicePlatform fresh;
    auto state = std::make_unique<UntreatedState>();
    fresh.QueueBody(ServiceHost::Orders, Untreated({"W1", "W2"}, {"L1"}, {"T1"}));
    fresh.QueueBody(ServiceHost::Orders, Untreated({"W1", "W2"}, {"L1"}, {"T1", "T2"}));
    PollUntreatedRequests(fresh, session, *state);
    PollUntreatedRequests(fresh, session, *state);
    ASSERT_EQ(state->newCount, 1);

    fresh.QueueReply(ServiceHost::Orders, row.reply);
    PollUntreatedRequests(fresh, session, *state);
    EXPECT_EQ(fresh.requests.size(), 3u) << row.name;
    EXPECT_EQ(state->newCount, 1) << row.name;
    EXPECT_EQ(state->web.count, 2) << row.name;
    EXPECT_EQ(SlotText(state->web, 0), "W1") << row.name;
    EXPECT_EQ(state->liuyan.count, 1) << row.name;
    EXPECT_EQ(SlotText(state->liuyan, 0), "L1") << row.name;
    EXPECT_EQ(state->tousu.count, 2) << row.name;
    EXPECT_EQ(fresh.tooltips.size(), 2u) << row.name;
    EXPECT_EQ(fresh.notificationDialogs, 2) << row.name;
    EXPECT_TRUE(HasSession(session)) << row.name;
  }
}

TEST_F(UntreatedPollTest, NoAuthorityDropsTheSessionOnly) {
  Poll(Untreated({"W1"}, {}, {"T1"}));
  Poll("{\"body\":{\"deal_status\":\"No authority\",\"web\":[]}}");
  EXPECT_FALSE(HasSession(session));
  EXPECT_EQ(ReadSessionIds(session).shop_id, std::u16string(u"42"));
  EXPECT_EQ(untreated->web.count, 1);
  EXPECT_EQ(untreated->tousu.count, 1);
  EXPECT_EQ(untreated->newCount, 2);
  EXPECT_EQ(platform.tooltips.size(), 1u);
  EXPECT_EQ(platform.notificationDialogs, 1);
}

TEST_F(UntreatedPollTest, WithoutASessionNothingIsAsked) {
  ClearSessionId(session);
  PollUntreatedRequests(platform, session, *untreated);
  EXPECT_TRUE(platform.requests.empty());
}

}  // namespace
