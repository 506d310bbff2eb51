#include "host/codes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace morvane {
namespace {

TEST(EscapeText, Table) {
  const struct {
    std::string text;
    bool escapeComma;
    std::string expected;
  } rows[] = {
      {"a&b[c]d,e", true, "a&amp;b&#91;c&#93;d&#44;e"},
      {"a&b[c]d,e", false, "a&amp;b&#91;c&#93;d,e"},
      {"", true, ""},
      {"plain text", true, "plain text"},
      {"&amp;", true, "&amp;amp;"},
      {"&#91;", false, "&amp;#91;"},
      {"[[]]", false, "&#91;&#91;&#93;&#93;"},
      {",,", true, "&#44;&#44;"},
      {"中文[图]", true, "中文&#91;图&#93;"},
      // A trail byte that equals "]" or "[" belongs to its character.
      {"\x81" "]" "]", true, "\x81" "]" "&#93;"},
      {"\x81" "[", true, "\x81" "["},
      // A lead byte at the end keeps nothing after it.
      {"[\x81", true, "&#91;\x81"},
  };
  for (const auto& r : rows) EXPECT_EQ(escapeText(r.text, r.escapeComma), r.expected) << r.text;
}

TEST(UnescapeText, Table) {
  const struct {
    std::string text, expected;
  } rows[] = {
      {"&amp;#44;", "&#44;"},
      {"&amp;#91;", "&#91;"},
      {"&amp;amp;", "&amp;"},
      {"a&amp;b&#91;c&#93;d&#44;e", "a&b[c]d,e"},
      {"&#91&#93;", "&#91]"},
      {"&lt;&#92;", "&lt;&#92;"},  // only the four entities exist
      {"&", "&"},
      {"&#4", "&#4"},
      {"", ""},
      {"\x81&#91;", "\x81&#91;"},  // "&" as a trail byte starts no entity
      {"\x81\x81&#91;", "\x81\x81["},
  };
  for (const auto& r : rows) EXPECT_EQ(unescapeText(r.text), r.expected) << r.text;
}

void ExpectRoundTrip(const std::string& t) {
  EXPECT_EQ(unescapeText(escapeText(t, true)), t);
  EXPECT_EQ(unescapeText(escapeText(t, false)), t);
}

TEST(EscapeText, RoundTripsEveryByte) {
  std::string all;
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    ExpectRoundTrip(one);
    all += one;
    // Each byte both as a lead and as a trail, and before every special character.
    for (const char special : std::string("&[],#;a\x81")) {
      ExpectRoundTrip(one + special);
      ExpectRoundTrip(std::string(1, special) + one);
    }
  }
  ExpectRoundTrip(all);
  ExpectRoundTrip(all.substr(1));  // shifted, so the pairs of two-byte characters change

  std::mt19937 rng(7);
  const std::string alphabet = "&[],#;amp91344\x81\xD6";
  for (int i = 0; i < 2000; ++i) {
    std::string t(rng() % 24, ' ');
    for (auto& c : t) c = alphabet[rng() % alphabet.size()];
    ExpectRoundTrip(t);
  }
}

TEST(Builders, Table) {
  const struct {
    std::string built, expected;
  } rows[] = {
      {faceCode(0), "[ZR:face,id=0]"},
      {faceCode(-5), "[ZR:face,id=-5]"},
      {faceCode(INT32_MAX), "[ZR:face,id=2147483647]"},
      {atCode(-1, false), "[@all] "},
      {atCode(-1, true), "[@all]"},
      {atCode(10001, true), "[@10001]"},
      {atCode(10001, false), "[@10001] "},
      {atCode(INT64_MAX, true), "[@9223372036854775807]"},
      {imagePathCode("C:\\data\\a,b.png"), "[ZR:image,path=C:\\data\\a&#44;b.png]"},
      {imagePathCode("C:\\数据\\合成后图片.png"), "[ZR:image,path=C:\\数据\\合成后图片.png]"},
      {imagePathCode(""), "[ZR:image,path=]"},
      {imageUrlCode("http://x/a?b=1&c=[2]"), "[ZR:image,urls=http://x/a?b=1&amp;c=&#91;2&#93;]"},
      {flashPictureCode("a,b"), "[ZR:flashpic,path=a&#44;b]"},
      {voiceCode("v.amr"), "[ZR:record,path=v.amr]"},
      {appCardCode(1, "{\"a\":1,\"b\":[2]}"), "[ZR:lightappelem,type=1,data={\"a\":1&#44;\"b\":&#91;2&#93;}]"},
      {appCardCode(0, "<x a=\"1\">&</x>"), "[ZR:richmsg,type=1,template_1=<x a=\"1\">&amp;</x>]"},
      {appCardCode(2, "anything"), ""},
      {appCardCode(-1, "anything"), ""},
  };
  for (const auto& r : rows) EXPECT_EQ(r.built, r.expected);
}

}  // namespace
}  // namespace morvane
