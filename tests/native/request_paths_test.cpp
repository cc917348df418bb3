#include "service/request_paths.h"

#include <gtest/gtest.h>

#include <string>

#include "service/service_hosts.h"

TEST(RequestPaths, EncodesCredentialsAndInsertsIdentifiersVerbatim) {
  const std::u16string console = u"http://" + std::u16string(MORVANE_CONSOLE_HOST);
  const struct {
    const char* name;
    std::u16string built;
    std::u16string expected;
  } rows[] = {
      {"plain login", BuildLoginPath(u"shop01", u"secret"), u"/shop_login.php?name=shop01&pwd=secret"},
      {"unreserved characters stay", BuildLoginPath(u"A-z.0_9~", u"x"), u"/shop_login.php?name=A-z.0_9~&pwd=x"},
      {"query characters are escaped", BuildLoginPath(u"a&b=c d", u"p%w+/?#"),
       u"/shop_login.php?name=a%26b%3Dc%20d&pwd=p%25w%2B%2F%3F%23"},
      {"chinese travels as UTF-8", BuildLoginPath(u"\u5E97", u"\u00E9"),
       u"/shop_login.php?name=%E5%BA%97&pwd=%C3%A9"},
      {"surrogate pair", BuildLoginPath(u"\U0001F600", u"x"), u"/shop_login.php?name=%F0%9F%98%80&pwd=x"},
      {"lone surrogate", BuildLoginPath(std::u16string{0xD800, u'a'}.c_str(), u"x"),
       u"/shop_login.php?name=%EF%BF%BDa&pwd=x"},
      {"poll: shop id first", BuildPollPath(u"s&1", u"ab%cd"), u"/untreatedSheet.php?shop_id=s&1&session_id=ab%cd"},
      {"key", BuildKeyPath(u"\u00E4 9"), u"/shop_key.php?session_id=\u00E4 9"},
      {"console entry", BuildConsoleEntryUrl(u"k%2F"), console + u"/frame/next?go=5&key=k%2F"},
      {"console entry, empty key", BuildConsoleEntryUrl(u""), console + u"/frame/next?go=5&key="},
      {"console start", BuildConsoleStartUrl(), console + u"/"},
  };
  for (const auto& row : rows) EXPECT_EQ(row.built, row.expected) << row.name;
}

TEST(RequestPaths, RefusesPathsLongerThanTheirBuffers) {
  const std::u16string fixed_login = u"/shop_login.php?name=&pwd=";
  const std::u16string fits(kLoginPathCapacity - 1 - fixed_login.size() - 1, u'a');
  EXPECT_EQ(BuildLoginPath(fits.c_str(), u"p").size(), kLoginPathCapacity - 1);
  EXPECT_EQ(BuildLoginPath(fits.c_str(), u"pp"), u"");
  // 127 Chinese characters, the most the settings dialog takes, encode to 1143 units.
  const std::u16string chinese(127, u'\u5E97');
  EXPECT_EQ(BuildLoginPath(chinese.c_str(), u"p"), u"");

  const std::u16string fixed_key = u"/shop_key.php?session_id=";
  const std::u16string id(kRequestPathCapacity - 1 - fixed_key.size(), u'i');
  EXPECT_EQ(BuildKeyPath(id.c_str()).size(), kRequestPathCapacity - 1);
  EXPECT_EQ(BuildKeyPath((id + u'i').c_str()), u"");
  EXPECT_EQ(BuildConsoleEntryUrl(std::u16string(kRequestPathCapacity, u'k')), u"");
}
