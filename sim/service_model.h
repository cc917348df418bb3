#pragma once
// What the service knows: shops with their accounts and passwords, the
// sessions that log-ins opened, the one-time console keys, and each shop's
// waiting requests in the categories "web", "liuyan" and "tousu". Plain
// data and rules, no I/O and no lock: the caller serialises access.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "sim/bounded_registry.h"
#include "sim/token_source.h"

enum class Category { Web, Liuyan, Tousu };
constexpr std::array<Category, 3> kCategories = {Category::Web, Category::Liuyan, Category::Tousu};

// The service's own words: "web", "liuyan", "tousu".
const char* CategoryName(Category category);
std::optional<Category> CategoryNamed(const std::string& name);

using PendingEntries = std::array<std::vector<std::string>, kCategories.size()>;

enum class ModelStatus { Ok, InvalidText, AccountExists, UnknownAccount, UnknownShop, Full };

// The reason a status stands for, in a few words.
const char* ModelStatusText(ModelStatus status);

struct LoginGrant {
  std::string session_id;
  std::string shop_id;
};

enum class UntreatedStatus { NoAuthority, Treated, Untreated };

struct UntreatedAnswer {
  UntreatedStatus status = UntreatedStatus::NoAuthority;
  PendingEntries entries;  // filled for Untreated only
};

struct ShopRecord {
  std::string account;
  std::string password;
  std::string shop_id;
};

struct ModelLimits {
  std::size_t shops = 1000;
  std::size_t sessions = 10000;
  std::size_t keys = 10000;
  std::size_t entriesPerCategory = 10000;
  std::size_t nameBytes = 256;  // account, password, shop id
  std::size_t entryBytes = 1024;
};

class ServiceModel {
 public:
  explicit ServiceModel(TokenSource tokens, ModelLimits limits = {});

  // Accounts, passwords and shop ids are non-empty UTF-8 of at most
  // limits.nameBytes bytes. One account belongs to one shop; a shop may
  // have several accounts.
  ModelStatus AddShop(const std::string& account, const std::string& password, const std::string& shop_id);
  // Sessions opened with the old password stay open.
  ModelStatus ChangePassword(const std::string& account, const std::string& password);

  // A fresh session for the account's shop, or nullopt for a wrong account
  // or password. Earlier sessions stay open: the settings dialog's test
  // log-in must not end the worker's session.
  std::optional<LoginGrant> LogIn(const std::string& account, const std::string& password);
  // A fresh key for a live session, usable once.
  std::optional<std::string> IssueKey(const std::string& session_id);
  // The shop a key was issued for; the key is spent by this call.
  std::optional<std::string> RedeemKey(const std::string& key);

  // NoAuthority unless session_id is live and belongs to shop_id.
  UntreatedAnswer Untreated(const std::string& shop_id, const std::string& session_id) const;

  // Entries are UTF-8 of at most limits.entryBytes bytes, the empty text
  // included; an entry may be added twice and then waits twice.
  ModelStatus AddEntry(const std::string& shop_id, Category category, const std::string& entry);
  // Removes every waiting entry equal to entry (every entry when nullopt)
  // in category (every category when nullopt); returns how many.
  std::size_t TreatEntries(const std::string& shop_id, std::optional<Category> category,
                           const std::optional<std::string>& entry);
  // Ends the sessions of one shop, or of every shop, and their unspent
  // keys; returns how many sessions ended.
  std::size_t ExpireSessions(const std::optional<std::string>& shop_id);

  bool HasShop(const std::string& shop_id) const;
  PendingEntries Pending(const std::string& shop_id) const;
  const std::vector<ShopRecord>& shops() const { return shops_; }
  std::size_t liveSessions() const { return sessions_.size(); }
  std::size_t liveKeys() const { return keys_.size(); }

 private:
  struct Session {
    std::string shop_id;
  };
  struct Key {
    std::string shop_id;
    std::string session_id;
  };

  bool IsName(const std::string& text) const;
  ShopRecord* FindAccount(const std::string& account);
  // A token not in use as a session or a key, or nullopt when the source
  // keeps repeating itself.
  std::optional<std::string> FreshToken();

  TokenSource tokens_;
  ModelLimits limits_;
  std::vector<ShopRecord> shops_;
  std::vector<std::pair<std::string, PendingEntries>> entries_;  // by shop id, in the order shops came
  BoundedRegistry<Session> sessions_;
  BoundedRegistry<Key> keys_;
};
