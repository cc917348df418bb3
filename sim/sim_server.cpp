#include "sim/sim_server.h"

#include <strings.h>

#include <json/writer.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

namespace {

// Requests and form bodies are small; the HTTP library refuses anything
// larger (414 for a long target, 413 for a long body).
constexpr std::size_t kMaxRequestBodyBytes = 64 * 1024;
constexpr std::size_t kLogCapacity = 10000;
// Longer texts are cut, so that a full log stays within a few tens of MB
// whatever the requests carry.
constexpr std::size_t kMaxLoggedBytes = 2048;
// Matches every path, newlines from %0A included, so that one handler sees
// every request whatever its form: the library routes on the path, and in
// the proxy form that path is a whole URL.
constexpr char kEveryPath[] = "[\\s\\S]*";

// The hosts the program is built with, then the simulator's own.
const struct {
  Role role;
  const char* name;
  const char* host;
} kRoles[] = {{Role::Auth, "auth", ZARNIK_SIM_AUTH_HOST},
              {Role::Order, "order", ZARNIK_SIM_ORDER_HOST},
              {Role::Console, "console", ZARNIK_SIM_CONSOLE_HOST},
              {Role::Control, "control", "sim.control"}};

// The control interface's changes and the parameters each needs.
const std::map<std::string, std::vector<const char*>> kChanges = {{"/shop", {"account", "password", "shop_id"}},
                                                                  {"/entry/add", {"category", "entry"}},
                                                                  {"/entry/treat", {"category", "entry"}},
                                                                  {"/sessions/expire", {}},
                                                                  {"/fault", {"host", "kind"}},
                                                                  {"/fault/clear", {}},
                                                                  {"/script", {}}};

// Where a request is going. A program that uses the simulator as its proxy
// sends the absolute form ("GET http://host:80/path?query HTTP/1.1"); a
// direct request sends the origin form ("/path?query") with a Host header.
struct Target {
  std::string host;   // see HostOf
  std::string path;   // starts with '/', still percent-encoded
  std::string query;  // after the first '?'
  bool proxied = false;
};

// The host part of a Host header or of an authority: lower case, without
// user information, port or trailing dot.
std::string HostOf(std::string authority) {
  authority.erase(0, authority.rfind('@') + 1);
  authority.erase(std::min(authority.find(':', authority.find(']') + 1), authority.size()));
  if (!authority.empty() && authority.back() == '.') authority.pop_back();
  std::transform(authority.begin(), authority.end(), authority.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return authority;
}

// In the absolute form the URL's host wins over the Host header; any other
// form (a scheme other than http, "*", an authority alone) has no target.
std::optional<Target> ParseTarget(const std::string& raw, const std::string& host_header) {
  Target target;
  std::string rest = raw;
  if (raw.size() > 7 && strncasecmp(raw.c_str(), "http://", 7) == 0) {
    const std::size_t end = std::min(raw.find_first_of("/?#", 7), raw.size());
    target.host = HostOf(raw.substr(7, end - 7));
    target.proxied = true;
    rest = raw.substr(end);
  } else if (!raw.empty() && raw.front() == '/') {
    target.host = HostOf(host_header);
  } else {
    return std::nullopt;
  }
  rest.erase(std::min(rest.find('#'), rest.size()));
  const std::size_t question = rest.find('?');
  target.path = rest.substr(0, question);
  if (question != std::string::npos) target.query = rest.substr(question + 1);
  if (target.path.empty()) target.path = "/";
  if (target.host.empty()) return std::nullopt;
  return target;
}

Role RoleOf(const std::string& host) {
  for (const auto& each : kRoles) {
    if (host == HostOf(each.host)) return each.role;
  }
  return Role::Unknown;
}

const char* RoleName(Role role) {
  for (const auto& each : kRoles) {
    if (role == each.role) return each.name;
  }
  return "unknown";
}

// %XX (hex digits of either case) becomes its byte and '+' a blank, as the
// service's pages decode them; a '%' without two hex digits stays.
std::string Decoded(const std::string& text) {
  std::string decoded;
  const auto hex = [&](std::size_t i) { return std::isxdigit(static_cast<unsigned char>(text[i])) != 0; };
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hex(i + 1) && hex(i + 2)) {
      decoded += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      decoded += text[i] == '+' ? ' ' : text[i];
    }
  }
  return decoded;
}

// name=value pairs separated by '&'; a pair without '=' has the empty value,
// empty pairs are skipped, and of two pairs with one name the later wins.
Params ParseQuery(const std::string& query) {
  Params params;
  std::istringstream pairs(query);
  for (std::string pair; std::getline(pairs, pair, '&');) {
    if (pair.empty()) continue;
    const std::size_t equals = pair.find('=');
    params[Decoded(pair.substr(0, equals))] = equals == std::string::npos ? "" : Decoded(pair.substr(equals + 1));
  }
  return params;
}

Reply JsonAnswer(int status, const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "  ";
  builder["emitUTF8"] = true;
  return {status, "application/json; charset=utf-8", Json::writeString(builder, value) + "\n"};
}

Reply OutcomeAnswer(const Outcome& outcome) {
  Json::Value value(Json::objectValue);
  value["ok"] = outcome.ok();
  value[outcome.ok() ? "message" : "error"] = ValidUtf8(outcome.message);
  return JsonAnswer(outcome.status, value);
}

}  // namespace

SimServer::SimServer() {
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

int SimServer::Bind(int port) {
  if (port == 0) return port_ = server_.bind_to_any_port("127.0.0.1");
  return port_ = server_.bind_to_port("127.0.0.1", port) ? port : -1;
}

bool SimServer::Run() {
  const auto stopping = [this] {
    const std::lock_guard<std::mutex> lock(mutex_);
    return stopping_;
  };
  in_run_ = true;
  const bool served = !stopping() && server_.listen_after_bind();
  in_run_ = false;
  return served || stopping();
}

void SimServer::Stop() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  stop_changed_.notify_all();
  script_host_.Stop();
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

bool SimServer::WaitUntil(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !stop_changed_.wait_until(lock, deadline, [this] { return stopping_; });
}

Outcome SimServer::Change(const std::string& path, const Params& params) {
  // Not under the lock: the script host waits for its held requests to end.
  if (path == "/script") return script_host_.Change(params, "PROXY 127.0.0.1:" + std::to_string(port_));
  const std::lock_guard<std::mutex> lock(mutex_);
  return ChangeLocked(path, params);
}

Outcome SimServer::ChangeLocked(const std::string& path, const Params& params) {
  const auto needs = kChanges.find(path);
  if (needs == kChanges.end()) return {404, "no such control path"};
  for (const char* name : needs->second) {
    if (params.count(name) == 0) return {400, std::string(name) + " missing"};
  }
  const std::string shop = params.count("shop_id") != 0 ? Param(params, "shop_id") : service_.FirstShop();
  if (path == "/shop") return service_.AddShop(Param(params, "account"), Param(params, "password"), shop);
  if (path == "/entry/add") return service_.AddEntry(shop, Param(params, "category"), Param(params, "entry"));
  if (path == "/entry/treat") return service_.TreatEntry(shop, Param(params, "category"), Param(params, "entry"));
  if (path == "/sessions/expire") return service_.ExpireSessions(shop);
  if (path == "/fault/clear") {
    faults_.clear();
    return {200, "faults cleared"};
  }
  // One of the three service hosts: the last role is the control host.
  const auto host = std::find_if(std::begin(kRoles), std::end(kRoles) - 1,
                                 [&](const auto& each) { return Param(params, "host") == each.name; });
  if (host == std::end(kRoles) - 1) return {400, "host must be auth, order or console"};
  auto plan = ParseFaultPlan(params);
  if (const auto* error = std::get_if<std::string>(&plan)) return {400, *error};
  faults_[host->role] = std::get<FaultPlan>(plan);
  return {200, "fault armed"};
}

Json::Value SimServer::StateJson() const {
  Json::Value state = service_.StateJson();
  for (const auto& each : kRoles) state["hosts"][each.name] = each.host;
  state["script_host"] = script_host_.StateJson();
  state["faults"] = Json::Value(Json::arrayValue);
  for (const auto& [role, plan] : faults_) {
    Json::Value fault(Json::objectValue);
    fault["host"] = RoleName(role);
    fault["kind"] = FaultName(plan.kind);
    fault["times"] = Json::Int64(plan.times);
    state["faults"].append(fault);
  }
  return state;
}

Json::Value SimServer::LogJson(std::uint64_t since) const {
  Json::Value log(Json::objectValue);
  log["dropped"] = Json::UInt64(logged_ - log_.size());
  log["entries"] = Json::Value(Json::arrayValue);
  for (const Json::Value& entry : log_) {
    if (entry["seq"].asUInt64() > since) log["entries"].append(entry);
  }
  return log;
}

Reply SimServer::AnswerControl(const std::string& method, const std::string& path, const Params& params) {
  const bool read = path == "/state" || path == "/log";
  if (read && method != "POST") {
    // since= reads as a number: 0, the whole log, when it is none.
    const std::uint64_t since = std::strtoull(Param(params, "since").c_str(), nullptr, 10);
    const std::lock_guard<std::mutex> lock(mutex_);
    return JsonAnswer(200, path == "/state" ? StateJson() : LogJson(since));
  }
  if (read || (method != "POST" && kChanges.count(path) != 0)) {
    return OutcomeAnswer({405, read ? "use GET" : "use POST"});
  }
  return OutcomeAnswer(method == "POST" ? Change(path, params) : Outcome{404, "no such control path"});
}

void SimServer::Handle(const httplib::Request& request, httplib::Response& response) {
  const auto arrival = std::chrono::system_clock::now().time_since_epoch();
  const std::optional<Target> target = ParseTarget(request.target, request.get_header_value("Host"));
  if (!target) return WriteReply({400, "text/plain; charset=utf-8", "unsupported request target\n"}, nullptr, response);
  if (!target->proxied && target->host == "127.0.0.1" && target->path == "/proxy.pac") {
    return WriteReply(ProxyScript("PROXY 127.0.0.1:" + std::to_string(port_)), nullptr, response);
  }
  const Role role = RoleOf(target->host);
  if (role == Role::Control) {
    // The form's fields win over the query's.
    const bool form = request.get_header_value("Content-Type").rfind("application/x-www-form-urlencoded", 0) == 0;
    const Params params = ParseQuery(form ? target->query + "&" + request.body : target->query);
    return WriteReply(AnswerControl(request.method, target->path, params), nullptr, response);
  }

  std::optional<FaultPlan> fault;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto armed = faults_.find(role);
    if (armed != faults_.end()) {
      fault = armed->second;
      if (armed->second.times > 0 && --armed->second.times == 0) faults_.erase(armed);
    }
    const auto logged = [](const std::string& text) { return ValidUtf8(text.substr(0, kMaxLoggedBytes)); };
    Json::Value entry(Json::objectValue);
    entry["seq"] = Json::UInt64(++logged_);
    entry["time_ms"] = Json::Int64(std::chrono::duration_cast<std::chrono::milliseconds>(arrival).count());
    entry["method"] = logged(request.method);
    entry["host"] = logged(target->host);
    entry["role"] = RoleName(role);
    // The origin form, also of a proxied request.
    entry["target"] = logged(target->query.empty() ? target->path : target->path + "?" + target->query);
    // And as the service reads it: the path, and the query's fields decoded.
    entry["path"] = logged(target->path);
    entry["params"] = Json::Value(Json::objectValue);
    for (const auto& [name, value] : ParseQuery(target->query)) entry["params"][logged(name)] = logged(value);
    entry["proxied"] = target->proxied;
    entry["user_agent"] = logged(request.get_header_value("User-Agent"));
    entry["fault"] = fault ? FaultName(fault->kind) : "";
    log_.push_back(std::move(entry));
    if (log_.size() > kLogCapacity) log_.pop_front();
  }

  if (fault && fault->kind == FaultKind::Refuse) {
    if (ResetConnection(request)) return;
    // Without the socket the nearest thing is a reply that is no reply.
    return WriteReply({500, "text/plain", ""}, nullptr, response);
  }
  const auto delay = std::chrono::milliseconds(fault ? fault->delayMs : 0);
  if (fault && fault->kind == FaultKind::Slow && !WaitUntil(std::chrono::steady_clock::now() + delay)) {
    return WriteReply({503, "text/plain", ""}, nullptr, response);
  }
  Reply normal;
  // These faults replace the reply: the request changes nothing, as on a
  // host that fails before it gets that far.
  if (!fault || (fault->kind != FaultKind::ServerError && fault->kind != FaultKind::Garbage)) {
    const std::lock_guard<std::mutex> lock(mutex_);
    normal = service_.Answer(role, target->path, ParseQuery(target->query));
  }
  WriteReply(normal, fault ? &*fault : nullptr, response);
}
