#include "text/widen_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

TEST(WidenText, WidensEachByteToOneCodeUnit) {
  const struct {
    const char* name;
    std::string source;
    std::u16string expected;
  } rows[] = {
      {"empty", "", u""},
      {"ascii", "abc", u"abc"},
      {"one utf-8 character stays three units", "\xE4\xB8\xAD", u"\u00E4\u00B8\u00AD"},
      {"high bytes are not sign-extended", "\x80\xFF", u"\u0080\u00FF"},
      {"stops at the first zero byte", std::string("ab\0cd", 5), u"ab"},
  };
  for (const auto& row : rows) {
    char16_t buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_TRUE(WidenText(row.source.c_str(), buffer, 8)) << row.name;
    EXPECT_EQ(std::u16string(buffer), row.expected) << row.name;
    EXPECT_EQ(WidenText(row.source), row.expected) << row.name;
  }
}

TEST(WidenText, RefusesTextLongerThanItsBufferWithoutWritingPastIt) {
  char16_t buffer[5] = {u'x', u'x', u'x', u'x', u'x'};
  EXPECT_TRUE(WidenText("abcd", buffer, 4 + 1));
  EXPECT_EQ(std::u16string(buffer), u"abcd");

  char16_t guarded[6] = {u'x', u'x', u'x', u'x', u'x', u'G'};
  EXPECT_FALSE(WidenText("abcde", guarded, 5));
  EXPECT_EQ(guarded[0], 0) << "a refused text leaves the empty text";
  EXPECT_EQ(guarded[5], u'G') << "nothing written past the capacity";

  EXPECT_FALSE(WidenText("a", guarded, 0));
}
