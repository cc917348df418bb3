#pragma once
// Faults a host can be made to show, so that the program's handling of a
// broken service can be seen: a fault is armed per host, for a number of
// requests or until cleared, and every request for that host suffers it.

#include <httplib.h>

#include <string>
#include <variant>

#include "sim/service.h"

enum class FaultKind {
  Refuse,       // the connection is reset before a byte of the reply
  Slow,         // the normal reply, after a delay
  ServerError,  // status 500 with an HTML page
  Truncate,     // the normal reply's headers and half its body, then the connection ends
  Garbage,      // status 200 with text that is not JSON
  Huge,         // the normal reply padded with blanks to a huge body
  ZeroByte,     // the normal reply with a zero byte in the middle
};

struct FaultPlan {
  FaultKind kind = FaultKind::Garbage;
  long long times = 0;  // requests left to suffer it; 0 means every request until cleared
  long long delayMs = 10000;
  long long hugeBytes = 50 << 20;
};

// "refuse", "slow", "error500", "truncate", "garbage", "huge", "nul".
const char* FaultName(FaultKind kind);

// A plan from the control parameters kind (required), times, delay_ms and
// size; the error text names the one that is wrong.
std::variant<FaultPlan, std::string> ParseFaultPlan(const Params& params);

// The bodies of the faults that replace the normal reply.
extern const char kServerErrorPage[];
extern const char kGarbageBody[];

// The HTTP server hands its handlers the request, not the connection, so
// the handler finds its own socket by the connection's two addresses and
// resets it, as a crashed server would. False when no such socket is open.
bool ResetConnection(const httplib::Request& request);

// The reply as a host sends it with fault (nullptr: none; refuse and slow
// are the caller's). Bodies that are large or must end early are written by
// a content provider, so a 50 MB reply costs no 50 MB of memory and a cut
// body really ends the connection.
void WriteReply(const Reply& normal, const FaultPlan* fault, httplib::Response& response);
