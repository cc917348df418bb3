#include <gtest/gtest.h>

#include <string>

#include "sim/host_roles.h"
#include "sim/query_text.h"
#include "sim/request_target.h"
#include "sim/utf8_text.h"

TEST(SimRequestText, DecodesQueriesAsTheServiceDoes) {
  const struct {
    const char* query;
    QueryParams params;
  } rows[] = {
      {"name=shop01&pwd=secret", {{"name", "shop01"}, {"pwd", "secret"}}},
      {"name=%E5%BA%97&pwd=a%26b%3Dc%20d%2B", {{"name", "店"}, {"pwd", "a&b=c d+"}}},
      {"pwd=a+b", {{"pwd", "a b"}}},
      {"x=%zz&y=%4&z=%", {{"x", "%zz"}, {"y", "%4"}, {"z", "%"}}},
      {"x=%4a%4A", {{"x", "JJ"}}},
      {"a=1&a=2", {{"a", "2"}}},
      {"flag&&=v&e=", {{"flag", ""}, {"", "v"}, {"e", ""}}},
      {"k=a=b", {{"k", "a=b"}}},
      {"n=%00x", {{"n", std::string("\0x", 2)}}},
      {"", {}},
  };
  for (const auto& row : rows) EXPECT_EQ(ParseQuery(row.query), row.params) << row.query;
}

TEST(SimRequestText, ReadsOriginAndAbsoluteFormTargets) {
  const struct {
    const char* target;
    const char* host_header;
    bool parsed;
    const char* host;
    const char* path;
    const char* query;
    bool proxied;
  } rows[] = {
      {"/shop_login.php?name=a&pwd=b", "Passport.Zarnik.NET:80", true, "passport.zarnik.net", "/shop_login.php",
       "name=a&pwd=b", false},
      {"http://orders.zarnik.net:80/untreatedSheet.php?shop_id=1&session_id=s", "127.0.0.1:9", true,
       "orders.zarnik.net", "/untreatedSheet.php", "shop_id=1&session_id=s", true},
      {"HTTP://Console.Zarnik.Net/", "", true, "console.zarnik.net", "/", "", true},
      {"http://console.zarnik.net", "", true, "console.zarnik.net", "/", "", true},
      {"http://console.zarnik.net?go=5", "", true, "console.zarnik.net", "/", "go=5", true},
      {"http://user:pw@console.zarnik.net./frame/next?go=5&key=k#top", "", true, "console.zarnik.net",
       "/frame/next", "go=5&key=k", true},
      {"http://[::1]:8080/x", "", true, "[::1]", "/x", "", true},
      {"/a?b?c", "h", true, "h", "/a", "b?c", false},
      {"/x", "", false, "", "", "", false},
      {"https://passport.zarnik.net/", "", false, "", "", "", false},
      {"passport.zarnik.net:443", "", false, "", "", "", false},
      {"*", "h", false, "", "", "", false},
      {"http:///path", "h", false, "", "", "", false},
      {"", "h", false, "", "", "", false},
  };
  for (const auto& row : rows) {
    const auto target = ParseRequestTarget(row.target, row.host_header);
    ASSERT_EQ(target.has_value(), row.parsed) << row.target;
    if (!target) continue;
    EXPECT_EQ(target->host, row.host) << row.target;
    EXPECT_EQ(target->path, row.path) << row.target;
    EXPECT_EQ(target->query, row.query) << row.target;
    EXPECT_EQ(target->proxied, row.proxied) << row.target;
  }
}

TEST(SimRequestText, TellsTheHostsApart) {
  const SimHosts hosts{"passport.zarnik.net", "orders.zarnik.net", "console.zarnik.net", "sim.control"};
  const struct {
    const char* host;
    HostRole role;
  } rows[] = {
      {"passport.zarnik.net", HostRole::Auth},  {"ORDERS.zarnik.net:80", HostRole::Order},
      {"console.zarnik.net.", HostRole::Console}, {"sim.control:1234", HostRole::Control},
      {"zarnik.net", HostRole::Unknown},        {"127.0.0.1", HostRole::Unknown},
      {"", HostRole::Unknown},                  {"passport.zarnik.net.evil", HostRole::Unknown},
  };
  for (const auto& row : rows) EXPECT_EQ(RoleOfHost(hosts, row.host), row.role) << row.host;

  EXPECT_EQ(ServiceRoleNamed(hosts, "auth"), HostRole::Auth);
  EXPECT_EQ(ServiceRoleNamed(hosts, "orders.zarnik.net"), HostRole::Order);
  EXPECT_EQ(ServiceRoleNamed(hosts, "console"), HostRole::Console);
  EXPECT_EQ(ServiceRoleNamed(hosts, "control"), std::nullopt) << "the control host cannot fail";
  EXPECT_EQ(ServiceRoleNamed(hosts, "sim.control"), std::nullopt);
  EXPECT_EQ(ServiceRoleNamed(hosts, "elsewhere"), std::nullopt);
}

TEST(SimRequestText, MendsTextThatIsNotUtf8) {
  const struct {
    const char* name;
    std::string text;
    bool valid;
    std::string mended;
  } rows[] = {
      {"ascii", "abc", true, "abc"},
      {"chinese", "\xE4\xB8\xAD", true, "\xE4\xB8\xAD"},
      {"four bytes", "\xF0\x9F\x98\x80", true, "\xF0\x9F\x98\x80"},
      {"stray continuation", "a\x80" "b", false, "a\xEF\xBF\xBD" "b"},
      {"cut sequence", "\xE4\xB8", false, "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"overlong", "\xC0\xAF", false, "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"surrogate", "\xED\xA0\x80", false, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", false, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"zero byte", std::string("a\0b", 3), true, std::string("a\0b", 3)},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(IsValidUtf8(row.text), row.valid) << row.name;
    EXPECT_EQ(ToValidUtf8(row.text), row.mended) << row.name;
  }
}
