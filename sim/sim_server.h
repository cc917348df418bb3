#pragma once
// The simulator's HTTP side: one listening socket on loopback for the three
// service hosts, the control host and the proxy form of requests, served by
// the HTTP library's thread pool.

#include <httplib.h>

#include <atomic>
#include <string>

#include "sim/sim_state.h"
#include "sim/stop_signal.h"

// Requests and form bodies are small; anything larger is refused by the
// HTTP library (414 for a long target, 413 for a long body).
constexpr std::size_t kMaxRequestBodyBytes = 64 * 1024;

class SimServer {
 public:
  explicit SimServer(SimState& state);
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  // Binds address and port (0: a free port of the system's choice). The
  // port bound, or -1.
  int Bind(const std::string& address, int port);
  // Serves until Stop. False when the server could not run.
  bool Run();
  // From any thread, also before Run or after it; slow replies that are
  // waiting end at once.
  void Stop();

 private:
  void Handle(const httplib::Request& request, httplib::Response& response);

  SimState& state_;
  StopSignal stopping_;
  std::atomic<bool> in_run_{false};
  httplib::Server server_;
};
