#pragma once
// A small scripted HTTP/1.1 server on 127.0.0.1 for the tests of the real
// WinHTTP exchanges: it answers each request with the next scripted reply
// and records what the client sent. One connection at a time, on a thread of
// its own; every connection is closed after its reply.

#include <winsock2.h>
#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct ScriptedReply {
  int status = 200;
  std::string reason = "OK";
  // The body in the pieces it is sent in, with a pause between two pieces.
  std::vector<std::string> parts;
  std::chrono::milliseconds pause{0};
  // Chunked transfer coding, one chunk per part; otherwise Content-Length.
  bool chunked = false;
  // A Content-Length other than the size of the parts, for a reply that
  // promises more than it sends.
  std::optional<std::size_t> declaredLength;
  // After the parts and a pause, the connection is reset instead of ended.
  bool resetAfterParts = false;

  std::string Body() const;
};

// A complete reply with Content-Length.
ScriptedReply PlainReply(int status, std::string body);
// A 200 reply in chunked coding, one chunk per part, pause between chunks.
ScriptedReply ChunkedReply(std::vector<std::string> chunks, std::chrono::milliseconds pause);
// A 200 reply that declares declaredLength bytes, sends the first bytes of
// body, and then resets the connection.
ScriptedReply ReplyDroppedMidBody(std::string sent, std::size_t declaredLength);

struct RecordedRequest {
  std::string requestLine;  // "GET /path HTTP/1.1"
  std::vector<std::pair<std::string, std::string>> headers;

  // The value of the first header of that name (any letter case), if sent.
  std::optional<std::string> Header(const std::string& name) const;
};

class LoopbackHttpServer {
 public:
  // Binds a free port on 127.0.0.1 and starts serving; check Listening().
  LoopbackHttpServer();
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  bool Listening() const { return listener_ != INVALID_SOCKET; }
  INTERNET_PORT Port() const { return port_; }

  // Replies are used in the order queued, one per request. A request with
  // none queued gets a 503 whose body says so.
  void Enqueue(ScriptedReply reply);
  std::vector<RecordedRequest> Requests();
  void ClearRequests();

 private:
  void Serve();
  void Answer(SOCKET connection);
  ScriptedReply NextReply();

  bool winsockStarted_ = false;
  SOCKET listener_ = INVALID_SOCKET;
  INTERNET_PORT port_ = 0;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::deque<ScriptedReply> replies_;      // under mutex_
  std::vector<RecordedRequest> requests_;  // under mutex_
  std::thread thread_;
};

// A port on 127.0.0.1 that nothing listens on: bound once to learn a free
// number, then released.
INTERNET_PORT UnusedLoopbackPort();
