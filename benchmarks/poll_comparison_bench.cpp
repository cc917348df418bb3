// The poll's comparison of new lists with kept lists, against the plain scan
// that compares every new entry with every kept entry. Three full categories
// of 1000 order numbers; 900 entries of each stay, in another order, and 100
// are new. Also a whole poll of a reply of three full lists against the parse
// of that reply alone. All are measured in the same run, and the run fails
// unless the hash index is at least ten times faster than the scan (both
// counting the same) and the poll costs at most 1.3 times the parse.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "service/pending_list_comparison.h"
#include "service/untreated_poll.h"
#include "support.h"
#include "text/json_reply.h"

namespace {

constexpr int kCategories = 3;
constexpr double kRequiredSpeedUp = 10.0, kMostPollPerParse = 1.3;

struct PollLists {
  PendingList kept[kCategories], incoming[kCategories];
};

// 20-byte order numbers sharing a long prefix, as the service issues them.
std::string OrderNumber(int category, int serial) {
  char text[32];
  std::snprintf(text, sizeof text, "ZN20240517%d%09d", category, serial);
  return text;
}

void Fill(PendingList& list, const std::vector<std::string>& entries) {
  for (std::size_t i = 0; i < entries.size(); ++i)
    std::snprintf(list.ids[i], kPendingEntryCapacity, "%s", entries[i].c_str());
  list.count = static_cast<std::int32_t>(entries.size());
}

const PollLists& Lists() {
  static const std::unique_ptr<PollLists> lists = [] {
    auto built = std::make_unique<PollLists>();
    std::mt19937 random(20240517);
    for (int category = 0; category < kCategories; ++category) {
      std::vector<std::string> kept;
      for (int serial = 0; serial < kPendingListSlots; ++serial) kept.push_back(OrderNumber(category, serial));
      std::vector<std::string> incoming(kept.begin() + 100, kept.end());
      for (int serial = 0; serial < 100; ++serial) incoming.push_back(OrderNumber(category, 500000 + serial));
      std::shuffle(incoming.begin(), incoming.end(), random);
      Fill(built->kept[category], kept), Fill(built->incoming[category], incoming);
    }
    return built;
  }();
  return *lists;
}

int IndexedNewEntries(const PendingList& kept, const PendingList& incoming) {
  const PendingListIndex index(kept);
  int fresh = 0;
  for (int i = 0; i < incoming.count; ++i) fresh += !index.Holds(incoming.ids[i]);
  return fresh;
}

int PlainScanNewEntries(const PendingList& kept, const PendingList& incoming) {
  int fresh = 0;
  for (int i = 0; i < incoming.count; ++i) {
    int j = 0;
    while (j < kept.count && std::strcmp(incoming.ids[i], kept.ids[j]) != 0) ++j;
    fresh += j == kept.count;
  }
  return fresh;
}

template <int (*Count)(const PendingList&, const PendingList&)>
int CountAllCategories() {
  const PollLists& lists = Lists();
  int fresh = 0;
  for (int category = 0; category < kCategories; ++category)
    fresh += Count(lists.kept[category], lists.incoming[category]);
  return fresh;
}

template <int (*Count)(const PendingList&, const PendingList&)>
void BM_Count(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(CountAllCategories<Count>());
}
BENCHMARK(BM_Count<PlainScanNewEntries>)->Name("BM_PlainScan")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Count<IndexedNewEntries>)->Name("BM_HashIndex")->Unit(benchmark::kMicrosecond);

// A reply of three full lists, the kept lists of the last iteration's poll.
const std::string& FullReply() {
  static const std::string reply = [] {
    std::string text = R"({"body":{"deal_status":"untreated")";
    const char* names[kCategories] = {"web", "liuyan", "tousu"};
    for (int category = 0; category < kCategories; ++category) {
      text += ",\"" + std::string(names[category]) + "\":[";
      for (int serial = 0; serial < kPendingListSlots; ++serial)
        text += (serial ? ",\"" : "\"") + OrderNumber(category, serial) + '"';
      text += ']';
    }
    return text + "}}";
  }();
  return reply;
}

void BM_ParseFullReply(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(ParseReply(FullReply()));
}
BENCHMARK(BM_ParseFullReply)->Unit(benchmark::kMicrosecond)->Repetitions(5);

void BM_PollFullReply(benchmark::State& state) {
  FakeServicePlatform platform;
  platform.answer = [](ServiceHost, const std::u16string&) { return Body(FullReply()); };
  SessionState session;
  SetIds(session, u"s-1", u"42");
  const auto untreated = std::make_unique<UntreatedState>();
  for (auto _ : state)
    PollUntreatedRequests(platform, session, *untreated), platform.requests.clear(), platform.tooltips.clear();
}
BENCHMARK(BM_PollFullReply)->Unit(benchmark::kMicrosecond)->Repetitions(5);

// Keeps each benchmark's least CPU time per iteration over its repetitions
// (steadier than wall time on a busy machine) while printing as usual,
// without colour codes, which would clutter test logs.
class TimeKeepingReporter : public benchmark::ConsoleReporter {
 public:
  TimeKeepingReporter() : ConsoleReporter(OO_Tabular) {}
  std::map<std::string, double> timePerIteration;

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto kept = timePerIteration.try_emplace(run.run_name.function_name, run.GetAdjustedCPUTime()).first;
      if (run.run_type == Run::RT_Iteration) kept->second = std::min(kept->second, run.GetAdjustedCPUTime());
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  const int byScan = CountAllCategories<PlainScanNewEntries>();
  const int byIndex = CountAllCategories<IndexedNewEntries>();
  if (byScan != byIndex || byIndex != kCategories * 100) {
    std::fprintf(stderr, "counts differ: plain scan %d, hash index %d, expected 300\n", byScan, byIndex);
    return 1;
  }

  TimeKeepingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  auto& times = reporter.timePerIteration;
  if (times.size() < 4) return 0;  // filtered
  const double speedUp = times["BM_PlainScan"] / times["BM_HashIndex"],
               pollPerParse = times["BM_PollFullReply"] / times["BM_ParseFullReply"];
  std::printf("hash index: %.1fx faster than the plain scan (required: %.0fx)\n", speedUp, kRequiredSpeedUp);
  std::printf("poll of a full reply: %.2fx its parse (allowed: %.1fx)\n", pollPerParse, kMostPollPerParse);
  return speedUp >= kRequiredSpeedUp && pollPerParse <= kMostPollPerParse ? 0 : 1;
}
