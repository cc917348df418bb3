#include "sim/event_script.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>

#include "sim/script_runner.h"
#include "sim/sim_state.h"

namespace {

std::vector<ScriptEvent> Parsed(const std::string& text) {
  auto result = ParseEventScript(text);
  if (const auto* error = std::get_if<std::string>(&result)) ADD_FAILURE() << *error;
  return std::holds_alternative<std::vector<ScriptEvent>>(result) ? std::get<std::vector<ScriptEvent>>(result)
                                                                  : std::vector<ScriptEvent>{};
}

const SimHosts kHosts{"passport.zarnik.net", "orders.zarnik.net", "console.zarnik.net", "sim.control"};

void AddShops(SimState& state) {
  ASSERT_TRUE(state.AddShop("shop01", "secret", "1001").ok());
  ASSERT_TRUE(state.AddShop("shop02", "pw", "2002").ok());
}

}  // namespace

TEST(SimEventScript, ReadsTimedEventsInTimeOrder) {
  const auto events = Parsed(
      "# demo\n"
      "\n"
      "40 treat web ORD-1001\r\n"
      "5 add web ORD-1001\n"
      "  0.25\tadd  tousu 投诉-1  2002\n"
      "5 expire\n"
      "60.125 fault order garbage 2\n");
  ASSERT_EQ(events.size(), 5u);
  const struct {
    long long at;
    int line;
    const char* action;
    std::vector<std::string> arguments;
  } expected[] = {
      {250, 5, "add", {"tousu", "投诉-1", "2002"}},
      {5000, 4, "add", {"web", "ORD-1001"}},
      {5000, 6, "expire", {}},
      {40000, 3, "treat", {"web", "ORD-1001"}},
      {60125, 7, "fault", {"order", "garbage", "2"}},
  };
  for (std::size_t i = 0; i < events.size(); ++i) {
    EXPECT_EQ(events[i].at.count(), expected[i].at) << "event " << i;
    EXPECT_EQ(events[i].line, expected[i].line) << "event " << i;
    EXPECT_EQ(events[i].action, expected[i].action) << "event " << i;
    EXPECT_EQ(events[i].arguments, expected[i].arguments) << "event " << i;
  }
}

TEST(SimEventScript, NamesTheFirstBadLine) {
  const struct {
    const char* script;
    const char* error;
  } rows[] = {
      {"5 add web\n", "line 1: wrong number of words for add"},
      {"# ok\n5 launch rockets\n", "line 2: unknown action launch"},
      {"-1 expire\n", "line 1: time must be seconds from 0 to 1000000, e.g. 5 or 0.5"},
      {"5. expire\n", "line 1: time must be seconds from 0 to 1000000, e.g. 5 or 0.5"},
      {"0.1234 expire\n", "line 1: time must be seconds from 0 to 1000000, e.g. 5 or 0.5"},
      {"1000001 expire\n", "line 1: time must be seconds from 0 to 1000000, e.g. 5 or 0.5"},
      {"1e3 expire\n", "line 1: time must be seconds from 0 to 1000000, e.g. 5 or 0.5"},
      {"5\n", "line 1: action missing"},
      {"1 expire\n2 password shop01\n", "line 2: wrong number of words for password"},
      {"1 clear a b\n", "line 1: wrong number of words for clear"},
  };
  for (const auto& row : rows) {
    const auto result = ParseEventScript(row.script);
    ASSERT_TRUE(std::holds_alternative<std::string>(result)) << row.script;
    EXPECT_EQ(std::get<std::string>(result), row.error) << row.script;
  }
  std::string many;
  for (std::size_t i = 0; i <= kMaxScriptEvents; ++i) many += "1 expire\n";
  const auto too_many = ParseEventScript(many);
  ASSERT_TRUE(std::holds_alternative<std::string>(too_many));
  EXPECT_EQ(std::get<std::string>(too_many), "line 10001: too many events");
}

TEST(SimEventScript, EventsChangeTheStateLikeTheControlInterface) {
  SimState state(kHosts, MakeRandomTokenSource());
  AddShops(state);
  const struct {
    const char* line;
    int status;
  } rows[] = {
      {"0 add web ORD-1", 200},         {"0 add web ORD-2", 200},        {"0 add liuyan L-1 2002", 200},
      {"0 add parcel P-1", 400},        {"0 add web X 9999", 404},       {"0 treat web ORD-1", 200},
      {"0 treat * * 2002", 200},        {"0 treat nothing", 400},        {"0 password shop01 new", 200},
      {"0 password ghost x", 404},      {"0 shop shop03 pw3 3003", 200}, {"0 shop shop03 pw3 3003", 409},
      {"0 fault order refuse 1", 200},  {"0 fault control slow", 400},   {"0 fault auth explode", 400},
      {"0 clear auth", 200},            {"0 expire 9999", 404},          {"0 expire", 200},
  };
  for (const auto& row : rows) {
    const auto events = Parsed(row.line);
    ASSERT_EQ(events.size(), 1u) << row.line;
    EXPECT_EQ(ApplyScriptEvent(state, events[0]).status, row.status) << row.line;
  }
  const Json::Value json = state.StateJson();
  ASSERT_EQ(json["shops"].size(), 3u);
  EXPECT_EQ(json["shops"][0]["password"].asString(), "new");
  EXPECT_EQ(json["shops"][0]["pending"]["web"].size(), 1u);
  EXPECT_EQ(json["shops"][0]["pending"]["web"][0].asString(), "ORD-2");
  EXPECT_EQ(json["shops"][1]["pending"]["liuyan"].size(), 0u);
  ASSERT_EQ(json["faults"].size(), 1u);
  EXPECT_EQ(json["faults"][0]["host"].asString(), "order");
  EXPECT_EQ(json["faults"][0]["times"].asInt(), 1);
}

TEST(SimEventScript, RunsEventsWhenDueAndStopsWhenTold) {
  SimState state(kHosts, MakeRandomTokenSource());
  AddShops(state);
  const auto events = Parsed("0 add web ORD-1\n0.05 add web ORD-2\n600 add web ORD-3\n");
  StopSignal stop;
  std::ostringstream report;
  const auto start = std::chrono::steady_clock::now();
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    stop.Stop();
  });
  RunEventScript(state, events, start, stop, report);
  const auto took = std::chrono::steady_clock::now() - start;
  stopper.join();
  EXPECT_GE(took, std::chrono::milliseconds(900));
  EXPECT_LT(took, std::chrono::seconds(10)) << "the 600 s event must not be waited for";
  EXPECT_EQ(state.StateJson()["shops"][0]["pending"]["web"].size(), 2u);
  EXPECT_EQ(report.str(),
            "0.0s line 1: add web ORD-1: entry added\n"
            "0.0s line 2: add web ORD-2: entry added\n");
}
