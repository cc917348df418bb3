#include "sim/fault_responses.h"

#include <algorithm>
#include <memory>
#include <string>

namespace {

constexpr std::size_t kHugeChunkBytes = 64 * 1024;

void WriteTruncated(const ServiceReply& normal, httplib::Response& response) {
  auto body = std::make_shared<const std::string>(normal.body);
  const std::size_t half = body->size() / 2;
  response.status = normal.status;
  response.set_content_provider(body->size(), normal.contentType,
                                [body, half](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                  if (offset >= half) return false;
                                  return sink.write(body->data() + offset, std::min(length, half - offset));
                                });
}

// The normal body followed by blanks: still the same JSON to a reader that
// copes with the size.
void WriteHuge(const ServiceReply& normal, std::size_t total, httplib::Response& response) {
  auto body = std::make_shared<const std::string>(normal.body);
  total = std::max(total, body->size());
  response.status = normal.status;
  response.set_content_provider(total, normal.contentType,
                                [body](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                  std::string chunk;
                                  const std::size_t size = std::min(length, kHugeChunkBytes);
                                  chunk.reserve(size);
                                  if (offset < body->size()) {
                                    chunk.append(*body, offset, std::min(size, body->size() - offset));
                                  }
                                  chunk.resize(size, ' ');
                                  return sink.write(chunk.data(), chunk.size());
                                });
}

}  // namespace

void WriteReply(const ServiceReply& reply, httplib::Response& response) {
  response.status = reply.status;
  response.set_content(reply.body, reply.contentType);
}

void WriteFaultyReply(const FaultPlan& plan, const ServiceReply& normal, httplib::Response& response) {
  switch (plan.kind) {
    case FaultKind::ServerError:
      WriteReply({500, "text/html; charset=iso-8859-1", ServerErrorPage()}, response);
      return;
    case FaultKind::Garbage:
      WriteReply({200, "text/html", GarbageBody()}, response);
      return;
    case FaultKind::Truncate:
      WriteTruncated(normal, response);
      return;
    case FaultKind::Huge:
      WriteHuge(normal, plan.hugeBytes, response);
      return;
    case FaultKind::ZeroByte:
      WriteReply({normal.status, normal.contentType, WithZeroByte(normal.body, plan.zeroAt)}, response);
      return;
    case FaultKind::Refuse:
    case FaultKind::Slow:
      break;
  }
  WriteReply(normal, response);
}
