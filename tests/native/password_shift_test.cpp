#include "settings/password_shift.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(PasswordShift, ShiftsEveryByteOnItsOwnAndBack) {
  const struct {
    const char* name;
    std::u16string password;
    std::vector<std::uint8_t> stored;
  } rows[] = {
      {"abc", u"abc", {0x62, 0x01, 0x63, 0x01, 0x64, 0x01}},
      {"U+00FF wraps its low byte only", u"\u00FF", {0x00, 0x01}},
      {"U+01FF carries nothing into the high byte", u"\u01FF", {0x00, 0x02}},
      {"U+FFFF wraps both bytes", u"\uFFFF", {0x00, 0x00}},
      {"U+FF00 wraps the high byte only", u"\uFF00", {0x01, 0x00}},
      {"chinese", u"\u4E2D", {0x2E, 0x4F}},
      {"empty", u"", {}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ShiftPassword(row.password.data(), row.password.size()), row.stored) << row.name;
    EXPECT_EQ(UnshiftPassword(row.stored.data(), row.stored.size()), row.password) << row.name;
  }
}

TEST(PasswordShift, DropsAnOddLastByte) {
  const std::vector<std::uint8_t> stored = {0x62, 0x01, 0x63, 0x01, 0x64};
  EXPECT_EQ(UnshiftPassword(stored.data(), stored.size()), u"ab");
}
