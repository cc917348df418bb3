#pragma once
// A list of ways to a host, as a setup script answers ("PROXY a:8080; PROXY
// b:8080; DIRECT"), as Windows hands over a lookup's answer ("a:8080;b:8080")
// or as the browser's manual setting holds it ("a:8080" or
// "http=a:8080;https=b:8443"). Windows sends a request through the first
// proxy of a list only and never fails over: the program does, in order, and
// tries the entry that worked first while the list stays the same.

#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// A proxy as "host:port", or the empty text for a direct connection.
using ProxyEntry = std::u16string;

// More entries than this are left out: each one that fails costs a wait.
constexpr std::size_t kMaxProxyEntries = 4;

// The entries for plain HTTP, in order, without repeats; kinds that cannot
// carry it (SOCKS, HTTPS and other schemes) are left out.
std::vector<ProxyEntry> ParseProxyList(std::u16string_view text);

// Which entry of each list answered last; shared by both threads.
class ProxyListMemory {
 public:
  // The entries with the one that answered last for this list first, the
  // others in their order.
  std::vector<ProxyEntry> InTryOrder(const std::vector<ProxyEntry>& entries) const;
  void NoteAnswered(const std::vector<ProxyEntry>& entries, const ProxyEntry& answered);
  // A changed network may make another entry the one that works.
  void Forget();

 private:
  static constexpr std::size_t kListsKept = 8;  // a script answers the three hosts with a list or two
  mutable std::mutex lock_;
  std::map<std::vector<ProxyEntry>, ProxyEntry> answered_;
};
