#pragma once
// A reply body, collected chunk by chunk as it arrives.

#include <cstddef>
#include <new>

// The service's replies are JSON documents of modest size; a body beyond this
// is refused rather than allowed to take the shop PC's memory.
constexpr std::size_t kMaxReplyBytes = 16u * 1024u * 1024u;

// Appends length bytes of chunk to body (a std::string; tests give it a
// string whose allocator fails). False, with body as it was, when the body
// would grow past kMaxReplyBytes or memory runs out. The string grows
// geometrically, so collecting a body costs linear time.
template <typename Bytes>
bool AppendReplyChunk(Bytes& body, const char* chunk, std::size_t length) {
  if (body.size() > kMaxReplyBytes || length > kMaxReplyBytes - body.size()) return false;
  try {
    body.append(chunk, length);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}
