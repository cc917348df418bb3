#pragma once
// The one way the service's replies are read as JSON. A reply of an
// unexpected shape reads as unreadable or as "not text", never as an
// exception; only ReadText can still throw, when memory runs out.

#include <json/value.h>

#include <cstddef>
#include <optional>
#include <string>

// Deepest nesting of lists and objects a reply may have. The reader gives up
// on deeper replies by throwing, so they are refused before it sees them;
// the service's replies nest a handful of levels.
constexpr std::size_t kMaxReplyNesting = 256;

// Parses the body up to its first zero byte with a default Json::Reader
// (comments accepted, a root of any kind). nullopt when the text is not
// JSON, nests deeper than kMaxReplyNesting, or memory runs out on the way.
std::optional<Json::Value> ParseReply(const std::string& body);

// The member of an object by name, by reference into object: nothing is
// copied, however large the member. A missing member, or a value that is not
// an object, reads as a null that lives as long as the process.
const Json::Value& MemberOf(const Json::Value& object, const char* name);

// A value read as text the way the service client reads it: a string gives
// its text, null the empty text, booleans "true" or "false". nullopt for a
// number, a list or an object.
std::optional<std::string> ReadText(const Json::Value& value);
