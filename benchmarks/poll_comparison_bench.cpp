// The poll's comparison of new lists with kept lists, against the plain scan
// that compares every new entry with every kept entry. Three full categories
// of 1000 order numbers; 900 entries of each stay, in another order, and 100
// are new. Both are measured in the same run, and the run fails unless the
// hash index is at least ten times faster and both count the same.

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
#include "service/untreated_state.h"

namespace {

constexpr int kCategories = 3;
constexpr double kRequiredSpeedUp = 10.0;

struct PollLists {
  PendingList kept[kCategories];
  PendingList incoming[kCategories];
};

// 20-byte order numbers sharing a long prefix, as the service issues them.
std::string OrderNumber(int category, int serial) {
  char text[32];
  std::snprintf(text, sizeof text, "ZN20240517%d%09d", category, serial);
  return text;
}

void Fill(PendingList& list, const std::vector<std::string>& entries) {
  for (std::size_t i = 0; i < entries.size(); ++i) {
    std::snprintf(list.ids[i], kPendingEntryCapacity, "%s", entries[i].c_str());
  }
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
      Fill(built->kept[category], kept);
      Fill(built->incoming[category], incoming);
    }
    return built;
  }();
  return *lists;
}

int PlainScanNewEntries(const PendingList& kept, const PendingList& incoming) {
  if (kept.count == 0) return incoming.count;
  int fresh = 0;
  for (int i = 0; i < incoming.count; ++i) {
    bool found = false;
    for (int j = 0; j < kept.count && !found; ++j) found = std::strcmp(incoming.ids[i], kept.ids[j]) == 0;
    if (!found) ++fresh;
  }
  return fresh;
}

template <int (*Count)(const PendingList&, const PendingList&)>
int CountAllCategories() {
  const PollLists& lists = Lists();
  int fresh = 0;
  for (int category = 0; category < kCategories; ++category) {
    fresh += Count(lists.kept[category], lists.incoming[category]);
  }
  return fresh;
}

void BM_PlainScan(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(CountAllCategories<PlainScanNewEntries>());
}
BENCHMARK(BM_PlainScan)->Unit(benchmark::kMicrosecond);

void BM_HashIndex(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(CountAllCategories<CountNewEntries>());
}
BENCHMARK(BM_HashIndex)->Unit(benchmark::kMicrosecond);

// Keeps each benchmark's CPU time per iteration (steadier than wall time on a
// busy machine) while printing as usual, without colour codes, which would
// clutter test logs.
class TimeKeepingReporter : public benchmark::ConsoleReporter {
 public:
  TimeKeepingReporter() : ConsoleReporter(OO_Tabular) {}

  std::map<std::string, double> timePerIteration;

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration) timePerIteration[run.benchmark_name()] = run.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  const int byScan = CountAllCategories<PlainScanNewEntries>();
  const int byIndex = CountAllCategories<CountNewEntries>();
  if (byScan != byIndex || byIndex != kCategories * 100) {
    std::fprintf(stderr, "counts differ: plain scan %d, hash index %d, expected %d\n", byScan, byIndex,
                 kCategories * 100);
    return 1;
  }

  TimeKeepingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const auto scan = reporter.timePerIteration.find("BM_PlainScan");
  const auto index = reporter.timePerIteration.find("BM_HashIndex");
  if (scan == reporter.timePerIteration.end() || index == reporter.timePerIteration.end()) return 0;  // filtered
  const double speedUp = scan->second / index->second;
  std::printf("hash index: %.1fx faster than the plain scan (required: %.0fx)\n", speedUp, kRequiredSpeedUp);
  return speedUp >= kRequiredSpeedUp ? 0 : 1;
}
