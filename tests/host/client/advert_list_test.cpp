#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/advert_list.h"
#include "client/banner_description.h"

namespace brevaro::client {
namespace {

using Lines = std::vector<std::string>;

TEST(AdvertList, LinesEndAtCrLfLoneCrAndLoneLf) {
  struct Case {
    std::string bytes;
    Lines want;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\rb\nc", {"a", "b", "c"}},
      {"a\n\rb", {"a", "", "b"}},  // LF then a lone CR: an empty line between
      {"a\r\n\r\n", {"a", ""}},
      {"\r\n", {""}},
      {"a\r\r\nb", {"a", "", "b"}},
      {std::string("x\0y\r\n", 5), {std::string("x\0y", 3)}},
  };
  for (const auto& c : cases) EXPECT_EQ(split_lines(c.bytes), c.want) << c.bytes;
}

TEST(AdvertList, VersionAndBannerValuesByPosition) {
  const AdvertList list = read_advert_list(
      "version=1.1\r\n"
      "id=7&image=http://h/x/a.gif&link=http://h/ads/a.htm&day=3&month=4&year=2030\r\n"
      "q=8&w=b.swf&e=https://h/&r=1&t=2&y=2031=x&z\n"
      "\r\n"
      "id=9&image=http://h/c.gif&link=l&day=1&month=1&year=2099\r\n");
  ASSERT_EQ(list.status, AdvertListStatus::ok);
  EXPECT_EQ(list.version_text, "1.1");
  ASSERT_EQ(list.banners.size(), 2u);  // the empty line ends the banner lines
  const AdvertLine& a = list.banners[0];
  EXPECT_EQ(a.values, (std::array<std::string, 6>{"7", "http://h/x/a.gif", "http://h/ads/a.htm", "3", "4", "2030"}));
  EXPECT_EQ(a.file_name(), "a.gif");
  EXPECT_EQ(a.base(), "a");
  // Names are not examined; value 6 runs to the end of the line.
  EXPECT_EQ(list.banners[1].values, (std::array<std::string, 6>{"8", "b.swf", "https://h/", "1", "2", "2031=x&z"}));
  EXPECT_EQ(list.banners[1].file_name(), "b.swf");
  // Every line after the first still names its banner for the purge.
  EXPECT_EQ(list.named_bases, (Lines{"a", "b", "", "c"}));

  EXPECT_EQ(split_advert_line("id=1&image=x").values, (std::array<std::string, 6>{"1", "x", "", "", "", ""}));
  EXPECT_EQ(read_advert_list("1.2\r\n").version_text, "1.2");  // no "=": all of it
  EXPECT_EQ(read_advert_list("a=b=c\r\n").version_text, "b=c");
}

TEST(AdvertList, ErrorPagesEmptyAndOversizedDocumentsAreIgnoredWhole) {
  struct Case {
    std::string bytes;
    AdvertListStatus want;
  } cases[] = {
      {"", AdvertListStatus::empty},
      {"<FONT FACE=\"Arial\" size=2>\r\nid=1&image=a.gif\r\n", AdvertListStatus::error_page},
      {"Server ERROR in application\r\n", AdvertListStatus::error_page},
      {"version=1.0\r\nid=1&image=error.gif\r\n", AdvertListStatus::ok},  // only the first line counts
      {"<font face=Arial>\r\n", AdvertListStatus::ok},                    // without the quote it is no error page
      {std::string(kAdvertListMaxBytes + 1, 'x'), AdvertListStatus::too_large},
      {"v=1\r\n" + std::string(kAdvertListMaxLines, '\n'), AdvertListStatus::too_large},
      {"v=1\r\n" + std::string(kAdvertListMaxLines - 1, '\n'), AdvertListStatus::ok},
  };
  for (const auto& c : cases) EXPECT_EQ(read_advert_list(c.bytes).status, c.want) << c.bytes.substr(0, 40);
}

TEST(AdvertList, OnlyPlainBannerNamesPass) {
  for (const char* ok : {"a.gif", "brevaro-accounts.gif", "B.SWF", "x y.gif", "%2e%2e%5cevil.gif", "a.b.gif",
                         "COM10.gif", "console.gif", "CONx.gif"})
    EXPECT_TRUE(is_plain_banner_name(ok)) << ok;
  for (const char* bad :
       {"..\\..\\evil.gif", "a\\b.gif",  "a/b.gif",  "C:evil.gif",   "..gif",   "a..gif",      ".gif",
        "evil.gif.",        "evil.gif ", "evil.exe", "evil.gif.exe", "CON.gif", "con.swf",     "NUL.gif",
        "nul.tar.gif",      "COM1.gif",  "lpt9.swf", "AUX .gif",     "PRN.gif", "CONOUT$.gif", "a\tb.gif",
        "a\x7f.gif",        "a*.gif",    "a?.gif",   "a|b.gif",      "a<b.gif", "a\".gif",     " a.gif",
        ".hidden.gif",      "",          "none"})
    EXPECT_FALSE(is_plain_banner_name(bad)) << bad;
  EXPECT_FALSE(is_plain_banner_name(std::string(300, 'a') + ".gif"));
  // ASCII only, and at most 64 characters with the extension.
  for (const char* bad : {"Δημήτρης.gif", "李雷.swf", "\xc3.gif", "😀.gif"}) EXPECT_FALSE(is_plain_banner_name(bad)) << bad;
  EXPECT_TRUE(is_plain_banner_name(std::string(60, 'a') + ".gif"));
  EXPECT_FALSE(is_plain_banner_name(std::string(61, 'a') + ".gif"));
}

TEST(AdvertList, OnlyWebLinksPass) {
  for (const char* ok : {"http://127.0.0.1/ads/a.htm", "https://example.com/", "HTTP://X/y?a=b", "http://h"})
    EXPECT_TRUE(is_web_link(ok)) << ok;
  for (const char* bad : {"file:///C:/x.exe", "javascript:alert(1)", "C:\\Windows\\notepad.exe", "\\\\host\\share\\x",
                          "", "http://", "http:///etc", "http:x", "ftp://h/", "mailto:a@b", "http://h/a b",
                          "http://h/\" --flag", "http://h/\r\n", " http://h/", "about:blank"})
    EXPECT_FALSE(is_web_link(bad)) << bad;
}

TEST(AdvertList, VersionNumbers) {
  struct Case {
    const char* text;
    std::optional<double> want;
  } cases[] = {{"1.1", 1.1},
               {"1.0", 1.0},
               {" 2 ", 2.0},
               {"10", 10.0},
               {".5", 0.5},
               {"-1", -1.0},
               {"abc", std::nullopt},
               {"", std::nullopt},
               {"1.1.1", std::nullopt},
               {"1,1", std::nullopt},
               {"1.1b", std::nullopt},
               {".", std::nullopt}};
  for (const auto& c : cases) {
    const auto got = parse_version_number(c.text);
    ASSERT_EQ(got.has_value(), c.want.has_value()) << c.text;
    if (got) {
      EXPECT_DOUBLE_EQ(*got, *c.want) << c.text;
    }
  }
}

TEST(BannerDescriptionFile, FiveLinesRoundTripAndTheExpiryRule) {
  const AdvertLine line = split_advert_line("id=42&image=http://h/a.gif&link=http://h/l&day=6&month=3&year=2001");
  const std::string bytes = format_description(line);
  EXPECT_EQ(bytes, "2001\r\n3\r\n6\r\n42\r\nhttp://h/l\r\n");
  const BannerDescription d = parse_description(bytes);
  EXPECT_EQ(d.id, "42");
  EXPECT_EQ(d.link, "http://h/l");

  const base::Date today{2001, 3, 5};
  struct Case {
    std::string y, m, d;
    base::TimeOfDay now;
    bool expired;
  } cases[] = {
      {"2001", "3", "6", {23, 59, 59, 999}, false},  // tomorrow: still shown
      {"2001", "3", "5", {0, 0, 0, 1}, true},        // today, after midnight
      {"2001", "3", "5", {0, 0, 0, 0}, false},       // today, exactly midnight
      {"2001", "3", "4", {0, 0, 0, 0}, true},         {"2000", "12", "31", {12, 0, 0, 0}, true},
      {"2002", "1", "1", {12, 0, 0, 0}, false},       {"2001", "2", "29", {12, 0, 0, 0}, true},  // no such date
      {"2004", "2", "29", {12, 0, 0, 0}, false},      {"2001", "13", "1", {12, 0, 0, 0}, true},
      {"2001", "3", "x", {12, 0, 0, 0}, true},        {"", "", "", {12, 0, 0, 0}, true},
      {"99999999999", "3", "6", {12, 0, 0, 0}, true}, {" 2001", "+3", "06", {12, 0, 0, 0}, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(is_expired(BannerDescription{c.y, c.m, c.d, "", ""}, today, c.now), c.expired)
        << c.y << "-" << c.m << "-" << c.d;
  // Short files: the missing lines are empty, the date is bad.
  EXPECT_TRUE(is_expired(parse_description("2099\r\n12\r\n"), today, {}));
  EXPECT_EQ(parse_description("2099\n12\r31\r\nid").id, "id");
}

}  // namespace
}  // namespace brevaro::client
