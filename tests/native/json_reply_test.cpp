#include "text/json_reply.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Repeated(const std::string& part, std::size_t times) {
  std::string text;
  while (times-- > 0) text += part;
  return text;
}

}  // namespace

TEST(ParseReply, AcceptsAnyJsonRootAndRefusesEverythingElse) {
  const struct {
    const char* name;
    std::string body;
    bool parses;
  } rows[] = {
      {"object", R"({"body":{"login_status":"success"}})", true},
      {"bare string", R"("k3y")", true},
      {"bare number", "42", true},
      {"comments", "/* a */ {\"a\": 1} // b", true},
      {"not json", "<html>busy</html>", false},
      {"empty text", "", false},
      {"zero byte ends the text", std::string("{\"a\":1}\0garbage", 15), true},
      {"zero byte cuts the reply short", std::string("{\"a\":\0 1}", 9), false},
      {"brackets inside a string do not nest", "[\"" + std::string(5000, '[') + "\"]", true},
      {"brackets behind an escaped quote stay in the string", "[\"\\\"" + std::string(5000, '[') + "\"]", true},
      {"brackets inside a block comment do not nest", "/*\n" + std::string(5000, '{') + "*/ 1", true},
      {"brackets inside a line comment do not nest", "// " + std::string(5000, '{') + "\n1", true},
      {"nesting counts again after a line comment",
       "// x\n" + std::string(kMaxReplyNesting + 1, '[') + std::string(kMaxReplyNesting + 1, ']'), false},
      {"nested to the limit", std::string(kMaxReplyNesting, '[') + std::string(kMaxReplyNesting, ']'), true},
      {"nested past the limit", std::string(kMaxReplyNesting + 1, '[') + std::string(kMaxReplyNesting + 1, ']'),
       false},
      {"siblings do not add up", "[" + Repeated("[{}],", 2 * kMaxReplyNesting) + "1]", true},
      {"nested past what the reader allows", std::string(100000, '['), false},
      {"deep nesting behind a broken string", "[\"\\" + std::string(100000, '{'), false},
  };
  for (const auto& row : rows) EXPECT_EQ(ParseReply(row.body).has_value(), row.parses) << row.name;
}

TEST(ReadText, ReadsTextNullAndBooleansAndRefusesTheRest) {
  const auto root = ParseReply(R"({"s":"abc","n":null,"t":true,"f":false,"i":7,"d":1.5,"l":["x"],"o":{}})");
  ASSERT_TRUE(root);
  const struct {
    const char* member;
    std::optional<std::string> expected;
  } rows[] = {
      {"s", "abc"}, {"n", ""}, {"missing", ""}, {"t", "true"}, {"f", "false"},
      {"i", std::nullopt}, {"d", std::nullopt}, {"l", std::nullopt}, {"o", std::nullopt},
  };
  for (const auto& row : rows) EXPECT_EQ(ReadText(MemberOf(*root, row.member)), row.expected) << row.member;
}

TEST(MemberOf, ReadsNullFromAnythingButAnObject) {
  for (const char* body : {R"(["a"])", R"("text")", "3", "null", "true"}) {
    const auto root = ParseReply(body);
    ASSERT_TRUE(root) << body;
    EXPECT_TRUE(MemberOf(*root, "a").isNull()) << body;
  }
  const auto root = ParseReply(R"({"a":{"b":"c"}})");
  ASSERT_TRUE(root);
  EXPECT_EQ(ReadText(MemberOf(MemberOf(*root, "a"), "b")), "c");
}
