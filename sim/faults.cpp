#include "sim/faults.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <memory>

namespace {

// In the order of FaultKind.
constexpr const char* kFaultNames[] = {"refuse", "slow", "error500", "truncate", "garbage", "huge", "nul"};
constexpr std::size_t kChunkBytes = 64 * 1024;

}  // namespace

const char kServerErrorPage[] =
    "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 2.0//EN\">\n<html><head>\n<title>500 Internal Server "
    "Error</title>\n</head><body>\n<h1>Internal Server Error</h1>\n<p>The server encountered an internal "
    "error or misconfiguration and was unable to complete your request.</p>\n</body></html>\n";
const char kGarbageBody[] =
    "<br />\n<b>Warning</b>:  mysql_connect(): Too many connections in <b>/var/www/shop/db.php</b> on line "
    "<b>12</b><br />\n\x89\xFE\xFF{\"body\":";

const char* FaultName(FaultKind kind) { return kFaultNames[static_cast<int>(kind)]; }

std::variant<FaultPlan, std::string> ParseFaultPlan(const Params& params) {
  FaultPlan plan;
  const auto kind = params.find("kind");
  if (kind == params.end()) return std::string("kind missing");
  const auto named = std::find(std::begin(kFaultNames), std::end(kFaultNames), kind->second);
  if (named == std::end(kFaultNames)) return "unknown kind " + kind->second;
  plan.kind = static_cast<FaultKind>(named - std::begin(kFaultNames));
  const struct {
    const char* name;
    long long first, last;
    long long& value;
  } numbers[] = {
      {"times", 0, 1000000, plan.times}, {"delay_ms", 0, 120000, plan.delayMs}, {"size", 1, 256 << 20, plan.hugeBytes}};
  for (const auto& number : numbers) {
    const auto found = params.find(number.name);
    if (found == params.end()) continue;
    const std::string& text = found->second;
    const bool digits = !text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos;
    const long long value = digits ? std::atoll(text.c_str()) : -1;
    if (value < number.first || value > number.last) {
      return std::string(number.name) + " must be " + std::to_string(number.first) + " to " +
             std::to_string(number.last);
    }
    number.value = value;
  }
  return plan;
}

bool ResetConnection(const httplib::Request& request) {
  DIR* fds = opendir("/proc/self/fd");
  if (fds == nullptr) return false;
  bool found = false;
  while (const dirent* entry = readdir(fds)) {
    // Only the sockets of this server match: it listens on 127.0.0.1 alone.
    const int fd = std::atoi(entry->d_name);
    sockaddr_in local{}, peer{};
    socklen_t local_size = sizeof local, peer_size = sizeof peer;
    char peer_address[INET_ADDRSTRLEN] = {};
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &local_size) != 0 || local.sin_family != AF_INET ||
        ntohs(local.sin_port) != request.local_port ||
        getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peer_size) != 0 ||
        ntohs(peer.sin_port) != request.remote_port ||
        inet_ntop(AF_INET, &peer.sin_addr, peer_address, sizeof peer_address) == nullptr ||
        request.remote_addr != peer_address) {
      continue;
    }
    // A zero linger time makes the close that follows send a reset instead
    // of an orderly end; the shutdown stops the reply from going out.
    const linger abort_on_close{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close);
    shutdown(fd, SHUT_RDWR);
    found = true;
    break;
  }
  closedir(fds);
  return found;
}

void WriteReply(const Reply& normal, const FaultPlan* fault, httplib::Response& response) {
  const FaultKind kind = fault ? fault->kind : FaultKind::Slow;
  Reply reply = normal;
  if (kind == FaultKind::ServerError) reply = {500, "text/html; charset=iso-8859-1", kServerErrorPage};
  if (kind == FaultKind::Garbage) reply = {200, "text/html", kGarbageBody};
  if (kind == FaultKind::ZeroByte) reply.body.insert(reply.body.size() / 2, 1, '\0');
  response.status = reply.status;
  if (kind != FaultKind::Truncate && kind != FaultKind::Huge)
    return response.set_content(reply.body, reply.contentType);
  // A huge body is the normal one followed by blanks: still the same JSON to
  // a reader that copes with the size.
  const auto body = std::make_shared<const std::string>(reply.body);
  const std::size_t length =
      kind == FaultKind::Huge ? std::max(static_cast<std::size_t>(fault->hugeBytes), body->size()) : body->size();
  const std::size_t end = kind == FaultKind::Huge ? length : body->size() / 2;
  response.set_content_provider(length, reply.contentType,
                                [body, end](std::size_t offset, std::size_t size, httplib::DataSink& sink) {
                                  if (offset >= end) return false;
                                  std::string chunk = body->substr(std::min(offset, body->size()), kChunkBytes);
                                  chunk.resize(std::min({size, kChunkBytes, end - offset}), ' ');
                                  return sink.write(chunk.data(), chunk.size());
                                });
}
