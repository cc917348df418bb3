#include "sim/script_host.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "sim/faults.h"

namespace {

// A port that nothing listened on a moment ago. The script host keeps it
// unbound while it refuses, so another program may take it meanwhile; on a
// test machine's loopback that chance is small enough to accept.
int FreeLoopbackPort() {
  const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
  if (socket < 0) return -1;
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof(address);
  const bool bound = ::bind(socket, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                     ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size) == 0;
  ::close(socket);
  return bound ? ntohs(address.sin_port) : -1;
}

}  // namespace

Reply ProxyScript(const std::string& result) {
  std::string literal;
  for (const char c : result) {
    if (c == '"' || c == '\\') literal += '\\';
    if (static_cast<unsigned char>(c) >= 0x20) literal += c;  // a line break would end the literal
  }
  return {200, "application/x-ns-proxy-autoconfig",
          "function FindProxyForURL(url, host) { return \"" + literal + "\"; }\n"};
}

ScriptHost::ScriptHost() : port_(FreeLoopbackPort()) {}

ScriptHost::~ScriptHost() { Stop(); }

Outcome ScriptHost::Change(const Params& params, const std::string& defaultResult) {
  const std::string mode = Param(params, "mode");
  if (mode != "refuse" && mode != "answer" && mode != "hang") return {400, "mode must be refuse, answer or hang"};
  const std::lock_guard<std::mutex> changing(changing_);
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_) return {503, "the simulator is stopping"};
    mode_ = mode;
    result_ = params.count("result") != 0 ? Param(params, "result") : defaultResult;
  }
  // Held requests go on: answered (answer) or ended (refuse).
  mode_changed_.notify_all();
  if (mode == "refuse") {
    StopListening();
  } else if (!server_ && !Listen()) {
    const std::lock_guard<std::mutex> lock(mutex_);
    mode_ = "refuse";
    return {500, "cannot listen on 127.0.0.1 port " + std::to_string(port_)};
  }
  return {200, "script host: " + mode};
}

Json::Value ScriptHost::StateJson() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  Json::Value state(Json::objectValue);
  state["port"] = port_;
  state["mode"] = mode_;
  state["result"] = ValidUtf8(result_);
  state["requests"] = Json::UInt64(requests_);
  return state;
}

void ScriptHost::Stop() {
  const std::lock_guard<std::mutex> changing(changing_);
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
  }
  mode_changed_.notify_all();
  StopListening();
}

void ScriptHost::Handle(const httplib::Request& request, httplib::Response& response) {
  std::unique_lock<std::mutex> lock(mutex_);
  ++requests_;
  mode_changed_.wait(lock, [this] { return mode_ != "hang" || stopped_; });
  if (stopped_ || mode_ != "answer") return WriteReply({503, "text/plain", ""}, nullptr, response);
  WriteReply(request.path == "/proxy.pac" ? ProxyScript(result_) : Reply{404, "text/plain", "no such script\n"},
             nullptr, response);
}

bool ScriptHost::Listen() {
  auto server = std::make_unique<httplib::Server>();
  server->Get("[\\s\\S]*",
              [this](const httplib::Request& request, httplib::Response& response) { Handle(request, response); });
  // SO_REUSEPORT, which the library sets, lets the port be bound again while
  // connections of the last listening are still closing.
  if (port_ < 0 || !server->bind_to_port("127.0.0.1", port_)) return false;
  server_ = std::move(server);
  serving_ = std::thread([server = server_.get()] { server->listen_after_bind(); });
  // The library's stop does nothing until its accept loop has begun.
  while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return true;
}

void ScriptHost::StopListening() {
  if (!server_) return;
  // Each request held has been woken; the library ends its threads here.
  server_->stop();
  serving_.join();
  server_.reset();
}
