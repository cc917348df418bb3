#pragma once
// Everything the simulator holds, behind one lock: the service model, the
// armed faults and the request log. The control interface and the event
// script change it through the same operations, so a script line and a
// control request that say the same thing do the same thing.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include <json/value.h>

#include "sim/faults.h"
#include "sim/host_roles.h"
#include "sim/request_log.h"
#include "sim/routes.h"
#include "sim/service_model.h"

constexpr std::size_t kRequestLogCapacity = 10000;

// The result of a control operation: an HTTP status (200 when it worked)
// and a few words saying what happened or what was wrong.
struct ControlOutcome {
  int status = 200;
  std::string message;
  bool ok() const { return status == 200; }
};

class SimState {
 public:
  SimState(SimHosts hosts, TokenSource tokens, std::size_t log_capacity = kRequestLogCapacity);

  const SimHosts& hosts() const { return hosts_; }

  ServiceReply Answer(const ServiceRequest& request);
  std::optional<FaultPlan> TakeFault(HostRole role, const std::string& path);
  void Log(LoggedRequest entry);

  // Where a shop id is optional, the first shop added is meant.
  ControlOutcome AddShop(const std::string& account, const std::string& password, const std::string& shop_id);
  ControlOutcome ChangePassword(const std::string& account, const std::string& password);
  ControlOutcome AddEntry(const std::optional<std::string>& shop_id, const std::string& category,
                          const std::string& entry);
  // Every category when category is nullopt, every entry when entry is.
  ControlOutcome TreatEntries(const std::optional<std::string>& shop_id, const std::optional<std::string>& category,
                              const std::optional<std::string>& entry);
  // Every shop's sessions when shop_id is nullopt.
  ControlOutcome ExpireSessions(const std::optional<std::string>& shop_id);
  // host: a role name or a host name of the auth, order or console host.
  ControlOutcome ArmFault(const std::string& host, const QueryParams& options);
  ControlOutcome ClearFaults(const std::optional<std::string>& host);
  void ClearLog();

  Json::Value StateJson() const;
  Json::Value LogJson(std::uint64_t since) const;

 private:
  // The shop meant by an optional shop id, or nullopt when there is none.
  std::optional<std::string> ShopMeant(const std::optional<std::string>& shop_id) const;

  const SimHosts hosts_;
  mutable std::mutex mutex_;
  ServiceModel model_;
  FaultTable faults_;
  RequestLog log_;
};
