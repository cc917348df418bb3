#include "sim/sim_server.h"

#include <chrono>
#include <csignal>
#include <thread>

#include "sim/connection_reset.h"
#include "sim/control_routes.h"
#include "sim/fault_responses.h"
#include "sim/query_text.h"
#include "sim/request_target.h"

namespace {

// Matches every path, newlines from %0A included, so that one handler sees
// every request whatever its form: the library routes on the path, and in
// the proxy form that path is a whole URL.
constexpr char kEveryPath[] = "[\\s\\S]*";

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool IsFormBody(const httplib::Request& request) {
  return request.get_header_value("Content-Type").rfind("application/x-www-form-urlencoded", 0) == 0;
}

std::string OriginForm(const RequestTarget& target) {
  return target.query.empty() ? target.path : target.path + "?" + target.query;
}

}  // namespace

SimServer::SimServer(SimState& state) : state_(state) {
  // A client that goes away mid-reply must not end the process: the library
  // writes with plain send().
  std::signal(SIGPIPE, SIG_IGN);
  server_.set_payload_max_length(kMaxRequestBodyBytes);
  const auto handle = [this](const httplib::Request& request, httplib::Response& response) {
    Handle(request, response);
  };
  server_.Get(kEveryPath, handle);
  server_.Post(kEveryPath, handle);
  // The library refuses a POST that announces no body with 400, but
  // "curl -X POST URL" sends just that to the control host.
  server_.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
    if (request.method != "POST" || request.has_header("Content-Length") || request.has_header("Transfer-Encoding")) {
      return httplib::Server::HandlerResponse::Unhandled;
    }
    Handle(request, response);
    return httplib::Server::HandlerResponse::Handled;
  });
}

int SimServer::Bind(const std::string& address, int port) {
  if (port == 0) return server_.bind_to_any_port(address);
  return server_.bind_to_port(address, port) ? port : -1;
}

bool SimServer::Run() {
  in_run_ = true;
  const bool served = !stopping_.stopped() && server_.listen_after_bind();
  in_run_ = false;
  return served || stopping_.stopped();
}

void SimServer::Stop() {
  stopping_.Stop();
  // The library's stop does nothing until its accept loop has begun, so a
  // Stop that races with the start of Run waits for that loop.
  while (in_run_) {
    if (server_.is_running()) {
      server_.stop();
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void SimServer::Handle(const httplib::Request& request, httplib::Response& response) {
  const std::int64_t arrival = NowMs();
  const auto target = ParseRequestTarget(request.target, request.get_header_value("Host"));
  if (!target) {
    WriteReply({400, "text/plain; charset=utf-8", "unsupported request target\n"}, response);
    return;
  }
  const HostRole role = RoleOfHost(state_.hosts(), target->host);
  QueryParams params = ParseQuery(target->query);

  if (role == HostRole::Control) {
    if (IsFormBody(request)) {
      for (auto& [name, value] : ParseQuery(request.body)) params[name] = value;
    }
    WriteReply(AnswerControlRequest(state_, request.method, target->path, params), response);
    return;
  }

  const std::optional<FaultPlan> fault = state_.TakeFault(role, target->path);
  LoggedRequest entry;
  entry.arrivalMs = arrival;
  entry.method = request.method;
  entry.host = target->host;
  entry.role = RoleName(role);
  entry.target = OriginForm(*target);
  entry.proxied = target->proxied;
  entry.userAgent = request.get_header_value("User-Agent");
  entry.fault = fault ? FaultKindName(fault->kind) : "";
  state_.Log(std::move(entry));

  if (fault && fault->kind == FaultKind::Refuse) {
    if (ResetConnection(request.local_port, request.remote_addr, request.remote_port)) return;
    // Without the socket the nearest thing is a reply that is no reply.
    WriteReply({500, "text/plain", ""}, response);
    return;
  }
  if (fault && fault->kind == FaultKind::Slow && !stopping_.WaitFor(fault->delay)) {
    WriteReply({503, "text/plain", ""}, response);
    return;
  }
  const bool replaces_reply = fault && (fault->kind == FaultKind::ServerError || fault->kind == FaultKind::Garbage);
  const ServiceReply normal =
      replaces_reply ? ServiceReply{} : state_.Answer(ServiceRequest{role, target->path, std::move(params)});
  if (fault) {
    WriteFaultyReply(*fault, normal, response);
  } else {
    WriteReply(normal, response);
  }
}
