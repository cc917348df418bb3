// The poll's comparison of new lists with kept lists, against the plain scan
// that compares every new entry with every kept entry, on three full
// categories of 1000 order numbers: 900 of each stay, in another order, and
// 100 are new. Also a whole poll of a reply of three full lists against the
// parse of that reply alone. All are measured in the same run, and the run
// fails unless the hash index is at least ten times faster than the scan
// (both counting the same) and the poll costs at most 1.3 times the parse.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>

#include "service/pending_list_comparison.h"
#include "service/untreated_poll.h"
#include "support.h"
#include "text/json_reply.h"

constexpr double kRequiredSpeedUp = 10.0, kMostPollPerParse = 1.3;

// A reply of three full lists of 20-byte order numbers sharing a long prefix,
// as the service issues them. Entry i of a list is number i * step % 1000,
// numbered anew when that is below fresh.
std::string FullReply(int step, int fresh) {
  std::string text = R"({"body":{"deal_status":"untreated")";
  for (const char* category : {"web", "liuyan", "tousu"}) {
    text += ",\""s + category + "\":[";
    for (int i = 0; i < kPendingListSlots; ++i) {
      const int number = i * step % kPendingListSlots;
      char entry[32];
      std::snprintf(entry, sizeof entry, "\"ZN20240517%c%09d\",", *category, number < fresh ? 500000 + number : number);
      text += entry;
    }
    text.back() = ']';
  }
  return text + "}}";
}

int PlainScan(const PendingList& kept, const PendingList& incoming) {
  int fresh = 0;
  for (int i = 0; i < incoming.count; ++i)
    fresh += std::none_of(kept.ids, kept.ids + kept.count, [&](auto id) { return !std::strcmp(id, incoming.ids[i]); });
  return fresh;
}

int HashIndex(const PendingList& kept, const PendingList& incoming) {
  const PendingListIndex index(kept);
  return int(std::count_if(incoming.ids, incoming.ids + incoming.count, [&](auto id) { return !index.Holds(id); }));
}

// The new entries of all three categories.
int CountNew(int (*count)(const PendingList&, const PendingList&), const UntreatedState& kept,
             const UntreatedState& incoming) {
  return count(kept.web, incoming.web) + count(kept.liuyan, incoming.liuyan) + count(kept.tousu, incoming.tousu);
}

// Keeps the CPU time per iteration of each repetition (steadier than wall
// time on a busy machine) while printing as usual, without colour codes,
// which would clutter test logs.
struct TimeKeeper : benchmark::ConsoleReporter {
  TimeKeeper() : ConsoleReporter(OO_Tabular) {}
  std::map<std::string, std::vector<double>> times;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration) times[run.run_name.function_name].push_back(run.GetAdjustedCPUTime());
    ConsoleReporter::ReportRuns(runs);
  }
  double Least(const char* name) { return *std::min_element(times[name].begin(), times[name].end()); }
};

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  FakeServicePlatform platform;
  SessionState session;
  SetIds(session, u"s-1", u"42");
  std::string reply = FullReply(7919, 100);  // what the platform answers
  platform.answer = [&reply](ServiceHost, const std::u16string&) { return Body(reply); };
  const auto kept = std::make_unique<UntreatedState>(), incoming = std::make_unique<UntreatedState>();
  PollUntreatedRequests(platform, session, *incoming);
  reply = FullReply(1, 0);
  PollUntreatedRequests(platform, session, *kept);
  const int byScan = CountNew(PlainScan, *kept, *incoming), byIndex = CountNew(HashIndex, *kept, *incoming);
  std::printf("new entries: %d by the plain scan, %d by the hash index, of 300\n", byScan, byIndex);
  if (byScan != 300 || byIndex != 300) return 1;

  const auto measure = [](const char* name, auto work) {
    benchmark::RegisterBenchmark(name, [work](benchmark::State& state) {
      for (auto _ : state) work();
    })->Repetitions(5);
  };
  measure("BM_PlainScan", [&] { benchmark::DoNotOptimize(CountNew(PlainScan, *kept, *incoming)); });
  measure("BM_HashIndex", [&] { benchmark::DoNotOptimize(CountNew(HashIndex, *kept, *incoming)); });
  measure("BM_ParseFullReply", [&] { benchmark::DoNotOptimize(ParseReply(reply)); });
  // Polls the same reply again: the lists stay as they are, and no entry is new.
  measure("BM_PollFullReply", [&] { PollUntreatedRequests(platform, session, *kept); });
  TimeKeeper reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  if (reporter.times.size() < 4) return 0;  // filtered
  const double speedUp = reporter.Least("BM_PlainScan") / reporter.Least("BM_HashIndex"),
               pollPerParse = reporter.Least("BM_PollFullReply") / reporter.Least("BM_ParseFullReply");
  std::printf("hash index: %.1fx faster than the plain scan (required: %.0fx)\n", speedUp, kRequiredSpeedUp);
  std::printf("poll of a full reply: %.2fx its parse (allowed: %.1fx)\n", pollPerParse, kMostPollPerParse);
  return speedUp < kRequiredSpeedUp || pollPerParse > kMostPollPerParse ? 1 : 0;
}
