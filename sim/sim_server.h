#pragma once
// The simulator's HTTP side: one socket on 127.0.0.1 for the service's three
// hosts, its own control host and the proxy form of requests, served by the
// HTTP library's thread pool.
//
// The control interface: plain HTTP under the host name "sim.control",
// reached with a Host header or through the simulator as a proxy. Reads are
// GET, changes are POST; parameters come in the query or in a form body.
//
//   GET  /state             shops with their waiting entries, live sessions and keys, armed faults
//   GET  /log[?since=SEQ]   the requests the service hosts received, those after SEQ
//   POST /shop              account, password, shop_id
//   POST /entry/add         category (web|liuyan|tousu), entry, [shop_id]
//   POST /entry/treat       category, entry, [shop_id]
//   POST /sessions/expire   [shop_id]: the shop's sessions end, and their keys
//   POST /fault             host (auth|order|console), kind, [times], [delay_ms], [size]
//   POST /fault/clear
//   POST /script            mode (refuse|answer|hang), [result]: the script host (script_host.h); result
//                           is what its script returns, "PROXY 127.0.0.1:PORT" (this simulator) unless given
//
// Without shop_id the first shop added is meant. Every answer is JSON; a
// change answers {"ok":true,"message":..} or {"ok":false,"error":..}.
//
// A browser's setup script (PAC) that names the simulator as the proxy:
// http://127.0.0.1:PORT/proxy.pac, asked for directly. The script host's is at
// http://127.0.0.1:SCRIPT_PORT/proxy.pac, its port in GET /state.

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>

#include <json/value.h>

#include "sim/faults.h"
#include "sim/script_host.h"
#include "sim/service.h"

class SimServer {
 public:
  SimServer();
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  // Binds 127.0.0.1 and port (0: a free port of the system's choice). The
  // port bound, or -1.
  int Bind(int port);
  // Serves until Stop. False when the server could not run.
  bool Run();
  // From any thread, also before Run or after it.
  void Stop();
  // Waits until deadline; false when Stop came first. Slow replies and the
  // event script wait here, so that Stop ends them at once.
  bool WaitUntil(std::chrono::steady_clock::time_point deadline);

  // A change of the control interface, as POSTed to path; the command line's
  // shops and the event script make theirs here too.
  Outcome Change(const std::string& path, const Params& params);
  int ScriptPort() const { return script_host_.Port(); }

 private:
  void Handle(const httplib::Request& request, httplib::Response& response);
  Reply AnswerControl(const std::string& method, const std::string& path, const Params& params);
  Outcome ChangeLocked(const std::string& path, const Params& params);
  Json::Value StateJson() const;
  Json::Value LogJson(std::uint64_t since) const;

  mutable std::mutex mutex_;  // guards everything below but the HTTP server
  std::condition_variable stop_changed_;
  bool stopping_ = false;
  Service service_;
  std::map<Role, FaultPlan> faults_;
  std::deque<Json::Value> log_;  // the newest entries only
  std::uint64_t logged_ = 0;     // the sequence number of the newest entry
  std::atomic<bool> in_run_{false};
  int port_ = -1;  // set by Bind, before Run
  ScriptHost script_host_;
  httplib::Server server_;
};
