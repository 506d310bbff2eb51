#include "text/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace morvane {
namespace {

// GBK characters written as bytes where the trail byte matters: 0x81 0x41 has the
// trail byte "A", 0x81 0x5D the trail byte "]", 0xD6 0xD0 is 中.
const std::string kLeadA = "\x81" "A";
const std::string kLeadBracket = "\x81" "]";
const std::string kZhong = "\xD6\xD0";

struct FindRow {
  std::string text;
  std::string pattern;
  int start;
  bool ignoreCase;
  int expected;
};

TEST(FindText, Table) {
  const std::vector<FindRow> rows = {
      // Empty patterns: 1 whenever the searched part is non-empty.
      {"abc", "", 1, false, 1},
      {"abc", "", 2, false, 1},
      {"abc", "", 3, false, 1},
      {"abc", "", 4, false, -1},
      {"abc", "", 5, false, -1},
      {"", "", 1, false, -1},
      {"", "a", 1, false, -1},
      // Start positions, clamped below.
      {"abc", "c", 4, false, -1},
      {"abc", "c", 0, false, 3},
      {"abc", "c", INT_MIN, false, 3},
      {"abc", "c", INT_MAX, false, -1},
      {"abc", "c", 3, false, 3},
      {"abcabc", "abc", 2, false, 4},
      {"abc", "abcd", 1, false, -1},
      {"abc", "abc", 1, false, 1},
      // Case folding is ASCII only.
      {"xABc", "abC", 1, true, 2},
      {"xABc", "abC", 1, false, -1},
      {"[ZR:IMAGE,x]", "[zr:image", 1, true, 1},
      {"A" + kZhong, kZhong, 1, true, 2},
      // Two-byte characters: never matched on their trail byte.
      {kLeadA, "A", 1, false, -1},
      {kLeadA + "A", "A", 1, false, 3},
      {kLeadA, "a", 1, true, -1},
      {kLeadBracket + "]", "]", 1, false, 3},
      {kZhong + kZhong, "\xD0\xD6", 1, false, -1},
      {kZhong + "abc" + kZhong, kZhong, 2, false, 6},
      // Counting starts at the searched part: a start on a trail byte reads it as a character.
      {kLeadA, "A", 2, false, 2},
      {"x" + kLeadA, "A", 3, false, 3},
      // A lead byte ending the text is its own character.
      {"ab\x81", "\x81", 1, false, 3},
      {"ab\x81", "b\x81", 1, false, 2},
      {"\x81", "\x81", 1, false, 1},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(FindText(r.text, r.pattern, r.start, r.ignoreCase), r.expected)
        << "text=" << r.text << " pattern=" << r.pattern << " start=" << r.start;
  }
}

TEST(FindTextBackward, Table) {
  const std::vector<FindRow> rows = {
      {"abcabc", "c", 6, false, 3},  // the match ending at byte 6 is outside bytes 1..5
      {"abcabc", "c", 7, false, 6},
      {"abcabc", "c", kWholeText, false, 6},
      {"abcabc", "c", 1, false, -1},
      {"abcabc", "c", 0, false, -1},
      {"abcabc", "c", -5, false, -1},
      {"abcabc", "c", INT_MAX, false, 6},
      {"abcabc", "abc", 6, false, 1},
      {"abcabc", "bca", kWholeText, false, 2},
      {"aaaa", "aa", kWholeText, false, 3},  // every match counts, overlaps too
      {"abc", "", kWholeText, false, 1},
      {"abc", "", 2, false, 1},
      {"abc", "", 1, false, -1},
      {"", "", kWholeText, false, -1},
      {"", "a", kWholeText, false, -1},
      {"xAbxaB", "ab", kWholeText, true, 5},
      {"xAbxaB", "ab", kWholeText, false, -1},
      {kLeadA + "x", "A", kWholeText, false, -1},
      {"A" + kLeadA, "A", kWholeText, false, 1},
      {kZhong + "=" + kZhong + "=", "=", kWholeText, false, 6},
      {kZhong + "=" + kZhong + "=", "=", 6, false, 3},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(FindTextBackward(r.text, r.pattern, r.start, r.ignoreCase), r.expected)
        << "text=" << r.text << " pattern=" << r.pattern << " start=" << r.start;
  }
}

TEST(Slicing, LeftRightMid) {
  EXPECT_EQ(TextLeft("abc", 2), "ab");
  EXPECT_EQ(TextLeft("abc", 9), "abc");
  EXPECT_EQ(TextLeft("abc", 0), "");
  EXPECT_EQ(TextLeft("abc", -1), "");
  EXPECT_EQ(TextLeft("abc", INT_MAX), "abc");
  EXPECT_EQ(TextRight("abc", 2), "bc");
  EXPECT_EQ(TextRight("abc", 9), "abc");
  EXPECT_EQ(TextRight("abc", 0), "");
  EXPECT_EQ(TextRight("abc", INT_MIN), "");
  EXPECT_EQ(TextMid("abcde", 2, 3), "bcd");
  EXPECT_EQ(TextMid("abcde", 4, 9), "de");
  EXPECT_EQ(TextMid("abcde", 5, INT_MAX), "e");
  EXPECT_EQ(TextMid("abcde", 6, 1), "");
  EXPECT_EQ(TextMid("abcde", 0, 2), "");
  EXPECT_EQ(TextMid("abcde", -3, 2), "");
  EXPECT_EQ(TextMid("abcde", 1, 0), "");
  EXPECT_EQ(TextMid("", 1, 1), "");
  // Byte-wise: a cut may split a character.
  EXPECT_EQ(TextLeft(kZhong, 1), "\xD6");
}

struct ReplaceRow {
  std::string text, old, replacement;
  int start, count;
  bool caseSensitive;
  std::string expected;
};

TEST(ReplaceText, Table) {
  const std::vector<ReplaceRow> rows = {
      {"a-b-c", "-", "+", 1, kAllOccurrences, true, "a+b+c"},
      {"a-b-c", "-", "", 1, kAllOccurrences, true, "abc"},
      {"a-b-c", "-", "+", 1, 1, true, "a+b-c"},
      {"a-b-c", "-", "+", 3, kAllOccurrences, true, "a-b+c"},
      {"a-b-c", "-", "+", 0, kAllOccurrences, true, "a+b+c"},
      {"a-b-c", "-", "+", -9, kAllOccurrences, true, "a+b+c"},
      {"a-b-c", "-", "+", 1, -7, true, "a+b+c"},  // any negative count: all
      {"a-b-c", "-", "+", 1, 0, true, "a-b-c"},
      {"a-b-c", "-", "+", 6, kAllOccurrences, true, "a-b-c"},
      {"a-b-c", "-", "+", 5, kAllOccurrences, true, "a-b-c"},
      {"a-b-c", "", "+", 1, kAllOccurrences, true, "a-b-c"},
      {"", "-", "+", 1, kAllOccurrences, true, ""},
      // No overlaps, no rescanning of the replacement.
      {"aaaa", "aa", "b", 1, kAllOccurrences, true, "bb"},
      {"aaa", "aa", "b", 1, kAllOccurrences, true, "ba"},
      {"ab", "a", "aa", 1, kAllOccurrences, true, "aab"},
      {"ab", "ab", "abab", 1, kAllOccurrences, true, "abab"},
      // Case folding.
      {"Cat cAT", "cat", "dog", 1, kAllOccurrences, false, "dog dog"},
      {"Cat cAT", "cat", "dog", 1, kAllOccurrences, true, "Cat cAT"},
      // Trail bytes are never replaced.
      {kLeadA + "A", "A", "B", 1, kAllOccurrences, true, kLeadA + "B"},
      {kLeadBracket + "]", "]", "&#93;", 1, kAllOccurrences, true, kLeadBracket + "&#93;"},
      {kZhong + "x" + kZhong, kZhong, "y", 1, kAllOccurrences, true, "yxy"},
      {"a#引号b", "#引号", "\"", 1, kAllOccurrences, true, "a\"b"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(ReplaceText(r.text, r.old, r.replacement, r.start, r.count, r.caseSensitive), r.expected)
        << "text=" << r.text << " old=" << r.old << " start=" << r.start << " count=" << r.count;
  }
}

TEST(SplitText, Table) {
  using Pieces = std::vector<std::string>;
  const struct {
    std::string text, separator;
    Pieces expected;
  } rows[] = {
      {"a*b*", "*", {"a", "b"}},
      {"a**b", "*", {"a", "", "b"}},
      {"*a", "*", {"", "a"}},
      {"*", "*", {""}},
      {"**", "*", {"", ""}},
      {"a*b", "*", {"a", "b"}},
      {"ab", "*", {"ab"}},
      {"", "*", {}},
      {"", "", {}},
      {"a*b", "", {"a*b"}},
      {"1\r\n2\r\n\r\n3", "\r\n", {"1", "2", "", "3"}},
      {"k=v#x=y#", "#", {"k=v", "x=y"}},
      // A separator byte inside a character does not cut it.
      {kLeadA + "A" + kLeadA, "A", {kLeadA, kLeadA}},
      {kZhong + "*" + kZhong, "*", {kZhong, kZhong}},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(SplitText(r.text, r.separator), r.expected) << "text=" << r.text;
  }
}

TEST(TextToInt, Table) {
  const struct {
    std::string text;
    int64_t expected;
  } rows[] = {
      {"", 0},
      {"abc", 0},
      {" -12x", -12},
      {"\t\r\n 7", 7},
      {"+42", 42},
      {"-", 0},
      {"+-1", 0},
      {"- 1", 0},
      {"5秒", 5},
      {"１０", 10},
      {"－３", -3},
      {"＋３", 3},
      {"　12", 12},       // full-width blank
      {"1２3", 123},       // mixed widths
      {"12 34", 12},
      {"秒5", 0},
      {"\xA3", 0},         // lone lead byte
      {"1\xA3", 1},
      {"0001", 1},
      {"10001", 10001},
      {"2147483648", 2147483648LL},
      {"9223372036854775807", INT64_MAX},
      {"9223372036854775808", INT64_MAX},
      {"99999999999999999999999", INT64_MAX},
      {"-9223372036854775808", INT64_MIN},
      {"-9223372036854775809", INT64_MIN},
      {"-99999999999999999999999", INT64_MIN},
  };
  for (const auto& r : rows) EXPECT_EQ(TextToInt(r.text), r.expected) << "text=" << r.text;

  EXPECT_EQ(TextToInt32("2147483647"), INT32_MAX);
  EXPECT_EQ(TextToInt32("2147483648"), INT32_MAX);
  EXPECT_EQ(TextToInt32("-2147483649"), INT32_MIN);
  EXPECT_EQ(TextToInt32(" 30秒"), 30);
}

TEST(TextToInt, FoldsTheFullWidthPunctuation) {
  // ～ and ＊ fold to ASCII and so end the number like any other non-digit.
  EXPECT_EQ(TextToInt("3～5"), 3);
  EXPECT_EQ(TextToInt("～5"), 0);
  EXPECT_EQ(TextToInt("\xA1\xEE" "5"), 0);
  // A folding lead byte whose trail is out of range is an ordinary character.
  EXPECT_EQ(TextToInt("\xA3\xA0" "5"), 0);
}

struct MarkerRow {
  std::string text, marker;
  int position;
  std::string expected;
};

TEST(TextAfter, Table) {
  const std::vector<MarkerRow> rows = {
      {"a=b=c", "=", 0, "c"},
      {"a=b=c", "=", -1, "b=c"},
      {"a=b=c", "=", 1, "c"},     // last occurrence within bytes 1..4
      {"a=b=c", "=", 2, "b=c"},   // within bytes 1..3
      {"a=b=c", "=", 3, "b=c"},
      {"a=b=c", "=", 4, ""},
      {"a=b=c", "=", 5, ""},
      {"a=b=c", "=", INT_MAX, ""},
      {"a=b=c", "=", -2, "b=c"},  // first at or after byte 2
      {"a=b=c", "=", -3, "c"},
      {"a=b=c", "=", -5, ""},
      {"a=b=c", "=", INT_MIN, ""},
      {"abc=", "=", 0, ""},
      {"abc", "=", 0, ""},
      {"", "=", 0, ""},
      {"key:=value", ":=", 0, "value"},
      {"A=b", "a=", 0, ""},
      {kZhong + "=" + kZhong, "=", 0, kZhong},
      {kLeadA + "Ab", "A", 0, "b"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(TextAfter(r.text, r.marker, r.position), r.expected)
        << "text=" << r.text << " marker=" << r.marker << " position=" << r.position;
  }
  EXPECT_EQ(TextAfter("A=b", "a=", 0, true), "b");
}

TEST(TextBefore, Table) {
  const std::vector<MarkerRow> rows = {
      {"a=b=c", "=", 0, "a"},
      {"a=b=c", "=", 1, "a"},
      {"a=b=c", "=", 2, "a"},
      {"a=b=c", "=", 3, "a=b"},
      {"a=b=c", "=", 5, ""},
      {"a=b=c", "=", INT_MAX, ""},
      {"a=b=c", "=", -1, "a=b"},
      {"a=b=c", "=", -2, "a"},    // last occurrence within bytes 1..3
      {"a=b=c", "=", -3, "a"},
      {"a=b=c", "=", -4, ""},
      {"a=b=c", "=", INT_MIN, ""},
      {"=abc", "=", 0, ""},
      {"abc", "=", 0, ""},
      {"", "=", -1, ""},
      {kZhong + "=" + kZhong, "=", 0, kZhong},
      {kLeadA + "Ab", "A", 0, kLeadA},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(TextBefore(r.text, r.marker, r.position), r.expected)
        << "text=" << r.text << " marker=" << r.marker << " position=" << r.position;
  }
}

TEST(TextBetween, Table) {
  const struct {
    std::string text, left, right;
    int position;
    std::string expected;
  } rows[] = {
      {"[x]", "[", "]", 0, "x"},
      {"[]", "[", "]", 0, ""},
      {"[x", "[", "]", 0, ""},
      {"x]", "[", "]", 0, ""},
      {"[a][b]", "[", "]", 0, "a"},
      {"[a][b]", "[", "]", 2, "b"},    // a byte position, not an occurrence number
      {"[a][b]", "[", "]", 4, "b"},
      {"[a][b]", "[", "]", 5, ""},
      {"[a][b]", "[", "]", -7, "a"},
      {"]x[y]", "[", "]", 0, "y"},     // the right marker is searched after the left one
      {"say \"hi\" now", "#引号", "#引号", 0, "hi"},
      {"k=\"v\"", "k=#引号", "#引号", 0, "v"},
      {"urls=http://a/b,x=1]", "urls=", ",", 0, "http://a/b"},
      {"<" + kZhong + ">", "<", ">", 0, kZhong},
      {"<" + kLeadBracket + "]", "<", "]", 0, kLeadBracket},  // a trail "]" does not close
      // Empty markers follow the empty-pattern rule of FindText.
      {"abc]", "", "]", 0, "abc"},
      {"[abc", "[", "", 0, ""},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(TextBetween(r.text, r.left, r.right, r.position), r.expected)
        << "text=" << r.text << " left=" << r.left << " right=" << r.right;
  }
}

TEST(CountOccurrences, Table) {
  const struct {
    std::string text, marker;
    bool caseSensitive;
    int expected;
  } rows[] = {
      {"aaaa", "aa", false, 2},
      {"aaaaa", "aa", false, 2},
      {"a [ZR:IMAGE,urls=x] b", "[ZR:image", false, 1},
      {"a [ZR:IMAGE,urls=x] b", "[ZR:image", true, 0},
      {"", "a", false, 0},
      {"abc", "", false, 0},
      {"", "", true, 0},
      {"abcabc", "abc", true, 2},
      {kLeadA + "A", "A", true, 1},
      {kLeadA + "a", "A", false, 1},
      {kZhong + kZhong + kZhong, kZhong, true, 3},
      {"xyz", "q", true, 0},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(CountOccurrences(r.text, r.marker, r.caseSensitive), r.expected)
        << "text=" << r.text << " marker=" << r.marker;
  }
}

TEST(TidyLineBreaks, Table) {
  const struct {
    std::string text, expected;
  } rows[] = {
      {"\r\nabc", "abc"},
      {"abc\r\n\r\ndef", "abc\r\ndef"},
      {"abc\r\ndef", "abc\r\ndef"},
      {"abc\r\n", "abc"},
      {"\r\nabc\r\n", "abc"},
      {"a\r\n\r\n\r\nb", "a\r\nb"},
      {"", ""},
      {"\r\n", ""},
      {"\r\n\r\n", ""},
      {"\r\n\r\n\r\n", ""},
      // Only one break is dropped at each end; the rest of a second one stays by the rule.
      {"\r\n\r\nabc", "\nabc"},
      {"abc\r\n\r\n", "abc\r"},
      {"\r\n\r\nabc\r\n\r\n", "\nabc\r"},
      {"abc", "abc"},
      // Single CR and LF by the rule: a CR at a line start, an LF at a line end.
      {"\rabc", "abc"},
      {"abc\n", "abc"},
      {"abc\r", "abc\r"},
      {"\nabc", "\nabc"},
      {"a\n\nb", "a\nb"},
      {"a\r\rb", "a\rb"},
      {"a\n\rb", "ab"},
      {"a\r\r\nb", "a\r\nb"},
      {"\r", ""},
      {"\n", ""},
      {"\r\r", ""},
      {"\n\n", ""},
      {kZhong + "\r\n\r\n" + kZhong, kZhong + "\r\n" + kZhong},
  };
  for (const auto& r : rows) EXPECT_EQ(TidyLineBreaks(r.text), r.expected) << "text=" << r.text;
}

// Long texts: every helper walks them without recursion and returns the right result.
TEST(LongTexts, OneMebibyte) {
  std::string text;
  while (text.size() < (1u << 20)) text += kZhong + "ab\r\n\r\n" + kLeadA;
  text += "[end]";
  const int length = static_cast<int>(text.size());

  EXPECT_EQ(FindText(text, "[end]"), length - 4);
  EXPECT_EQ(FindText(text, "A"), -1);
  EXPECT_EQ(FindTextBackward(text, "ab"), length - 5 - 10 + 3);
  EXPECT_EQ(TextBetween(text, "[", "]"), "end");
  EXPECT_EQ(TextAfter(text, "[end"), "]");
  EXPECT_EQ(TextBefore(text, "ab"), kZhong);
  const int units = static_cast<int>((text.size() - 5) / 10);
  EXPECT_EQ(CountOccurrences(text, "ab", true), units);
  EXPECT_EQ(SplitText(text, "\r\n").size(), static_cast<size_t>(2 * units + 1));
  const std::string tidy = TidyLineBreaks(text);
  EXPECT_EQ(tidy.size(), text.size() - 2 * static_cast<size_t>(units));
  EXPECT_EQ(ReplaceText(text, "\r\n", "").size(), text.size() - 4 * static_cast<size_t>(units));
  EXPECT_EQ(TextToInt(std::string(1 << 20, '9')), INT64_MAX);
  EXPECT_EQ(TidyLineBreaks(std::string(1 << 20, '\n')), "");
}

}  // namespace
}  // namespace morvane
