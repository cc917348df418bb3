#include "sim/request_target.h"

#include <strings.h>

#include "sim/host_roles.h"

namespace {

constexpr char kScheme[] = "http://";
constexpr std::size_t kSchemeLength = sizeof(kScheme) - 1;

void SplitPathAndQuery(const std::string& rest, RequestTarget& target) {
  std::string path = rest.substr(0, rest.find('#'));
  const std::size_t question = path.find('?');
  if (question != std::string::npos) {
    target.query = path.substr(question + 1);
    path.erase(question);
  }
  target.path = path.empty() ? "/" : path;
}

}  // namespace

std::optional<RequestTarget> ParseRequestTarget(const std::string& target, const std::string& host_header) {
  RequestTarget parsed;
  if (!target.empty() && target.front() == '/') {
    parsed.host = NormalizeHost(host_header);
    SplitPathAndQuery(target, parsed);
  } else if (target.size() > kSchemeLength && strncasecmp(target.c_str(), kScheme, kSchemeLength) == 0) {
    const std::size_t authority_end = target.find_first_of("/?#", kSchemeLength);
    const std::size_t end = authority_end == std::string::npos ? target.size() : authority_end;
    parsed.host = NormalizeHost(target.substr(kSchemeLength, end - kSchemeLength));
    parsed.proxied = true;
    SplitPathAndQuery(target.substr(end), parsed);
  } else {
    return std::nullopt;
  }
  if (parsed.host.empty()) return std::nullopt;
  return parsed;
}
