#include "service/proxy_list.h"

#include <algorithm>

namespace {

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

std::vector<std::u16string_view> Words(std::u16string_view text) {
  std::vector<std::u16string_view> words;
  for (std::size_t at = 0; at < text.size();) {
    if (IsSpace(text[at])) {
      ++at;
      continue;
    }
    std::size_t end = at;
    while (end < text.size() && !IsSpace(text[end])) ++end;
    words.push_back(text.substr(at, end - at));
    at = end;
  }
  return words;
}

bool SameLetters(std::u16string_view word, std::u16string_view upper) {
  return word.size() == upper.size() && std::equal(word.begin(), word.end(), upper.begin(), [](char16_t a, char16_t b) {
           return (a >= u'a' && a <= u'z' ? char16_t(a - 32) : a) == b;
         });
}

// A script's kinds of way that Windows cannot take for plain HTTP.
bool IsOtherKind(std::u16string_view word) {
  for (std::u16string_view kind : {u"SOCKS", u"SOCKS4", u"SOCKS5", u"HTTPS"})
    if (SameLetters(word, kind)) return true;
  return false;
}

void Add(std::vector<ProxyEntry>& entries, std::u16string_view entry) {
  if (entries.size() < kMaxProxyEntries && std::find(entries.begin(), entries.end(), entry) == entries.end())
    entries.emplace_back(entry);
}

}  // namespace

std::vector<ProxyEntry> ParseProxyList(std::u16string_view text) {
  std::vector<ProxyEntry> entries;
  for (std::size_t at = 0; at <= text.size();) {
    const std::size_t end = std::min(text.find(u';', at), text.size());
    const std::vector<std::u16string_view> words = Words(text.substr(at, end - at));
    at = end + 1;
    if (words.empty()) continue;
    if (SameLetters(words[0], u"DIRECT")) {
      Add(entries, u"");
    } else if (SameLetters(words[0], u"PROXY") || SameLetters(words[0], u"HTTP")) {
      if (words.size() > 1) Add(entries, words[1]);
    } else if (!IsOtherKind(words[0])) {
      // Windows' forms: bare entries, or "scheme=entry" of which only http's
      // carries plain HTTP.
      for (std::u16string_view word : words) {
        const std::size_t equals = word.find(u'=');
        if (equals == std::u16string_view::npos) {
          Add(entries, word);
        } else if (SameLetters(word.substr(0, equals), u"HTTP") && equals + 1 < word.size()) {
          Add(entries, word.substr(equals + 1));
        }
      }
    }
  }
  return entries;
}

std::vector<ProxyEntry> ProxyListMemory::InTryOrder(const std::vector<ProxyEntry>& entries) const {
  std::vector<ProxyEntry> ordered = entries;
  const std::lock_guard<std::mutex> hold(lock_);
  const auto found = answered_.find(entries);
  if (found == answered_.end()) return ordered;
  const auto first = std::find(ordered.begin(), ordered.end(), found->second);
  if (first != ordered.end()) std::rotate(ordered.begin(), first, first + 1);
  return ordered;
}

void ProxyListMemory::NoteAnswered(const std::vector<ProxyEntry>& entries, const ProxyEntry& answered) {
  const std::lock_guard<std::mutex> hold(lock_);
  if (answered_.size() >= kListsKept && !answered_.count(entries)) answered_.clear();
  answered_[entries] = answered;
}

void ProxyListMemory::Forget() {
  const std::lock_guard<std::mutex> hold(lock_);
  answered_.clear();
}
