// zarnik-sim: plays the service's hosts on loopback for tests and demos of
// the program. sim_server.h describes the control interface.
//
// A script (--script) has one event per line, "<seconds> <action> <words>",
// the seconds counted from the start (a whole or decimal number, at most
// 1000000). Events run in time order, equal times in line order; blank lines
// and lines whose first word starts with '#' are skipped. Each action is the
// control change it names, for the first shop:
//
//   add <category> <entry>     a request starts waiting (POST /entry/add)
//   treat <category> <entry>   it is handled (POST /entry/treat)
//   expire                     the shop's sessions end (POST /sessions/expire)

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "sim/sim_server.h"

namespace {

constexpr std::size_t kMaxScriptBytes = 1 << 20;

constexpr char kUsage[] =
    "usage: zarnik-sim [--port N] [--shop ACCOUNT:PASSWORD:SHOP_ID]... [--script FILE]\n"
    "Plays the service's hosts on 127.0.0.1, directly (Host header) and as an HTTP proxy: authentication\n"
    "(" ZARNIK_SIM_AUTH_HOST "), orders (" ZARNIK_SIM_ORDER_HOST "), web console (" ZARNIK_SIM_CONSOLE_HOST
    ").\n"
    "--port 0 (the default) picks a free port; the port is printed as \"listening PORT\". Control:\n"
    "http://sim.control/ through the same port: GET /state, /log[?since=SEQ]; POST /shop, /entry/add,\n"
    "/entry/treat, /sessions/expire, /fault (kinds: refuse slow error500 truncate garbage huge nul),\n"
    "/fault/clear, /script (the script host: mode refuse|answer|hang, [result]). A script's lines:\n"
    "SECONDS add|treat CATEGORY ENTRY, or SECONDS expire.\n"
    "http://127.0.0.1:PORT/proxy.pac: a browser's setup script that names the simulator as the proxy.\n"
    "The script host, a second port fixed at the start and printed first as \"script host PORT\", serves\n"
    "one at /proxy.pac as its mode says.\n";

struct Event {
  long long ms = 0;
  int line = 0;
  std::string text;  // the action and its words, for the report
  std::string path;
  Params params;
};

const struct {
  const char* action;
  const char* path;
  std::vector<const char*> words;  // the parameters the words give, in order
} kActions[] = {{"add", "/entry/add", {"category", "entry"}},
                {"treat", "/entry/treat", {"category", "entry"}},
                {"expire", "/sessions/expire", {}}};

// The script's events in the order they are due, or an error text.
std::variant<std::vector<Event>, std::string> LoadScript(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return "cannot read " + path;
  std::string text(kMaxScriptBytes + 1, '\0');
  file.read(&text[0], static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(file.gcount()));
  if (text.size() > kMaxScriptBytes) return path + " is larger than 1 MiB";
  std::vector<Event> events;
  std::istringstream lines(text);
  int number = 0;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream stream(line);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) words.push_back(word);
    const std::string where = path + ": line " + std::to_string(++number) + ": ";
    if (words.empty() || words[0][0] == '#') continue;
    char* end = nullptr;
    const double seconds = std::strtod(words[0].c_str(), &end);
    if (*end != '\0' || !(seconds >= 0 && seconds <= 1e6)) return where + "time must be seconds from 0 to 1000000";
    const auto action = std::find_if(std::begin(kActions), std::end(kActions),
                                     [&](const auto& each) { return words.size() > 1 && words[1] == each.action; });
    if (action == std::end(kActions)) return where + "the action must be add, treat or expire";
    if (words.size() != action->words.size() + 2) return where + "wrong number of words for " + words[1];
    Event event{std::llround(seconds * 1000), number, words[1], action->path, {}};
    for (std::size_t i = 2; i < words.size(); ++i) {
      event.text += " " + words[i];
      event.params[action->words[i - 2]] = words[i];
    }
    events.push_back(std::move(event));
  }
  std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.ms < b.ms; });
  return events;
}

int Fail(const std::string& error, bool usage = false) {
  std::cerr << "zarnik-sim: " << error << "\n" << (usage ? kUsage : "");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int port = 0;
  std::vector<std::string> shops;
  std::vector<Event> events;
  // Options take their value as the next word or after '='.
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i], value;
    if (name == "--help" || name == "-h") {
      std::cout << kUsage;
      return 0;
    }
    const std::size_t equals = name.find('=');
    if (equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.erase(equals);
    }
    if (name != "--port" && name != "--shop" && name != "--script") return Fail("unknown option " + name, true);
    if (equals == std::string::npos) {
      if (i + 1 == argc) return Fail(name + " needs a value", true);
      value = argv[++i];
    }
    if (name == "--port") {
      if (value.empty() || value.size() > 5 || value.find_first_not_of("0123456789") != std::string::npos ||
          std::stoi(value) > 65535) {
        return Fail("--port must be 0 to 65535", true);
      }
      port = std::stoi(value);
    } else if (name == "--shop") {
      shops.push_back(value);
    } else {
      auto script = LoadScript(value);
      if (const auto* error = std::get_if<std::string>(&script)) return Fail(*error);
      events = std::get<std::vector<Event>>(std::move(script));
    }
  }

  SimServer server;
  for (const std::string& shop : shops) {
    // Split at the first and the last colon, so that a password may hold colons.
    const std::size_t first = shop.find(':'), last = shop.rfind(':');
    const Outcome outcome = first == last
                                ? Outcome{400, "must be ACCOUNT:PASSWORD:SHOP_ID"}
                                : server.Change("/shop", {{"account", shop.substr(0, first)},
                                                          {"password", shop.substr(first + 1, last - first - 1)},
                                                          {"shop_id", shop.substr(last + 1)}});
    if (!outcome.ok()) return Fail("--shop " + shop.substr(0, first) + ": " + outcome.message);
  }

  // SIGINT and SIGTERM are taken by one thread with sigwait; every other
  // thread, those of the server's pool included, inherits the blocked mask.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  const int bound = server.Bind(port);
  if (bound < 0) {
    std::cerr << "zarnik-sim: cannot listen on 127.0.0.1 port " << port << "\n";
    return 1;
  }
  // Before "listening", so that a reader of that line finds both.
  std::cout << "script host " << server.ScriptPort() << "\n"
            << "listening " << bound << std::endl;

  std::thread signal_waiter([&] {
    int received = 0;
    sigwait(&stop_signals, &received);
    server.Stop();
  });
  // Each event is reported as it runs: "40.0s line 6: treat web ORD-1001: treated 1".
  std::thread script_player([&] {
    const auto start = std::chrono::steady_clock::now();
    for (const Event& event : events) {
      if (!server.WaitUntil(start + std::chrono::milliseconds(event.ms))) return;
      const Outcome outcome = server.Change(event.path, event.params);
      std::cerr << event.ms / 1000 << '.' << event.ms % 1000 / 100 << "s line " << event.line << ": " << event.text
                << ": " << (outcome.ok() ? "" : "failed: ") << outcome.message << std::endl;
    }
  });

  const bool served = server.Run();
  // The server can end without a signal (its socket failed); wake the
  // signal thread so that it can be joined.
  pthread_kill(signal_waiter.native_handle(), SIGTERM);
  signal_waiter.join();
  script_player.join();
  return served ? 0 : 1;
}
