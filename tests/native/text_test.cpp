#include <gtest/gtest.h>

#include "service/reply_body.h"
#include "service/request_paths.h"
#include "service/service_hosts.h"
#include "support.h"
#include "text/json_reply.h"

TEST(ParseReply, AcceptsAnyJsonRootUpToItsNestingLimitAndReadsMembersInPlace) {
  const std::string deep = std::string(kMaxReplyNesting, '[') + std::string(kMaxReplyNesting, ']');
  std::string siblings = "[";
  for (std::size_t i = 0; i < 2 * kMaxReplyNesting; ++i) siblings += "[{}],";
  const std::pair<std::string, bool> rows[] = {
      {R"("k3y")", true},
      {"/* a */ {\"a\": 1} // b", true},
      {"<html>", false},
      {"", false},
      {"{\"a\":1}\0garbage"s, true},
      {"{\"a\":\0 1}"s, false},
      {"[\"" + std::string(5000, '[') + "\"]", true},
      {"[\"\\\"" + std::string(5000, '[') + "\"]", true},
      {"/*\n" + std::string(5000, '{') + "*/ 1", true},
      {"// x\n[" + deep + "]", false},
      {deep, true},
      {"[" + deep + "]", false},
      {std::string(100000, '['), false},
      {siblings + "1]", true},
  };
  for (const auto& [body, parses] : rows) EXPECT_EQ(ParseReply(body).has_value(), parses) << body.substr(0, 40);
  const auto root = ParseReply(R"({"l":["x"]})");
  EXPECT_EQ(&MemberOf(*root, "l"), &(*root)["l"]) << "no copy of the member";
  EXPECT_TRUE(MemberOf(MemberOf(*root, "l"), "x").isNull() && MemberOf(*root, "m").isNull());
}

TEST(RequestPaths, EncodeWhatTheServiceDidNotIssueAndRefuseWhatWouldNotFit) {
  const std::u16string fits(1024 - 1 - 26 - 1, u'a'), id(1026 - 1 - 25, u'i');
  const std::pair<std::u16string, std::u16string> rows[] = {
      {BuildLoginPath(u"A-z.0_9~", u"a&b=c d%+/?#"), u"/shop_login.php?name=A-z.0_9~&pwd=a%26b%3Dc%20d%25%2B%2F%3F%23"},
      {BuildLoginPath(u"\u5E97\U0001F600", u"\u00E9"), u"/shop_login.php?name=%E5%BA%97%F0%9F%98%80&pwd=%C3%A9"},
      {BuildLoginPath(u"\xD800"
                      u"a\xDC00",
                      u"x"),
       u"/shop_login.php?name=%EF%BF%BDa%EF%BF%BD&pwd=x"},
      {BuildLoginPath(fits.c_str(), u"p"), u"/shop_login.php?name=" + fits + u"&pwd=p"},
      {BuildLoginPath(fits.c_str(), u"pp"), u""},
      {BuildPollPath(u"s&1", u"ab%cd"), u"/untreatedSheet.php?shop_id=s&1&session_id=ab%cd"},
      {BuildPollPath(id.c_str(), u"s"), u""},
      {BuildKeyPath(id.c_str()), u"/shop_key.php?session_id=" + id},
      {BuildKeyPath((id + u'i').c_str()), u""},
      {BuildConsoleEntryUrl(u"Az09-._~\u4E2D"),
       u"http://" MORVANE_CONSOLE_HOST "/frame/next?go=5&key=Az09-._~%E4%B8%AD"},
      {BuildConsoleEntryUrl(std::u16string(1026, u'k')), u""},
  };
  for (const auto& [built, expected] : rows) EXPECT_EQ(built, expected) << &built - &rows[0].first;
}

template <typename T>
struct NoMemory : std::allocator<T> {  // an allocator that has no memory to give
  template <typename U>
  struct rebind {
    using other = NoMemory<U>;
  };
  T* allocate(std::size_t) { throw std::bad_alloc(); }
};

TEST(ReplyBody, KeepsUpTo16MiBAndRefusesMoreOrWhatMemoryCannotHold) {
  const std::string half(kMaxReplyBytes / 2, 'x');
  std::string body = "{";
  EXPECT_TRUE(AppendReplyChunk(body, half.data(), half.size()) && AppendReplyChunk(body, half.data(), half.size() - 2));
  EXPECT_TRUE(AppendReplyChunk(body, "}", 1) && body.size() == 16u << 20);
  EXPECT_FALSE(AppendReplyChunk(body, "x", 1));
  EXPECT_TRUE(body.size() == 16u << 20 && body.back() == '}') << "a refused chunk leaves the body as it was";
  std::basic_string<char, std::char_traits<char>, NoMemory<char>> starved;
  EXPECT_TRUE(!AppendReplyChunk(starved, half.data(), 100) && starved.empty());
}
