#include "sim/routes.h"

#include "sim/console_pages.h"
#include "sim/service_replies.h"

namespace {

constexpr char kJson[] = "application/json; charset=utf-8";
constexpr char kHtml[] = "text/html; charset=utf-8";

// A missing parameter reads as the empty text, as the service's pages read it.
std::string Param(const ServiceRequest& request, const char* name) {
  const std::string* value = FindParam(request.params, name);
  return value == nullptr ? std::string() : *value;
}

ServiceReply JsonReply(std::string body) { return {200, kJson, std::move(body)}; }

ServiceReply NotFound() { return {404, kHtml, NotFoundPage()}; }

ServiceReply AnswerAuth(ServiceModel& model, const ServiceRequest& request) {
  if (request.path == "/shop_login.php") {
    const auto grant = model.LogIn(Param(request, "name"), Param(request, "pwd"));
    return JsonReply(grant ? LoginSuccessReply(*grant) : LoginFailReply());
  }
  if (request.path == "/shop_key.php") {
    const auto key = model.IssueKey(Param(request, "session_id"));
    return JsonReply(key ? KeyReply(*key) : KeyRefusedReply());
  }
  return NotFound();
}

ServiceReply AnswerOrder(const ServiceModel& model, const ServiceRequest& request) {
  if (request.path == "/untreatedSheet.php") {
    return JsonReply(UntreatedReply(model.Untreated(Param(request, "shop_id"), Param(request, "session_id"))));
  }
  return NotFound();
}

ServiceReply AnswerConsole(ServiceModel& model, const ServiceRequest& request) {
  if (request.path == "/") return {200, kHtml, ConsoleStartPage()};
  if (request.path == "/frame/next" && Param(request, "go") == "5") {
    const auto shop_id = model.RedeemKey(Param(request, "key"));
    if (!shop_id) return {403, kHtml, ConsoleKeyRefusedPage()};
    return {200, kHtml, ConsoleRequestsPage(*shop_id, model.Pending(*shop_id))};
  }
  return NotFound();
}

}  // namespace

ServiceReply AnswerServiceRequest(ServiceModel& model, const ServiceRequest& request) {
  switch (request.role) {
    case HostRole::Auth:
      return AnswerAuth(model, request);
    case HostRole::Order:
      return AnswerOrder(model, request);
    case HostRole::Console:
      return AnswerConsole(model, request);
    case HostRole::Control:
    case HostRole::Unknown:
      break;
  }
  return NotFound();
}
