#include "tests/win/loopback_http_server.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace {

// A request head larger than this is not a request of the program's.
constexpr std::size_t kMaxRequestBytes = 16 * 1024;
constexpr DWORD kSocketTimeoutMs = 5000;
constexpr long kAcceptPollMs = 100;

bool SendAll(SOCKET connection, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const int count = ::send(connection, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
    if (count <= 0) return false;
    sent += static_cast<std::size_t>(count);
  }
  return true;
}

// The request head, up to and without its blank line; nullopt when the
// client closed, stalled or sent too much first.
std::optional<std::string> ReceiveHead(SOCKET connection) {
  std::string received;
  char buffer[2048];
  for (;;) {
    const std::size_t end = received.find("\r\n\r\n");
    if (end != std::string::npos) return received.substr(0, end);
    if (received.size() > kMaxRequestBytes) return std::nullopt;
    const int count = ::recv(connection, buffer, sizeof(buffer), 0);
    if (count <= 0) return std::nullopt;
    received.append(buffer, static_cast<std::size_t>(count));
  }
}

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

RecordedRequest ParseHead(const std::string& head) {
  RecordedRequest request;
  std::size_t start = 0;
  bool first = true;
  while (start <= head.size()) {
    std::size_t end = head.find("\r\n", start);
    if (end == std::string::npos) end = head.size();
    const std::string line = head.substr(start, end - start);
    if (first) {
      request.requestLine = line;
      first = false;
    } else if (const std::size_t colon = line.find(':'); colon != std::string::npos) {
      request.headers.emplace_back(line.substr(0, colon), Trimmed(line.substr(colon + 1)));
    }
    start = end + 2;
  }
  return request;
}

std::string StatusHead(const ScriptedReply& reply) {
  std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " + reply.reason + "\r\n";
  head += "Connection: close\r\n";
  head += "Content-Type: text/html\r\n";
  if (reply.chunked) {
    head += "Transfer-Encoding: chunked\r\n";
  } else {
    const std::size_t length = reply.declaredLength ? *reply.declaredLength : reply.Body().size();
    head += "Content-Length: " + std::to_string(length) + "\r\n";
  }
  return head + "\r\n";
}

std::string ChunkOf(const std::string& part) {
  char size[32];
  std::snprintf(size, sizeof(size), "%zx\r\n", part.size());
  return size + part + "\r\n";
}

const char* ReasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
  }
  return "Other";
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

void SetTimeouts(SOCKET connection) {
  const DWORD timeout = kSocketTimeoutMs;
  ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
  ::setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
}

// Closing with a zero linger time sends a reset: the client sees the
// connection break, not a body that ended.
void ResetConnection(SOCKET connection) {
  linger abort = {};
  abort.l_onoff = 1;
  abort.l_linger = 0;
  ::setsockopt(connection, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof(abort));
  ::closesocket(connection);
}

}  // namespace

std::string ScriptedReply::Body() const {
  std::string body;
  for (const std::string& part : parts) body += part;
  return body;
}

ScriptedReply PlainReply(int status, std::string body) {
  ScriptedReply reply;
  reply.status = status;
  reply.reason = ReasonPhrase(status);
  reply.parts.push_back(std::move(body));
  return reply;
}

ScriptedReply ChunkedReply(std::vector<std::string> chunks, std::chrono::milliseconds pause) {
  ScriptedReply reply;
  reply.parts = std::move(chunks);
  reply.pause = pause;
  reply.chunked = true;
  return reply;
}

ScriptedReply ReplyDroppedMidBody(std::string sent, std::size_t declaredLength) {
  ScriptedReply reply;
  reply.parts.push_back(std::move(sent));
  reply.declaredLength = declaredLength;
  reply.resetAfterParts = true;
  // Long enough for the client to have read the first bytes before the
  // reset arrives.
  reply.pause = std::chrono::milliseconds(300);
  return reply;
}

std::optional<std::string> RecordedRequest::Header(const std::string& name) const {
  for (const auto& header : headers) {
    if (EqualIgnoringCase(header.first, name)) return header.second;
  }
  return std::nullopt;
}

LoopbackHttpServer::LoopbackHttpServer() {
  WSADATA data;
  winsockStarted_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  if (!winsockStarted_) return;
  listener_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener_ == INVALID_SOCKET) return;
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  int length = sizeof(address);
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || ::listen(listener_, 8) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::closesocket(listener_);
    listener_ = INVALID_SOCKET;
    return;
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ != INVALID_SOCKET) ::closesocket(listener_);
  if (winsockStarted_) ::WSACleanup();
}

void LoopbackHttpServer::Enqueue(ScriptedReply reply) {
  std::lock_guard<std::mutex> hold(mutex_);
  replies_.push_back(std::move(reply));
}

std::vector<RecordedRequest> LoopbackHttpServer::Requests() {
  std::lock_guard<std::mutex> hold(mutex_);
  return requests_;
}

void LoopbackHttpServer::ClearRequests() {
  std::lock_guard<std::mutex> hold(mutex_);
  requests_.clear();
  replies_.clear();
}

ScriptedReply LoopbackHttpServer::NextReply() {
  std::lock_guard<std::mutex> hold(mutex_);
  if (replies_.empty()) return PlainReply(503, "no reply scripted");
  ScriptedReply reply = std::move(replies_.front());
  replies_.pop_front();
  return reply;
}

void LoopbackHttpServer::Serve() {
  while (!stopping_) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(listener_, &readable);
    timeval wait = {0, kAcceptPollMs * 1000};
    if (::select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
    const SOCKET connection = ::accept(listener_, nullptr, nullptr);
    if (connection == INVALID_SOCKET) continue;
    Answer(connection);
  }
}

void LoopbackHttpServer::Answer(SOCKET connection) {
  SetTimeouts(connection);
  const std::optional<std::string> head = ReceiveHead(connection);
  if (!head) {
    ::closesocket(connection);
    return;
  }
  {
    std::lock_guard<std::mutex> hold(mutex_);
    requests_.push_back(ParseHead(*head));
  }
  const ScriptedReply reply = NextReply();
  bool sending = SendAll(connection, StatusHead(reply));
  for (std::size_t i = 0; sending && i < reply.parts.size(); ++i) {
    if (i > 0) std::this_thread::sleep_for(reply.pause);
    // An empty chunk would end a chunked body early.
    if (reply.chunked && reply.parts[i].empty()) continue;
    sending = SendAll(connection, reply.chunked ? ChunkOf(reply.parts[i]) : reply.parts[i]);
  }
  if (reply.resetAfterParts) {
    std::this_thread::sleep_for(reply.pause);
    ResetConnection(connection);
    return;
  }
  if (sending && reply.chunked) SendAll(connection, "0\r\n\r\n");
  ::shutdown(connection, SD_SEND);
  ::closesocket(connection);
}

INTERNET_PORT UnusedLoopbackPort() {
  const LoopbackHttpServer probe;
  return probe.Port();
}
