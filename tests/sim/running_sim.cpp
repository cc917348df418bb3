#include "running_sim.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "sim/token_source.h"

RunningSim::RunningSim() : state_(kTestHosts, MakeRandomTokenSource()), server_(state_) {
  port_ = server_.Bind("127.0.0.1", 0);
  if (port_ > 0) thread_ = std::thread([this] { server_.Run(); });
}

RunningSim::~RunningSim() {
  server_.Stop();
  if (thread_.joinable()) thread_.join();
}

namespace {

class OwnedSocket {
 public:
  OwnedSocket() : fd_(socket(AF_INET, SOCK_STREAM, 0)) {}
  ~OwnedSocket() {
    if (fd_ >= 0) close(fd_);
  }
  OwnedSocket(const OwnedSocket&) = delete;
  OwnedSocket& operator=(const OwnedSocket&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

RawExchange SendRaw(int port, const std::string& request) {
  RawExchange exchange;
  const OwnedSocket owned;
  const int fd = owned.fd();
  if (fd < 0) return exchange;
  const timeval timeout{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return exchange;
  exchange.connected = true;
  if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
    return exchange;
  }
  char buffer[4096];
  for (;;) {
    const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) break;
    exchange.received.append(buffer, static_cast<std::size_t>(got));
  }
  return exchange;
}
