#pragma once
// A simulator serving on a loopback port for the length of a test, and a
// raw socket for requests that the HTTP client library would not send
// (the proxy form exactly as the program's platform sends it, a POST
// without a body length).

#include <httplib.h>

#include <string>
#include <thread>

#include "sim/sim_server.h"
#include "sim/sim_state.h"

const SimHosts kTestHosts{"passport.zarnik.net", "orders.zarnik.net", "console.zarnik.net", "sim.control"};

class RunningSim {
 public:
  RunningSim();
  ~RunningSim();
  RunningSim(const RunningSim&) = delete;
  RunningSim& operator=(const RunningSim&) = delete;

  int port() const { return port_; }
  SimState& state() { return state_; }
  SimServer& server() { return server_; }

 private:
  SimState state_;
  SimServer server_;
  int port_ = -1;
  std::thread thread_;
};

struct RawExchange {
  bool connected = false;
  std::string received;  // everything until the server closed or reset the connection
};

// Sends request as it stands and reads until the connection ends.
RawExchange SendRaw(int port, const std::string& request);
