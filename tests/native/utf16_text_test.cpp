#include "text/utf16_text.h"

#include <gtest/gtest.h>

TEST(Utf16Text, ConvertsToUtf8WithLoneSurrogatesReplaced) {
  const struct {
    const char* name;
    std::u16string text;
    std::string expected;
  } rows[] = {
      {"ascii", u"shop-01", "shop-01"},
      {"two-byte", u"\u00E9", "\xC3\xA9"},
      {"three-byte", u"\u4E2D", "\xE4\xB8\xAD"},
      {"surrogate pair", u"\U0001F600", "\xF0\x9F\x98\x80"},
      {"lone high surrogate", std::u16string{0xD83D, u'a'}, "\xEF\xBF\xBD" "a"},
      {"lone low surrogate", std::u16string{u'a', 0xDE00}, "a\xEF\xBF\xBD"},
      {"high surrogate at the end", std::u16string{0xD83D}, "\xEF\xBF\xBD"},
      {"two high surrogates", std::u16string{0xD83D, 0xD83D, 0xDE00}, "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
      {"embedded zero kept", std::u16string{u'a', 0, u'b'}, std::string("a\0b", 3)},
  };
  for (const auto& row : rows) EXPECT_EQ(Utf16ToUtf8(row.text), row.expected) << row.name;
}

TEST(Utf16Text, LengthStopsAtTheEndOfItsBuffer) {
  const char16_t unterminated[3] = {u'a', u'b', u'c'};
  EXPECT_EQ(Utf16Length(unterminated, 3), 3u);
  EXPECT_EQ(Utf16Length(u"ab", 10), 2u);
  EXPECT_EQ(Utf16Length(nullptr, 10), 0u);
}
