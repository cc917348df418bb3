#pragma once
// The pages of the three service hosts, answered from the model.

#include <string>

#include "sim/host_roles.h"
#include "sim/query_text.h"
#include "sim/service_model.h"

struct ServiceRequest {
  HostRole role = HostRole::Unknown;
  std::string path;    // as sent, still percent-encoded
  QueryParams params;  // decoded
};

struct ServiceReply {
  int status = 200;
  std::string contentType;
  std::string body;
};

// Answers a request for the auth, order or console host; any other role,
// and any path a host does not have, gets the not-found page.
ServiceReply AnswerServiceRequest(ServiceModel& model, const ServiceRequest& request);
