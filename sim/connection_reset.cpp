#include "sim/connection_reset.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

bool SameEndpoint(const sockaddr_storage& address, const std::string& host, int port) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    if (inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text) == nullptr) return false;
    return ntohs(v4.sin_port) == port && host == text;
  }
  if (address.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    if (inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text) == nullptr) return false;
    return ntohs(v6.sin6_port) == port && host == text;
  }
  return false;
}

int LocalPort(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
  if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
  return -1;
}

bool IsConnection(int fd, int local_port, const std::string& remote_addr, int remote_port) {
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISSOCK(info.st_mode)) return false;
  sockaddr_storage local{};
  socklen_t local_size = sizeof local;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &local_size) != 0) return false;
  if (LocalPort(local) != local_port) return false;
  sockaddr_storage peer{};
  socklen_t peer_size = sizeof peer;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peer_size) != 0) return false;
  return SameEndpoint(peer, remote_addr, remote_port);
}

}  // namespace

bool ResetConnection(int local_port, const std::string& remote_addr, int remote_port) {
  const UniqueDir fds(opendir("/proc/self/fd"));
  if (!fds) return false;
  while (const dirent* entry = readdir(fds.get())) {
    char* end = nullptr;
    const long fd = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || fd < 0) continue;
    if (!IsConnection(static_cast<int>(fd), local_port, remote_addr, remote_port)) continue;
    // A zero linger time makes the close that follows send a reset instead
    // of an orderly end; the shutdown stops the reply from going out.
    const linger abort_on_close{1, 0};
    setsockopt(static_cast<int>(fd), SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close);
    shutdown(static_cast<int>(fd), SHUT_RDWR);
    return true;
  }
  return false;
}
