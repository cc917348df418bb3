#include "text/json_reply.h"

#include <json/reader.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <string_view>

namespace {

// Deepest nesting of brackets outside strings and comments, scanned the way
// the reader tokenises. Where the text stops being JSON the reader stops too,
// so what this counts after that point can only be more than the reader
// would ever reach.
std::size_t NestingDepth(std::string_view text) {
  enum class Scan { Value, String, LineComment, BlockComment };
  Scan scan = Scan::Value;
  std::size_t depth = 0;
  std::size_t deepest = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    switch (scan) {
      case Scan::Value:
        if (c == '"') {
          scan = Scan::String;
        } else if (c == '/' && i + 1 < text.size() && (text[i + 1] == '/' || text[i + 1] == '*')) {
          scan = text[i + 1] == '/' ? Scan::LineComment : Scan::BlockComment;
          ++i;
        } else if (c == '[' || c == '{') {
          ++depth;
          if (depth > deepest) deepest = depth;
        } else if ((c == ']' || c == '}') && depth > 0) {
          --depth;
        }
        break;
      case Scan::String:
        if (c == '\\') {
          ++i;
        } else if (c == '"') {
          scan = Scan::Value;
        }
        break;
      case Scan::LineComment:
        if (c == '\n' || c == '\r') scan = Scan::Value;
        break;
      case Scan::BlockComment:
        if (c == '*' && i + 1 < text.size() && text[i + 1] == '/') {
          scan = Scan::Value;
          ++i;
        }
        break;
    }
  }
  return deepest;
}

}  // namespace

std::optional<Json::Value> ParseReply(const std::string& body) {
  // The text is read where it lies, up to its first zero byte: no copy.
  const std::string_view text(body.data(), std::min(body.find('\0'), body.size()));
  if (NestingDepth(text) > kMaxReplyNesting) return std::nullopt;
  try {
    Json::Reader reader;
    std::optional<Json::Value> root(std::in_place);
    // Comments are accepted but not kept: nothing reads them.
    if (!reader.parse(text.data(), text.data() + text.size(), *root, false)) return std::nullopt;
    return root;
  } catch (const std::exception&) {
    // The depth is checked above; what is left is running out of memory on
    // an enormous reply, which makes it as unreadable as any other.
    return std::nullopt;
  }
}

const Json::Value& MemberOf(const Json::Value& object, const char* name) {
  // Never destroyed: the worker thread may still read it while the process exits.
  alignas(Json::Value) static unsigned char storage[sizeof(Json::Value)];
  static const Json::Value& null = *::new (static_cast<void*>(storage)) Json::Value();
  if (!object.isObject()) return null;
  const Json::Value* member = object.find(name, name + std::strlen(name));
  return member ? *member : null;
}

std::optional<std::string> ReadText(const Json::Value& value) {
  switch (value.type()) {
    case Json::nullValue:
      return std::string();
    case Json::stringValue:
      return value.asString();
    case Json::booleanValue:
      return std::string(value.asBool() ? "true" : "false");
    default:
      return std::nullopt;
  }
}
