// A script has one event per line:
//
//   <seconds> <action> <arguments...>
//
// seconds counts from the simulator's start, a whole or decimal number with
// up to three decimals (5, 0.25, 90), at most 1000000. Lines may come in any
// order; events run in time order, equal times in line order. Words are
// separated by blanks or tabs, so an entry cannot hold a blank. Blank lines
// and lines whose first non-blank character is '#' are skipped.
//
//   add <category> <entry> [shop_id]        a request starts waiting
//   treat <category|*> [entry|*] [shop_id]  waiting requests are handled
//   expire [shop_id]                        sessions (and their keys) end
//   password <account> <password>           a password changes
//   shop <account> <password> <shop_id>     a shop account appears
//   fault <host> <kind> [times]             a host starts failing
//   clear [host]                            hosts work again
//
// category is web, liuyan or tousu; host is auth, order or console (or one
// of their names); kind is refuse, slow, error500, truncate, garbage, huge or
// nul. Without shop_id the first shop is meant. Example:
//
//   5 add web ORD-1001
//   40 treat web ORD-1001
//   60 expire

#include "sim/event_script.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <sstream>

namespace {

constexpr long long kMaxSeconds = 1000000;

struct Arity {
  const char* action;
  std::size_t least;
  std::size_t most;
};

constexpr Arity kActions[] = {
    {"add", 2, 3},  {"treat", 1, 3}, {"expire", 0, 1}, {"password", 2, 2},
    {"shop", 3, 3}, {"fault", 2, 3}, {"clear", 0, 1},
};

// Milliseconds in a text such as "5", "0.25" or "90.125"; nullopt otherwise.
std::optional<long long> ParseSeconds(const std::string& text) {
  const std::size_t dot = text.find('.');
  const std::string whole = text.substr(0, dot);
  const std::string fraction = dot == std::string::npos ? std::string() : text.substr(dot + 1);
  if (whole.empty() || whole.size() > 7 || fraction.size() > 3) return std::nullopt;
  if (dot != std::string::npos && fraction.empty()) return std::nullopt;
  const auto digits = [](const std::string& part) {
    return std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (!digits(whole) || !digits(fraction)) return std::nullopt;
  const long long seconds = std::strtoll(whole.c_str(), nullptr, 10);
  if (seconds > kMaxSeconds) return std::nullopt;
  long long millis = 0;
  for (std::size_t i = 0; i < 3; ++i) millis = millis * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
  return seconds * 1000 + millis;
}

std::string LineError(int line, const std::string& what) { return "line " + std::to_string(line) + ": " + what; }

}  // namespace

std::variant<std::vector<ScriptEvent>, std::string> ParseEventScript(const std::string& text) {
  std::vector<ScriptEvent> events;
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    std::replace(line.begin(), line.end(), '\t', ' ');
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::vector<std::string> tokens;
    for (std::string word; words >> word;) tokens.push_back(word);
    if (tokens.empty() || tokens.front().front() == '#') continue;

    const auto millis = ParseSeconds(tokens[0]);
    if (!millis) return LineError(number, "time must be seconds from 0 to 1000000, e.g. 5 or 0.5");
    if (tokens.size() < 2) return LineError(number, "action missing");
    const auto arity = std::find_if(std::begin(kActions), std::end(kActions),
                                    [&](const Arity& each) { return tokens[1] == each.action; });
    if (arity == std::end(kActions)) return LineError(number, "unknown action " + tokens[1]);
    const std::size_t count = tokens.size() - 2;
    if (count < arity->least || count > arity->most) return LineError(number, "wrong number of words for " + tokens[1]);
    if (events.size() >= kMaxScriptEvents) return LineError(number, "too many events");

    ScriptEvent event;
    event.at = std::chrono::milliseconds(*millis);
    event.line = number;
    event.action = tokens[1];
    event.arguments.assign(tokens.begin() + 2, tokens.end());
    events.push_back(std::move(event));
  }
  std::stable_sort(events.begin(), events.end(),
                   [](const ScriptEvent& a, const ScriptEvent& b) { return a.at < b.at; });
  return events;
}
