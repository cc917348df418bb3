#include "sim/service_replies.h"

#include <json/value.h>
#include <json/writer.h>

namespace {

std::string Compact(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  return Json::writeString(builder, value);
}

Json::Value Wrapped(const Json::Value& body) {
  Json::Value root(Json::objectValue);
  root["body"] = body;
  return root;
}

}  // namespace

std::string LoginSuccessReply(const LoginGrant& grant) {
  Json::Value body(Json::objectValue);
  body["login_status"] = "success";
  body["session_id"] = grant.session_id;
  body["shop_id"] = grant.shop_id;
  return Compact(Wrapped(body));
}

std::string LoginFailReply() {
  Json::Value body(Json::objectValue);
  body["login_status"] = "fail";
  return Compact(Wrapped(body));
}

std::string KeyReply(const std::string& key) { return Compact(Json::Value(key)); }

std::string KeyRefusedReply() { return "\"bad request!\""; }

std::string UntreatedReply(const UntreatedAnswer& answer) {
  Json::Value body(Json::objectValue);
  switch (answer.status) {
    case UntreatedStatus::NoAuthority:
      body["deal_status"] = "No authority";
      break;
    case UntreatedStatus::Treated:
      body["deal_status"] = "treated";
      break;
    case UntreatedStatus::Untreated:
      body["deal_status"] = "untreated";
      for (const Category category : kCategories) {
        Json::Value list(Json::arrayValue);
        for (const std::string& entry : answer.entries[static_cast<std::size_t>(category)]) list.append(entry);
        body[CategoryName(category)] = list;
      }
      break;
  }
  return Compact(Wrapped(body));
}
