#include "sim/service_model.h"

#include <algorithm>
#include <utility>

#include "sim/utf8_text.h"

namespace {

// A token source that keeps returning identifiers already in use is broken;
// the log-in or key request then fails instead of looping for ever.
constexpr int kTokenAttempts = 16;

std::size_t IndexOf(Category category) { return static_cast<std::size_t>(category); }

}  // namespace

const char* CategoryName(Category category) {
  switch (category) {
    case Category::Web:
      return "web";
    case Category::Liuyan:
      return "liuyan";
    case Category::Tousu:
      return "tousu";
  }
  return "";
}

std::optional<Category> CategoryNamed(const std::string& name) {
  for (const Category category : kCategories) {
    if (name == CategoryName(category)) return category;
  }
  return std::nullopt;
}

const char* ModelStatusText(ModelStatus status) {
  switch (status) {
    case ModelStatus::Ok:
      return "ok";
    case ModelStatus::InvalidText:
      return "empty, too long or not UTF-8";
    case ModelStatus::AccountExists:
      return "account exists";
    case ModelStatus::UnknownAccount:
      return "no such account";
    case ModelStatus::UnknownShop:
      return "no such shop";
    case ModelStatus::Full:
      return "limit reached";
  }
  return "";
}

ServiceModel::ServiceModel(TokenSource tokens, ModelLimits limits)
    : tokens_(std::move(tokens)), limits_(limits), sessions_(limits.sessions), keys_(limits.keys) {}

bool ServiceModel::IsName(const std::string& text) const {
  return !text.empty() && text.size() <= limits_.nameBytes && IsValidUtf8(text);
}

ShopRecord* ServiceModel::FindAccount(const std::string& account) {
  const auto found =
      std::find_if(shops_.begin(), shops_.end(), [&](const ShopRecord& shop) { return shop.account == account; });
  return found == shops_.end() ? nullptr : &*found;
}

ModelStatus ServiceModel::AddShop(const std::string& account, const std::string& password, const std::string& shop_id) {
  if (!IsName(account) || !IsName(password) || !IsName(shop_id)) return ModelStatus::InvalidText;
  if (FindAccount(account) != nullptr) return ModelStatus::AccountExists;
  if (shops_.size() >= limits_.shops) return ModelStatus::Full;
  shops_.push_back({account, password, shop_id});
  if (!HasShop(shop_id)) entries_.emplace_back(shop_id, PendingEntries{});
  return ModelStatus::Ok;
}

ModelStatus ServiceModel::ChangePassword(const std::string& account, const std::string& password) {
  if (!IsName(password)) return ModelStatus::InvalidText;
  ShopRecord* shop = FindAccount(account);
  if (shop == nullptr) return ModelStatus::UnknownAccount;
  shop->password = password;
  return ModelStatus::Ok;
}

std::optional<std::string> ServiceModel::FreshToken() {
  for (int attempt = 0; attempt < kTokenAttempts; ++attempt) {
    std::string token = tokens_ ? tokens_() : std::string();
    if (!token.empty() && sessions_.Find(token) == nullptr && keys_.Find(token) == nullptr) return token;
  }
  return std::nullopt;
}

std::optional<LoginGrant> ServiceModel::LogIn(const std::string& account, const std::string& password) {
  const ShopRecord* shop = FindAccount(account);
  if (shop == nullptr || shop->password != password) return std::nullopt;
  std::optional<std::string> session_id = FreshToken();
  if (!session_id) return std::nullopt;
  sessions_.Insert(*session_id, Session{shop->shop_id});
  return LoginGrant{*session_id, shop->shop_id};
}

std::optional<std::string> ServiceModel::IssueKey(const std::string& session_id) {
  const Session* session = sessions_.Find(session_id);
  if (session == nullptr) return std::nullopt;
  const std::string shop_id = session->shop_id;
  std::optional<std::string> key = FreshToken();
  if (key) keys_.Insert(*key, Key{shop_id, session_id});
  return key;
}

std::optional<std::string> ServiceModel::RedeemKey(const std::string& key) {
  const Key* found = keys_.Find(key);
  if (found == nullptr) return std::nullopt;
  std::string shop_id = found->shop_id;
  keys_.Erase(key);
  return shop_id;
}

UntreatedAnswer ServiceModel::Untreated(const std::string& shop_id, const std::string& session_id) const {
  UntreatedAnswer answer;
  const Session* session = sessions_.Find(session_id);
  if (session == nullptr || session->shop_id != shop_id) return answer;
  answer.entries = Pending(shop_id);
  const bool waiting = std::any_of(answer.entries.begin(), answer.entries.end(),
                                   [](const std::vector<std::string>& list) { return !list.empty(); });
  answer.status = waiting ? UntreatedStatus::Untreated : UntreatedStatus::Treated;
  if (!waiting) answer.entries = PendingEntries{};
  return answer;
}

bool ServiceModel::HasShop(const std::string& shop_id) const {
  return std::any_of(entries_.begin(), entries_.end(), [&](const auto& shop) { return shop.first == shop_id; });
}

PendingEntries ServiceModel::Pending(const std::string& shop_id) const {
  for (const auto& shop : entries_) {
    if (shop.first == shop_id) return shop.second;
  }
  return PendingEntries{};
}

ModelStatus ServiceModel::AddEntry(const std::string& shop_id, Category category, const std::string& entry) {
  if (entry.size() > limits_.entryBytes || !IsValidUtf8(entry)) return ModelStatus::InvalidText;
  for (auto& shop : entries_) {
    if (shop.first != shop_id) continue;
    std::vector<std::string>& list = shop.second[IndexOf(category)];
    if (list.size() >= limits_.entriesPerCategory) return ModelStatus::Full;
    list.push_back(entry);
    return ModelStatus::Ok;
  }
  return ModelStatus::UnknownShop;
}

std::size_t ServiceModel::TreatEntries(const std::string& shop_id, std::optional<Category> category,
                                       const std::optional<std::string>& entry) {
  std::size_t treated = 0;
  for (auto& shop : entries_) {
    if (shop.first != shop_id) continue;
    for (const Category each : kCategories) {
      if (category && *category != each) continue;
      std::vector<std::string>& list = shop.second[IndexOf(each)];
      const std::size_t before = list.size();
      if (entry) {
        list.erase(std::remove(list.begin(), list.end(), *entry), list.end());
      } else {
        list.clear();
      }
      treated += before - list.size();
    }
  }
  return treated;
}

std::size_t ServiceModel::ExpireSessions(const std::optional<std::string>& shop_id) {
  const auto belongs = [&](const std::string& owner) { return !shop_id || owner == *shop_id; };
  keys_.EraseIf([&](const Key& key) { return belongs(key.shop_id); });
  return sessions_.EraseIf([&](const Session& session) { return belongs(session.shop_id); });
}
