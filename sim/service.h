#pragma once
// What the service knows and how its three hosts answer: shops with their
// accounts and passwords, the sessions that log-ins open, one-time console
// keys, and each shop's waiting requests in the categories "web", "liuyan"
// and "tousu". The replies are byte for byte what the program reads. No I/O
// and no lock: the server serialises access.

#include <array>
#include <deque>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <json/value.h>

enum class Role { Auth, Order, Console, Control, Unknown };

// Query and form parameters, decoded.
using Params = std::map<std::string, std::string>;
// A parameter that is missing reads as the empty text, as the service's
// pages read it.
std::string Param(const Params& params, const std::string& name);

struct Reply {
  int status = 200;
  std::string contentType;
  std::string body;
};

// The result of a change: an HTTP status (200 when it worked) and a few
// words saying what happened or what was wrong.
struct Outcome {
  int status = 200;
  std::string message;
  bool ok() const { return status == 200; }
};

// Texts from outside are arbitrary bytes; what the simulator keeps or shows
// must be UTF-8. Each byte that does not start a well-formed sequence
// (overlong forms, surrogates and values above U+10FFFF included) becomes
// U+FFFD.
std::string ValidUtf8(const std::string& text);

class Service {
 public:
  Service();

  // path as sent, still percent-encoded. Any other role, and any path a host
  // does not have, gets the not-found page.
  Reply Answer(Role role, const std::string& path, const Params& params);

  // Accounts, passwords and shop ids are non-empty UTF-8 of at most 256
  // bytes; one account belongs to one shop, a shop may have several.
  Outcome AddShop(const std::string& account, const std::string& password, const std::string& shop_id);
  // Entries are UTF-8 of at most 1024 bytes; one added twice waits twice.
  Outcome AddEntry(const std::string& shop_id, const std::string& category, const std::string& entry);
  // Every waiting entry equal to entry in the category is handled.
  Outcome TreatEntry(const std::string& shop_id, const std::string& category, const std::string& entry);
  // The shop's sessions end, and their unspent keys with them.
  Outcome ExpireSessions(const std::string& shop_id);

  // The shop meant where a shop id is left out; empty while there is none.
  std::string FirstShop() const { return accounts_.empty() ? std::string() : accounts_.front().shop_id; }
  Json::Value StateJson() const;

 private:
  using Waiting = std::array<std::vector<std::string>, 3>;  // by category
  // The shop's waiting entries of the category; nullptr, with the reason in
  // refusal, for an unknown category or shop.
  std::vector<std::string>* WaitingList(const std::string& shop_id, const std::string& category, Outcome& refusal);
  struct Account {
    std::string name, password, shop_id;
  };
  // Session ids or keys with their shop, oldest first.
  using Tokens = std::deque<std::pair<std::string, std::string>>;

  // A fresh token for the shop, remembered in tokens; the oldest is
  // forgotten past the cap, so a client that logs in for ever cannot make
  // the simulator grow without end.
  std::string Remember(Tokens& tokens, const std::string& shop_id);
  Reply ConsolePage(const std::string& key);

  std::vector<Account> accounts_;
  std::map<std::string, Waiting> waiting_;  // by shop id
  Tokens sessions_, keys_;
  std::mt19937_64 random_;
};
