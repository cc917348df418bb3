#include <gtest/gtest.h>

#include <tuple>

#include "service/reply_body.h"
#include "service/request_paths.h"
#include "service/service_hosts.h"
#include "support.h"
#include "text/json_reply.h"

TEST(ParseReply, AcceptsAnyJsonRootUpToItsNestingLimitAndReadsMembersInPlace) {
  const std::string deep = std::string(kMaxReplyNesting, '[') + std::string(kMaxReplyNesting, ']');
  std::string siblings = "[";
  for (std::size_t i = 0; i < 2 * kMaxReplyNesting; ++i) siblings += "[{}],";
  const std::tuple<const char*, std::string, bool> rows[] = {
      {"html", "<html>", false},
      {"empty", "", false},
      {"ends at a zero byte", "{\"a\":1}\0garbage"s, true},
      {"zero byte in a text", "{\"a\":\"k\0\"}"s, false},
      {"after an escaped quote", "[\"\\\"" + std::string(5000, '[') + "\"]", true},
      {"in a block comment", "/*\n" + std::string(5000, '{') + "*/ 1", true},
      {"after a line comment", "// x\n[" + deep + "]", false},
      {"deepest", deep, true},
      {"siblings", siblings + "1]", true},
  };
  for (const auto& [name, body, parses] : rows) EXPECT_EQ(ParseReply(body).has_value(), parses) << name;
  const auto root = ParseReply(R"({"l":["x"]})");
  EXPECT_EQ(&MemberOf(*root, "l"), &(*root)["l"]) << "no copy of the member";
  EXPECT_TRUE(MemberOf(MemberOf(*root, "l"), "x").isNull()) << "a list has no members";
}

TEST(RequestPaths, EncodeWhatTheServiceDidNotIssueAndRefuseWhatWouldNotFit) {
  const std::u16string fits(1024 - 1 - 26 - 1, u'a'), id(1026 - 1 - 25, u'i'), login = u"/shop_login.php?name=";
  const std::tuple<const char*, std::u16string, std::u16string> rows[] = {
      {"escapes", BuildLoginPath(u"A-z.0_9~", u"a&b=c d%+/?#"), login + u"A-z.0_9~&pwd=a%26b%3Dc%20d%25%2B%2F%3F%23"},
      {"UTF-8", BuildLoginPath(u"\u5E97\U0001F600", u"\u00E9"), login + u"%E5%BA%97%F0%9F%98%80&pwd=%C3%A9"},
      {"lone surrogates", BuildLoginPath(u"\xD800\x61\xDC00", u"x"), login + u"%EF%BF%BDa%EF%BF%BD&pwd=x"},
      {"login fits", BuildLoginPath(fits.c_str(), u"p"), login + fits + u"&pwd=p"},
      {"login too long", BuildLoginPath(fits.c_str(), u"pp"), u""},
      {"poll verbatim", BuildPollPath(u"s&1", u"ab%cd"), u"/untreatedSheet.php?shop_id=s&1&session_id=ab%cd"},
      {"poll too long", BuildPollPath(id.c_str(), u"s"), u""},
      {"key fits", BuildKeyPath(id.c_str()), u"/shop_key.php?session_id=" + id},
      {"key too long", BuildKeyPath((id + u'i').c_str()), u""},
      {"entry", BuildConsoleEntryUrl(u"~\u4E2D"), u"http://" MORVANE_CONSOLE_HOST "/frame/next?go=5&key=~%E4%B8%AD"},
      {"entry too long", BuildConsoleEntryUrl(std::u16string(1026, u'k')), u""},
  };
  for (const auto& [name, built, expected] : rows) EXPECT_EQ(built, expected) << name;
}

template <typename T>
struct NoMemory {  // an allocator that has no memory to give
  using value_type = T;
  T* allocate(std::size_t) { throw std::bad_alloc(); }
  void deallocate(T*, std::size_t) {}
};

TEST(ReplyBody, KeepsUpTo16MiBAndRefusesMoreOrWhatMemoryCannotHold) {
  std::string body(kMaxReplyBytes - 1, '{');
  EXPECT_TRUE(AppendReplyChunk(body, "}", 1));
  EXPECT_FALSE(AppendReplyChunk(body, "x", 1));
  EXPECT_EQ(body.size(), 16u << 20) << "the last byte kept, the refused one left out";
  std::basic_string<char, std::char_traits<char>, NoMemory<char>> starved;
  EXPECT_FALSE(AppendReplyChunk(starved, body.data(), 100));
  EXPECT_TRUE(starved.empty());
}
