// zarnik-sim: plays the service's hosts on loopback for tests and demos of
// the program. See command_line.h for the options, control_routes.h for the
// control interface and event_script.cpp for the script format.

#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "sim/command_line.h"
#include "sim/event_script.h"
#include "sim/script_runner.h"
#include "sim/sim_server.h"
#include "sim/sim_state.h"
#include "sim/stop_signal.h"
#include "sim/token_source.h"

namespace {

constexpr std::size_t kMaxScriptBytes = 1 << 20;
constexpr char kLoopback[] = "127.0.0.1";

// The script's events, or an error text.
std::variant<std::vector<ScriptEvent>, std::string> LoadScript(const std::string& path) {
  if (path.empty()) return std::vector<ScriptEvent>{};
  std::ifstream file(path, std::ios::binary);
  if (!file) return "cannot read " + path;
  std::string text(kMaxScriptBytes + 1, '\0');
  file.read(&text[0], static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(file.gcount()));
  if (text.size() > kMaxScriptBytes) return path + " is larger than 1 MiB";
  auto parsed = ParseEventScript(text);
  if (const auto* error = std::get_if<std::string>(&parsed)) return path + ": " + *error;
  return parsed;
}

}  // namespace

int main(int argc, char** argv) {
  const auto parsed = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (const auto* error = std::get_if<std::string>(&parsed)) {
    std::cerr << "zarnik-sim: " << *error << "\n" << UsageText();
    return 2;
  }
  const SimOptions& options = std::get<SimOptions>(parsed);
  if (options.help) {
    std::cout << UsageText();
    return 0;
  }
  const auto script = LoadScript(options.scriptPath);
  if (const auto* error = std::get_if<std::string>(&script)) {
    std::cerr << "zarnik-sim: " << *error << "\n";
    return 2;
  }

  SimState state(options.hosts, MakeRandomTokenSource());
  for (const ShopRecord& shop : options.shops) {
    const ControlOutcome outcome = state.AddShop(shop.account, shop.password, shop.shop_id);
    if (!outcome.ok()) {
      std::cerr << "zarnik-sim: --shop " << shop.account << ": " << outcome.message << "\n";
      return 2;
    }
  }

  // SIGINT and SIGTERM are taken by one thread with sigwait; every other
  // thread, those of the server's pool included, inherits the blocked mask.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  SimServer server(state);
  const int port = server.Bind(kLoopback, options.port);
  if (port < 0) {
    std::cerr << "zarnik-sim: cannot listen on " << kLoopback << " port " << options.port << "\n";
    return 1;
  }
  std::cout << "listening " << port << std::endl;

  StopSignal script_stop;
  std::thread signal_waiter([&] {
    int received = 0;
    sigwait(&stop_signals, &received);
    script_stop.Stop();
    server.Stop();
  });
  std::thread script_player([&] {
    RunEventScript(state, std::get<std::vector<ScriptEvent>>(script), std::chrono::steady_clock::now(), script_stop,
                   std::cerr);
  });

  const bool served = server.Run();
  // The server can end without a signal (its socket failed); wake the
  // signal thread so that it can be joined.
  pthread_kill(signal_waiter.native_handle(), SIGTERM);
  signal_waiter.join();
  script_player.join();
  return served ? 0 : 1;
}
