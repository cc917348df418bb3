#pragma once
// Timed events for a demo: the service changing by itself while the program
// runs (requests arriving and being handled, sessions ending, faults).

#include <chrono>
#include <cstddef>
#include <string>
#include <variant>
#include <vector>

struct ScriptEvent {
  std::chrono::milliseconds at{0};  // after the simulator started
  int line = 0;
  std::string action;
  std::vector<std::string> arguments;
};

constexpr std::size_t kMaxScriptEvents = 10000;

// The events of a script, in the order they are due (equal times in line
// order), or an error text naming the first bad line.
std::variant<std::vector<ScriptEvent>, std::string> ParseEventScript(const std::string& text);
