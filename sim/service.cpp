#include "sim/service.h"

#include <json/writer.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr char kJson[] = "application/json; charset=utf-8";
constexpr char kHtml[] = "text/html; charset=utf-8";
constexpr char kTitle[] = "Zarnik 网点管理平台";
constexpr const char* kCategories[] = {"web", "liuyan", "tousu"};
constexpr const char* kCategoryLabels[] = {"网上订单", "客户留言", "客户投诉"};
constexpr std::size_t kMaxAccounts = 1000, kMaxTokens = 10000, kMaxWaiting = 10000;
constexpr std::size_t kMaxNameBytes = 256, kMaxEntryBytes = 1024;

// Non-ASCII text travels as \u escapes, as the service's own JSON encoder
// writes it.
std::string Compact(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  return Json::writeString(builder, value);
}

Reply Wrapped(const Json::Value& body) {
  Json::Value root(Json::objectValue);
  root["body"] = body;
  return {200, kJson, Compact(root)};
}

std::string EscapeHtml(const std::string& text) {
  static const std::map<char, std::string> kReferences = {
      {'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}, {'"', "&quot;"}, {'\'', "&#39;"}};
  std::string escaped;
  for (const char c : text) {
    const auto found = kReferences.find(c);
    escaped += found == kReferences.end() ? std::string(1, c) : found->second;
  }
  return escaped;
}

Reply Page(int status, const std::string& title, const std::string& content) {
  return {status, kHtml,
          "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>" + title +
              "</title></head>\n<body>\n" + content + "</body></html>\n"};
}

Reply NotFound() {
  return Page(404, "404 Not Found", "<h1>Not Found</h1>\n<p>The requested URL was not found on this server.</p>\n");
}

int CategoryIndex(const std::string& name) {
  const auto found = std::find(std::begin(kCategories), std::end(kCategories), name);
  return found == std::end(kCategories) ? -1 : static_cast<int>(found - std::begin(kCategories));
}

bool IsName(const std::string& text) {
  return !text.empty() && text.size() <= kMaxNameBytes && ValidUtf8(text) == text;
}

const std::string* ShopOf(const std::deque<std::pair<std::string, std::string>>& tokens, const std::string& token) {
  const auto found = std::find_if(tokens.begin(), tokens.end(), [&](const auto& each) { return each.first == token; });
  return found == tokens.end() ? nullptr : &found->second;
}

}  // namespace

std::string Param(const Params& params, const std::string& name) {
  const auto found = params.find(name);
  return found == params.end() ? std::string() : found->second;
}

std::string ValidUtf8(const std::string& text) {
  std::string valid;
  for (std::size_t at = 0; at < text.size();) {
    const auto byte = [&](std::size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
    const unsigned lead = byte(at);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xF4 ? 2 + (lead >= 0xE0) + (lead >= 0xF0) : 0;
    // The second byte's range rules out overlong forms, surrogates and
    // values above U+10FFFF.
    const unsigned low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    bool well_formed = length != 0;
    for (std::size_t i = 1; well_formed && i < length; ++i) {
      well_formed = byte(at + i) >= (i == 1 ? low : 0x80) && byte(at + i) <= (i == 1 ? high : 0xBF);
    }
    valid += well_formed ? text.substr(at, length) : "\xEF\xBF\xBD";
    at += well_formed ? length : 1;
  }
  return valid;
}

Service::Service() {
  std::random_device entropy;
  std::seed_seq seed{entropy(), entropy(), entropy(), entropy(), entropy(), entropy(), entropy(), entropy()};
  random_.seed(seed);
}

// Session ids and console keys are 32 hex digits from a generator seeded
// from the system's entropy: no client can guess them, and no two runs hand
// out the same ones.
std::string Service::Remember(Tokens& tokens, const std::string& shop_id) {
  char token[33];
  std::snprintf(token, sizeof token, "%016llx%016llx", static_cast<unsigned long long>(random_()),
                static_cast<unsigned long long>(random_()));
  tokens.emplace_back(token, shop_id);
  if (tokens.size() > kMaxTokens) tokens.pop_front();
  return token;
}

Reply Service::Answer(Role role, const std::string& path, const Params& params) {
  const auto param = [&](const char* name) { return Param(params, name); };
  if (role == Role::Auth && path == "/shop_login.php") {
    const auto account = std::find_if(accounts_.begin(), accounts_.end(),
                                      [&](const Account& each) { return each.name == param("name"); });
    Json::Value body(Json::objectValue);
    body["login_status"] = "fail";
    // Earlier sessions stay open: the settings dialog's test log-in must
    // not end the worker's session.
    if (account != accounts_.end() && account->password == param("pwd")) {
      body["login_status"] = "success";
      body["session_id"] = Remember(sessions_, account->shop_id);
      body["shop_id"] = account->shop_id;
    }
    return Wrapped(body);
  }
  if (role == Role::Auth && path == "/shop_key.php") {
    const std::string* shop_id = ShopOf(sessions_, param("session_id"));
    return {200, kJson, shop_id ? Compact(Remember(keys_, *shop_id)) : "\"bad request!\""};
  }
  if (role == Role::Order && path == "/untreatedSheet.php") {
    const std::string* shop_id = ShopOf(sessions_, param("session_id"));
    const Waiting* waiting = shop_id && *shop_id == param("shop_id") ? &waiting_[*shop_id] : nullptr;
    Json::Value body(Json::objectValue);
    body["deal_status"] = waiting ? "treated" : "No authority";
    if (waiting && std::any_of(waiting->begin(), waiting->end(), [](const auto& list) { return !list.empty(); })) {
      body["deal_status"] = "untreated";
      for (std::size_t i = 0; i < waiting->size(); ++i) {
        body[kCategories[i]] = Json::Value(Json::arrayValue);
        for (const std::string& entry : (*waiting)[i]) body[kCategories[i]].append(entry);
      }
    }
    return Wrapped(body);
  }
  if (role == Role::Console && path == "/") {
    return Page(200, kTitle, std::string("<h1>") + kTitle + "</h1>\n<p>请登录后查看本网点的业务请求。</p>\n");
  }
  if (role == Role::Console && path == "/frame/next" && param("go") == "5") return ConsolePage(param("key"));
  return NotFound();
}

// The console signed in with a key, which is spent by this: the shop's
// waiting requests, one list per category.
Reply Service::ConsolePage(const std::string& key) {
  const auto found = std::find_if(keys_.begin(), keys_.end(), [&](const auto& each) { return each.first == key; });
  if (found == keys_.end()) return Page(403, kTitle, "<h1>登录已失效</h1>\n<p>链接无效或已使用，请重新登录。</p>\n");
  const std::string shop_id = found->second;
  keys_.erase(found);
  const Waiting& waiting = waiting_[shop_id];
  std::string content = "<h1>待处理业务请求</h1>\n<p>网点：<span id=\"shop\">" + EscapeHtml(shop_id) + "</span></p>\n";
  for (std::size_t i = 0; i < 3; ++i) {
    const std::vector<std::string>& list = waiting[i];
    content += "<h2 id=\"" + std::string(kCategories[i]) + "\">" + kCategoryLabels[i] + "（" +
               std::to_string(list.size()) + "）</h2>\n";
    content += list.empty() ? "<p>无</p>\n" : "<ul>\n";
    for (const std::string& entry : list) content += "<li>" + EscapeHtml(entry) + "</li>\n";
    if (!list.empty()) content += "</ul>\n";
  }
  return Page(200, std::string(kTitle) + " - 待处理业务请求", content);
}

Outcome Service::AddShop(const std::string& account, const std::string& password, const std::string& shop_id) {
  if (!IsName(account) || !IsName(password) || !IsName(shop_id)) return {400, "empty, too long or not UTF-8"};
  for (const Account& each : accounts_) {
    if (each.name == account) return {409, "account exists"};
  }
  if (accounts_.size() >= kMaxAccounts) return {507, "limit reached"};
  accounts_.push_back({account, password, shop_id});
  waiting_[shop_id];
  return {200, "shop added"};
}

std::vector<std::string>* Service::WaitingList(const std::string& shop_id, const std::string& category,
                                               Outcome& refusal) {
  const int index = CategoryIndex(category);
  const auto waiting = waiting_.find(shop_id);
  if (index >= 0 && waiting != waiting_.end()) return &waiting->second[index];
  refusal = index < 0 ? Outcome{400, "category must be web, liuyan or tousu"} : Outcome{404, "no such shop"};
  return nullptr;
}

Outcome Service::AddEntry(const std::string& shop_id, const std::string& category, const std::string& entry) {
  Outcome refusal;
  std::vector<std::string>* list = WaitingList(shop_id, category, refusal);
  if (!list) return refusal;
  if (entry.size() > kMaxEntryBytes || ValidUtf8(entry) != entry) return {400, "too long or not UTF-8"};
  if (list->size() >= kMaxWaiting) return {507, "limit reached"};
  list->push_back(entry);
  return {200, "entry added"};
}

Outcome Service::TreatEntry(const std::string& shop_id, const std::string& category, const std::string& entry) {
  Outcome refusal;
  std::vector<std::string>* list = WaitingList(shop_id, category, refusal);
  if (!list) return refusal;
  const std::size_t before = list->size();
  list->erase(std::remove(list->begin(), list->end(), entry), list->end());
  return {200, "treated " + std::to_string(before - list->size())};
}

Outcome Service::ExpireSessions(const std::string& shop_id) {
  if (waiting_.count(shop_id) == 0) return {404, "no such shop"};
  const auto of_shop = [&](const auto& token) { return token.second == shop_id; };
  keys_.erase(std::remove_if(keys_.begin(), keys_.end(), of_shop), keys_.end());
  const std::size_t before = sessions_.size();
  sessions_.erase(std::remove_if(sessions_.begin(), sessions_.end(), of_shop), sessions_.end());
  return {200, "expired " + std::to_string(before - sessions_.size())};
}

Json::Value Service::StateJson() const {
  Json::Value state(Json::objectValue);
  state["shops"] = Json::Value(Json::arrayValue);
  for (const Account& account : accounts_) {
    Json::Value shop(Json::objectValue);
    shop["account"] = account.name;
    shop["password"] = account.password;
    shop["shop_id"] = account.shop_id;
    for (std::size_t i = 0; i < 3; ++i) {
      shop["pending"][kCategories[i]] = Json::Value(Json::arrayValue);
      for (const std::string& entry : waiting_.at(account.shop_id)[i]) shop["pending"][kCategories[i]].append(entry);
    }
    state["shops"].append(shop);
  }
  state["sessions"] = Json::UInt64(sessions_.size());
  state["keys"] = Json::UInt64(keys_.size());
  return state;
}
