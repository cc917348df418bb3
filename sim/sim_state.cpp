#include "sim/sim_state.h"

#include <utility>

#include "sim/utf8_text.h"

namespace {

int HttpStatusOf(ModelStatus status) {
  switch (status) {
    case ModelStatus::Ok:
      return 200;
    case ModelStatus::InvalidText:
      return 400;
    case ModelStatus::AccountExists:
      return 409;
    case ModelStatus::UnknownAccount:
    case ModelStatus::UnknownShop:
      return 404;
    case ModelStatus::Full:
      return 507;
  }
  return 500;
}

ControlOutcome FromModel(ModelStatus status, const std::string& done) {
  return {HttpStatusOf(status), status == ModelStatus::Ok ? done : ModelStatusText(status)};
}

ControlOutcome NoSuchShop() { return {404, "no such shop"}; }

Json::Value FaultJson(HostRole role, const FaultPlan& plan) {
  Json::Value fault(Json::objectValue);
  fault["host"] = RoleName(role);
  fault["kind"] = FaultKindName(plan.kind);
  fault["times"] = plan.times;
  fault["path"] = ToValidUtf8(plan.path);
  if (plan.kind == FaultKind::Slow) fault["delay_ms"] = Json::Int64(plan.delay.count());
  if (plan.kind == FaultKind::Huge) fault["size"] = Json::UInt64(plan.hugeBytes);
  if (plan.kind == FaultKind::ZeroByte && plan.zeroAt) fault["offset"] = Json::UInt64(*plan.zeroAt);
  return fault;
}

}  // namespace

SimState::SimState(SimHosts hosts, TokenSource tokens, std::size_t log_capacity)
    : hosts_(std::move(hosts)), model_(std::move(tokens)), log_(log_capacity) {}

ServiceReply SimState::Answer(const ServiceRequest& request) {
  const std::lock_guard<std::mutex> lock(mutex_);
  return AnswerServiceRequest(model_, request);
}

std::optional<FaultPlan> SimState::TakeFault(HostRole role, const std::string& path) {
  const std::lock_guard<std::mutex> lock(mutex_);
  return faults_.Take(role, path);
}

void SimState::Log(LoggedRequest entry) {
  const std::lock_guard<std::mutex> lock(mutex_);
  log_.Add(std::move(entry));
}

std::optional<std::string> SimState::ShopMeant(const std::optional<std::string>& shop_id) const {
  if (shop_id) {
    if (model_.HasShop(*shop_id)) return shop_id;
    return std::nullopt;
  }
  if (model_.shops().empty()) return std::nullopt;
  return model_.shops().front().shop_id;
}

ControlOutcome SimState::AddShop(const std::string& account, const std::string& password, const std::string& shop_id) {
  const std::lock_guard<std::mutex> lock(mutex_);
  return FromModel(model_.AddShop(account, password, shop_id), "shop added");
}

ControlOutcome SimState::ChangePassword(const std::string& account, const std::string& password) {
  const std::lock_guard<std::mutex> lock(mutex_);
  return FromModel(model_.ChangePassword(account, password), "password changed");
}

ControlOutcome SimState::AddEntry(const std::optional<std::string>& shop_id, const std::string& category,
                                  const std::string& entry) {
  const auto parsed = CategoryNamed(category);
  if (!parsed) return {400, "category must be web, liuyan or tousu"};
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto shop = ShopMeant(shop_id);
  if (!shop) return NoSuchShop();
  return FromModel(model_.AddEntry(*shop, *parsed, entry), "entry added");
}

ControlOutcome SimState::TreatEntries(const std::optional<std::string>& shop_id,
                                      const std::optional<std::string>& category,
                                      const std::optional<std::string>& entry) {
  std::optional<Category> parsed;
  if (category) {
    parsed = CategoryNamed(*category);
    if (!parsed) return {400, "category must be web, liuyan or tousu"};
  }
  const std::lock_guard<std::mutex> lock(mutex_);
  const auto shop = ShopMeant(shop_id);
  if (!shop) return NoSuchShop();
  return {200, "treated " + std::to_string(model_.TreatEntries(*shop, parsed, entry))};
}

ControlOutcome SimState::ExpireSessions(const std::optional<std::string>& shop_id) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (shop_id && !model_.HasShop(*shop_id)) return NoSuchShop();
  return {200, "expired " + std::to_string(model_.ExpireSessions(shop_id))};
}

ControlOutcome SimState::ArmFault(const std::string& host, const QueryParams& options) {
  const auto role = ServiceRoleNamed(hosts_, host);
  if (!role) return {400, "host must be auth, order, console or one of their names"};
  auto plan = ParseFaultPlan(options);
  if (const auto* error = std::get_if<std::string>(&plan)) return {400, *error};
  const std::lock_guard<std::mutex> lock(mutex_);
  faults_.Arm(*role, std::get<FaultPlan>(std::move(plan)));
  return {200, "fault armed"};
}

ControlOutcome SimState::ClearFaults(const std::optional<std::string>& host) {
  std::optional<HostRole> role;
  if (host) {
    role = ServiceRoleNamed(hosts_, *host);
    if (!role) return {400, "host must be auth, order, console or one of their names"};
  }
  const std::lock_guard<std::mutex> lock(mutex_);
  faults_.Clear(role);
  return {200, "faults cleared"};
}

void SimState::ClearLog() {
  const std::lock_guard<std::mutex> lock(mutex_);
  log_.Clear();
}

Json::Value SimState::StateJson() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  Json::Value state(Json::objectValue);
  Json::Value hosts(Json::objectValue);
  hosts["auth"] = hosts_.auth;
  hosts["order"] = hosts_.order;
  hosts["console"] = hosts_.console;
  hosts["control"] = hosts_.control;
  state["hosts"] = hosts;

  Json::Value shops(Json::arrayValue);
  for (const ShopRecord& record : model_.shops()) {
    Json::Value shop(Json::objectValue);
    shop["account"] = record.account;
    shop["password"] = record.password;
    shop["shop_id"] = record.shop_id;
    Json::Value pending(Json::objectValue);
    const PendingEntries entries = model_.Pending(record.shop_id);
    for (const Category category : kCategories) {
      Json::Value list(Json::arrayValue);
      for (const std::string& entry : entries[static_cast<std::size_t>(category)]) list.append(entry);
      pending[CategoryName(category)] = list;
    }
    shop["pending"] = pending;
    shops.append(shop);
  }
  state["shops"] = shops;
  state["sessions"] = Json::UInt64(model_.liveSessions());
  state["keys"] = Json::UInt64(model_.liveKeys());

  Json::Value faults(Json::arrayValue);
  for (const auto& [role, plan] : faults_.armed()) faults.append(FaultJson(role, plan));
  state["faults"] = faults;
  return state;
}

Json::Value SimState::LogJson(std::uint64_t since) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return RequestLogJson(log_.Since(since), log_.dropped());
}
