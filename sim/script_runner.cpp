#include "sim/script_runner.h"

#include <optional>
#include <string>

namespace {

std::optional<std::string> Argument(const ScriptEvent& event, std::size_t index) {
  if (index >= event.arguments.size()) return std::nullopt;
  return event.arguments[index];
}

// "*" stands for every category or every entry.
std::optional<std::string> UnlessEvery(const std::optional<std::string>& word) {
  if (word && *word == "*") return std::nullopt;
  return word;
}

}  // namespace

ControlOutcome ApplyScriptEvent(SimState& state, const ScriptEvent& event) {
  const auto arg = [&](std::size_t index) { return Argument(event, index); };
  const std::string first = arg(0).value_or(std::string());
  const std::string second = arg(1).value_or(std::string());
  if (event.action == "add") return state.AddEntry(arg(2), first, second);
  if (event.action == "treat") return state.TreatEntries(arg(2), UnlessEvery(arg(0)), UnlessEvery(arg(1)));
  if (event.action == "expire") return state.ExpireSessions(arg(0));
  if (event.action == "password") return state.ChangePassword(first, second);
  if (event.action == "shop") return state.AddShop(first, second, arg(2).value_or(std::string()));
  if (event.action == "fault") {
    QueryParams options{{"kind", second}};
    if (const auto times = arg(2)) options["times"] = *times;
    return state.ArmFault(first, options);
  }
  if (event.action == "clear") return state.ClearFaults(arg(0));
  return {400, "unknown action " + event.action};
}

void RunEventScript(SimState& state, const std::vector<ScriptEvent>& events,
                    std::chrono::steady_clock::time_point start, StopSignal& stop, std::ostream& report) {
  for (const ScriptEvent& event : events) {
    if (!stop.WaitUntil(start + event.at)) return;
    const ControlOutcome outcome = ApplyScriptEvent(state, event);
    report << event.at.count() / 1000 << '.' << (event.at.count() % 1000) / 100 << "s line " << event.line << ": "
           << event.action;
    for (const std::string& word : event.arguments) report << ' ' << word;
    report << ": " << (outcome.ok() ? "" : "failed: ") << outcome.message << std::endl;
  }
}
