#include "text/json_reply.h"

#include <json/reader.h>

#include <exception>

namespace {

// Deepest nesting of brackets outside strings and comments, scanned the way
// the reader tokenises. Where the text stops being JSON the reader stops too,
// so what this counts after that point can only be more than the reader
// would ever reach.
std::size_t NestingDepth(const std::string& text) {
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
  try {
    const std::string text = body.substr(0, body.find('\0'));
    if (NestingDepth(text) > kMaxReplyNesting) return std::nullopt;
    Json::Reader reader;
    Json::Value root;
    // Comments are accepted but not kept: nothing reads them.
    if (!reader.parse(text, root, false)) return std::nullopt;
    return root;
  } catch (const std::exception&) {
    // The depth is checked above; what is left is running out of memory on
    // an enormous reply, which makes it as unreadable as any other.
    return std::nullopt;
  }
}

Json::Value MemberOf(const Json::Value& object, const char* name) {
  if (!object.isObject()) return Json::Value();
  return object[name];
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
