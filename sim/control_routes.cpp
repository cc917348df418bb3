#include "sim/control_routes.h"

#include <json/writer.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <vector>

#include "sim/utf8_text.h"

namespace {

constexpr char kJson[] = "application/json; charset=utf-8";

constexpr char kHelp[] =
    "zarnik-sim control\n"
    "  GET  /state\n"
    "  GET  /log[?since=SEQ]\n"
    "  POST /log/clear\n"
    "  POST /shop              account password shop_id\n"
    "  POST /password          account password\n"
    "  POST /entry/add         category entry [shop_id]\n"
    "  POST /entry/treat       [category] [entry] [shop_id]\n"
    "  POST /sessions/expire   [shop_id]\n"
    "  POST /fault             host kind [times] [delay_ms] [size] [offset] [path]\n"
    "                          kinds: refuse slow error500 truncate garbage huge nul\n"
    "  POST /fault/clear       [host]\n";

ServiceReply JsonAnswer(int status, const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "  ";
  builder["emitUTF8"] = true;
  return {status, kJson, Json::writeString(builder, value) + "\n"};
}

ServiceReply OutcomeAnswer(const ControlOutcome& outcome) {
  Json::Value value(Json::objectValue);
  value["ok"] = outcome.ok();
  value[outcome.ok() ? "message" : "error"] = ToValidUtf8(outcome.message);
  return JsonAnswer(outcome.status, value);
}

ServiceReply Missing(const char* name) { return OutcomeAnswer({400, std::string(name) + " missing"}); }

std::optional<std::string> Optional(const QueryParams& params, const char* name) {
  const std::string* value = FindParam(params, name);
  if (value == nullptr) return std::nullopt;
  return *value;
}

// A since= that is not a plain number reads as 0: the whole log.
std::uint64_t SinceOf(const QueryParams& params) {
  const std::string* since = FindParam(params, "since");
  if (since == nullptr || since->empty() || since->size() > 19) return 0;
  for (const char c : *since) {
    if (c < '0' || c > '9') return 0;
  }
  return std::strtoull(since->c_str(), nullptr, 10);
}

struct Route {
  const char* method;
  const char* path;
  std::function<ServiceReply(SimState&, const QueryParams&)> answer;
};

const std::vector<Route>& Routes() {
  static const std::vector<Route> routes = {
      {"GET", "/",
       [](SimState&, const QueryParams&) {
         return ServiceReply{200, "text/plain; charset=utf-8", kHelp};
       }},
      {"GET", "/state", [](SimState& state, const QueryParams&) { return JsonAnswer(200, state.StateJson()); }},
      {"GET", "/log",
       [](SimState& state, const QueryParams& params) { return JsonAnswer(200, state.LogJson(SinceOf(params))); }},
      {"POST", "/log/clear",
       [](SimState& state, const QueryParams&) {
         state.ClearLog();
         return OutcomeAnswer({200, "log cleared"});
       }},
      {"POST", "/shop",
       [](SimState& state, const QueryParams& params) {
         const std::string* account = FindParam(params, "account");
         const std::string* password = FindParam(params, "password");
         const std::string* shop_id = FindParam(params, "shop_id");
         if (account == nullptr) return Missing("account");
         if (password == nullptr) return Missing("password");
         if (shop_id == nullptr) return Missing("shop_id");
         return OutcomeAnswer(state.AddShop(*account, *password, *shop_id));
       }},
      {"POST", "/password",
       [](SimState& state, const QueryParams& params) {
         const std::string* account = FindParam(params, "account");
         const std::string* password = FindParam(params, "password");
         if (account == nullptr) return Missing("account");
         if (password == nullptr) return Missing("password");
         return OutcomeAnswer(state.ChangePassword(*account, *password));
       }},
      {"POST", "/entry/add",
       [](SimState& state, const QueryParams& params) {
         const std::string* category = FindParam(params, "category");
         const std::string* entry = FindParam(params, "entry");
         if (category == nullptr) return Missing("category");
         if (entry == nullptr) return Missing("entry");
         return OutcomeAnswer(state.AddEntry(Optional(params, "shop_id"), *category, *entry));
       }},
      {"POST", "/entry/treat",
       [](SimState& state, const QueryParams& params) {
         return OutcomeAnswer(
             state.TreatEntries(Optional(params, "shop_id"), Optional(params, "category"), Optional(params, "entry")));
       }},
      {"POST", "/sessions/expire",
       [](SimState& state, const QueryParams& params) {
         return OutcomeAnswer(state.ExpireSessions(Optional(params, "shop_id")));
       }},
      {"POST", "/fault",
       [](SimState& state, const QueryParams& params) {
         const std::string* host = FindParam(params, "host");
         if (host == nullptr) return Missing("host");
         return OutcomeAnswer(state.ArmFault(*host, params));
       }},
      {"POST", "/fault/clear",
       [](SimState& state, const QueryParams& params) {
         return OutcomeAnswer(state.ClearFaults(Optional(params, "host")));
       }},
  };
  return routes;
}

}  // namespace

ServiceReply AnswerControlRequest(SimState& state, const std::string& method, const std::string& path,
                                  const QueryParams& params) {
  // HEAD reads like GET; the server leaves the body out.
  const std::string verb = method == "HEAD" ? "GET" : method;
  const Route* same_path = nullptr;
  for (const Route& route : Routes()) {
    if (path != route.path) continue;
    if (verb == route.method) return route.answer(state, params);
    same_path = &route;
  }
  if (same_path != nullptr) return OutcomeAnswer({405, std::string("use ") + same_path->method});
  return OutcomeAnswer({404, "no such control path"});
}
