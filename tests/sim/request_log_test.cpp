#include "sim/request_log.h"

#include <gtest/gtest.h>

#include <string>

TEST(SimRequestLog, KeepsTheNewestEntriesAndCountsTheDropped) {
  RequestLog log(3);
  for (int i = 0; i < 5; ++i) {
    LoggedRequest entry;
    entry.target = "/r" + std::to_string(i);
    log.Add(entry);
  }
  const auto kept = log.Since(0);
  ASSERT_EQ(kept.size(), 3u);
  EXPECT_EQ(kept[0].seq, 3u);
  EXPECT_EQ(kept[0].target, "/r2");
  EXPECT_EQ(kept[2].seq, 5u);
  EXPECT_EQ(log.dropped(), 2u);
  EXPECT_EQ(log.Since(4).size(), 1u);
  EXPECT_TRUE(log.Since(5).empty());

  log.Clear();
  LoggedRequest later;
  later.userAgent = std::string(kMaxLoggedTextBytes + 1, 'u');
  later.target = "/" + std::string(10000, 't');
  log.Add(later);
  ASSERT_EQ(log.Since(0).size(), 1u);
  EXPECT_EQ(log.Since(0)[0].seq, 6u) << "numbers go on after a clear";
  EXPECT_EQ(log.Since(0)[0].userAgent.size(), kMaxLoggedTextBytes);
  EXPECT_EQ(log.Since(0)[0].target.size(), kMaxLoggedTextBytes);
}

TEST(SimRequestLog, WritesEntriesAsJsonWithUtcTimes) {
  LoggedRequest entry;
  entry.seq = 7;
  entry.arrivalMs = 1700000000123;
  entry.method = "GET";
  entry.host = "orders.zarnik.net";
  entry.role = "order";
  entry.target = "/untreatedSheet.php?shop_id=1";
  entry.proxied = true;
  entry.userAgent = "Mozilla/4.0.(compatible;\xFF)";
  entry.fault = "garbage";
  const Json::Value json = RequestLogJson({entry}, 4);
  EXPECT_EQ(json["dropped"].asUInt64(), 4u);
  ASSERT_EQ(json["entries"].size(), 1u);
  const Json::Value& item = json["entries"][0];
  EXPECT_EQ(item["seq"].asUInt64(), 7u);
  EXPECT_EQ(item["time"].asString(), "2023-11-14T22:13:20.123Z");
  EXPECT_EQ(item["time_ms"].asInt64(), 1700000000123);
  EXPECT_EQ(item["host"].asString(), "orders.zarnik.net");
  EXPECT_EQ(item["role"].asString(), "order");
  EXPECT_EQ(item["target"].asString(), "/untreatedSheet.php?shop_id=1");
  EXPECT_TRUE(item["proxied"].asBool());
  EXPECT_EQ(item["user_agent"].asString(), "Mozilla/4.0.(compatible;\xEF\xBF\xBD)");
  EXPECT_EQ(item["fault"].asString(), "garbage");

  EXPECT_EQ(FormatArrivalTime(0), "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(FormatArrivalTime(-1), "1969-12-31T23:59:59.999Z");
}
