#pragma once
// The script host: a second loopback port of the simulator, where a browser's
// setup script (PAC) may be down, answer, or hang. Its port is chosen at the
// start and kept; its mode comes through the control interface:
//
//   refuse  nothing listens on the port: connections are refused
//   answer  GET /proxy.pac gives a script whose FindProxyForURL returns result
//   hang    connections are accepted and requests read, never answered until
//           the mode changes or the simulator stops

#include <httplib.h>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <json/value.h>

#include "sim/service.h"

// A setup script whose FindProxyForURL returns result, e.g. "PROXY host:port; DIRECT".
Reply ProxyScript(const std::string& result);

class ScriptHost {
 public:
  ScriptHost();
  ~ScriptHost();
  ScriptHost(const ScriptHost&) = delete;
  ScriptHost& operator=(const ScriptHost&) = delete;

  // Chosen at the start, -1 when there was none.
  int Port() const { return port_; }
  // mode (refuse|answer|hang) and result, defaultResult when not given.
  Outcome Change(const Params& params, const std::string& defaultResult);
  // port, mode, result and the number of requests received.
  Json::Value StateJson() const;
  // Ends the held requests and the listening for good; from any thread.
  void Stop();

 private:
  void Handle(const httplib::Request& request, httplib::Response& response);
  bool Listen();
  void StopListening();

  std::mutex changing_;       // one change (or Stop) at a time, held while the server starts or stops
  mutable std::mutex mutex_;  // guards the fields below but the server and its thread
  std::condition_variable mode_changed_;
  std::string mode_ = "refuse";
  std::string result_;
  std::uint64_t requests_ = 0;
  bool stopped_ = false;
  const int port_;
  std::unique_ptr<httplib::Server> server_;  // while the mode is answer or hang
  std::thread serving_;
};
