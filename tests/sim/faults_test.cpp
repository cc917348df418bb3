#include "sim/faults.h"

#include <gtest/gtest.h>

#include <string>

TEST(SimFaults, ParsesPlansAndNamesTheBadOption) {
  const struct {
    const char* name;
    QueryParams options;
    const char* error;  // nullptr: parsed
  } rows[] = {
      {"kind alone", {{"kind", "garbage"}}, nullptr},
      {"every option", {{"kind", "slow"}, {"times", "2"}, {"delay_ms", "120000"}, {"path", "/shop_key.php"}}, nullptr},
      {"huge with size", {{"kind", "huge"}, {"size", "268435456"}}, nullptr},
      {"no kind", {{"times", "1"}}, "kind missing"},
      {"unknown kind", {{"kind", "explode"}}, "unknown kind explode"},
      {"negative times", {{"kind", "refuse"}, {"times", "-1"}}, "times must be 0 to 1000000"},
      {"times not a number", {{"kind", "refuse"}, {"times", "1x"}}, "times must be 0 to 1000000"},
      {"delay too long", {{"kind", "slow"}, {"delay_ms", "120001"}}, "delay_ms must be 0 to 120000"},
      {"size zero", {{"kind", "huge"}, {"size", "0"}}, "size must be 1 to 268435456"},
      {"size too big", {{"kind", "huge"}, {"size", "99999999999999999999"}}, "size must be 1 to 268435456"},
      {"offset empty", {{"kind", "nul"}, {"offset", ""}}, "offset must be 0 to 268435456"},
  };
  for (const auto& row : rows) {
    const auto plan = ParseFaultPlan(row.options);
    if (row.error == nullptr) {
      EXPECT_TRUE(std::holds_alternative<FaultPlan>(plan)) << row.name;
    } else {
      ASSERT_TRUE(std::holds_alternative<std::string>(plan)) << row.name;
      EXPECT_EQ(std::get<std::string>(plan), row.error) << row.name;
    }
  }
  const FaultPlan slow = std::get<FaultPlan>(
      ParseFaultPlan({{"kind", "slow"}, {"times", "2"}, {"delay_ms", "1500"}, {"path", "/shop_key.php"}}));
  EXPECT_EQ(slow.kind, FaultKind::Slow);
  EXPECT_EQ(slow.times, 2);
  EXPECT_EQ(slow.delay.count(), 1500);
  EXPECT_EQ(slow.path, "/shop_key.php");
  for (const char* name : {"refuse", "slow", "error500", "truncate", "garbage", "huge", "nul"}) {
    ASSERT_TRUE(FaultKindNamed(name)) << name;
    EXPECT_STREQ(FaultKindName(*FaultKindNamed(name)), name);
  }
}

TEST(SimFaults, TableCountsRequestsAndMatchesPaths) {
  FaultTable table;
  FaultPlan twice;
  twice.kind = FaultKind::Garbage;
  twice.times = 2;
  table.Arm(HostRole::Order, twice);
  FaultPlan key_only;
  key_only.kind = FaultKind::ServerError;
  key_only.path = "/shop_key.php";
  table.Arm(HostRole::Auth, key_only);

  EXPECT_FALSE(table.Take(HostRole::Console, "/"));
  EXPECT_FALSE(table.Take(HostRole::Auth, "/shop_login.php")) << "another path of the host";
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(table.Take(HostRole::Auth, "/shop_key.php")) << "times 0 lasts, request " << i;
  }
  EXPECT_TRUE(table.Take(HostRole::Order, "/untreatedSheet.php"));
  EXPECT_TRUE(table.Take(HostRole::Order, "/untreatedSheet.php"));
  EXPECT_FALSE(table.Take(HostRole::Order, "/untreatedSheet.php")) << "spent after two";
  EXPECT_EQ(table.armed().count(HostRole::Order), 0u);

  table.Arm(HostRole::Order, twice);
  table.Clear(HostRole::Auth);
  EXPECT_FALSE(table.Take(HostRole::Auth, "/shop_key.php"));
  EXPECT_TRUE(table.Take(HostRole::Order, "/"));
  table.Clear(std::nullopt);
  EXPECT_TRUE(table.armed().empty());
}

TEST(SimFaults, PutsTheZeroByteWhereAsked) {
  const struct {
    std::optional<std::size_t> at;
    std::string expected;
  } rows[] = {
      {std::nullopt, std::string("ab\0cd", 5)},
      {0, std::string("\0abcd", 5)},
      {4, std::string("abcd\0", 5)},
      {99, std::string("abcd\0", 5)},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(WithZeroByte("abcd", row.at), row.expected) << (row.at ? *row.at : 12345);
  }
  EXPECT_EQ(WithZeroByte("", std::nullopt), std::string("\0", 1));
}
