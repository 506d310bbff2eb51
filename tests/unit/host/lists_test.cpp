#include "host/lists.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace morvane {
namespace {

std::string Int16(int v) {
  const auto u = static_cast<uint16_t>(v);
  return {static_cast<char>(u >> 8), static_cast<char>(u & 0xFF)};
}
std::string Int32(int64_t v) {
  const auto u = static_cast<uint32_t>(v);
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>((u >> shift) & 0xFF);
  return s;
}
std::string Int64(int64_t v) {
  const auto u = static_cast<uint64_t>(v);
  std::string s;
  for (int shift = 56; shift >= 0; shift -= 8) s += static_cast<char>((u >> shift) & 0xFF);
  return s;
}
std::string Text(const std::string& t) { return Int16(static_cast<int>(t.size())) + t; }

TEST(Base64, KnownVectors) {
  const struct {
    std::string bytes, text;
  } rows[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {std::string("\0\0\0\x01", 4), "AAAAAQ=="},
      {"\xFB\xFF\xBF", "+/+/"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(EncodeBase64(r.bytes), r.text);
    EXPECT_EQ(DecodeBase64(r.text), r.bytes) << r.text;
  }
}

TEST(Base64, RoundTripsEveryByteAndLength) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  for (size_t n = 0; n <= all.size(); ++n) {
    const std::string bytes = all.substr(all.size() - n);
    EXPECT_EQ(DecodeBase64(EncodeBase64(bytes)), bytes) << n;
  }
}

TEST(Base64, ToleratedForms) {
  EXPECT_EQ(DecodeBase64("Zm9v\r\nYmFy"), "foobar");
  EXPECT_EQ(DecodeBase64(" Zm 9v\tYg==\r\n"), "foob");
  EXPECT_EQ(DecodeBase64("Zm9vYg"), "foob");   // padding left out
  EXPECT_EQ(DecodeBase64("Zm9vYmE"), "fooba");
  EXPECT_EQ(DecodeBase64("Zh=="), "f");        // unused low bits ignored
  EXPECT_EQ(DecodeBase64("\r\n"), "");
}

TEST(Base64, RejectsWhatDoesNotDecode) {
  for (const std::string& text : std::vector<std::string>{"Zm9v!", "Zm9-", "Zm_v", "Zg==Zg==", "Zg=x", "Z", "Zm9vY", "Zm9vY===",
                                 "Zm9vYg=", "Zg===", "=", "====", "Zm9\x81v", std::string("Zm\0v", 4)}) {
    EXPECT_EQ(DecodeBase64(text), "") << text;
  }
}

TEST(PackedReader, ReadsBigEndianSignedValues) {
  const std::string block = Int16(-2) + Int32(-3) + Int64(INT64_MIN) + Int16(0x8000) + Int64(10001);
  PackedReader reader(block);
  EXPECT_EQ(reader.readInt16(), -2);
  EXPECT_EQ(reader.readInt32(), -3);
  EXPECT_EQ(reader.readInt64(), INT64_MIN);
  EXPECT_EQ(reader.readInt16(), -32768);
  EXPECT_EQ(reader.readInt64(), 10001);
}

TEST(PackedReader, ShortReadsTakeTheRestAsLowOrderBytes) {
  PackedReader reader("\x01\x02\x03");
  EXPECT_EQ(reader.readInt32(), 0x010203);
  EXPECT_EQ(reader.readInt32(), 0);
  EXPECT_EQ(reader.readInt64(), 0);
  EXPECT_EQ(reader.readText(), "");

  PackedReader sixBytes(std::string_view("\x00\x00\x00\x00\x27\x11\xFF", 6));
  EXPECT_EQ(sixBytes.readInt64(), 10001);

  PackedReader one("\xFF");
  EXPECT_EQ(one.readInt16(), 0xFF);  // missing high byte is zero, so not negative
}

TEST(PackedReader, BytesAndTexts) {
  const std::string block = Text("ab") + Int16(-1) + Int16(0) + Text("中文") + Int16(9) + "xyz";
  PackedReader reader(block);
  EXPECT_EQ(reader.readText(), "ab");
  EXPECT_EQ(reader.readText(), "");  // negative length: nothing more consumed
  EXPECT_EQ(reader.readText(), "");
  EXPECT_EQ(reader.readText(), "中文");
  EXPECT_EQ(reader.readText(), "xyz");  // cut at the end of the block
  EXPECT_EQ(reader.readText(), "");

  PackedReader bytes("abcdef");
  EXPECT_EQ(bytes.readBytes(0), "");
  EXPECT_EQ(bytes.readBytes(-4), "");
  EXPECT_EQ(bytes.readBytes(2), "ab");
  EXPECT_EQ(bytes.readBytes(INT64_MAX), "cdef");
  EXPECT_EQ(bytes.readBytes(1), "");
  EXPECT_EQ(bytes.readInt64(), 0);
}

TEST(DecodeAccounts, Blocks) {
  std::vector<int64_t> list;
  EXPECT_TRUE(DecodeAccounts(EncodeBase64(Int32(1) + Int64(10001)), list));
  EXPECT_EQ(list, std::vector<int64_t>{10001});

  EXPECT_TRUE(DecodeAccounts(EncodeBase64(Int32(2) + Int64(111) + Int64(-222)), list));
  EXPECT_EQ(list, (std::vector<int64_t>{111, -222}));

  // A count above the entries present: the missing ones come out as 0.
  EXPECT_TRUE(DecodeAccounts(EncodeBase64(Int32(3) + Int64(5)), list));
  EXPECT_EQ(list, (std::vector<int64_t>{5, 0, 0}));

  // Count 0 replaces the previous list.
  EXPECT_TRUE(DecodeAccounts(EncodeBase64(Int32(0) + Int64(5)), list));
  EXPECT_TRUE(list.empty());
}

TEST(DecodeAccounts, FailuresLeaveTheListAlone) {
  const std::vector<int64_t> previous = {42, 43};
  const std::string rows[] = {
      "",
      EncodeBase64(Int32(1) + std::string(7, '\0')),              // 11 bytes
      EncodeBase64(Int32(-1) + Int64(5)),
      EncodeBase64(Int32(INT32_MIN) + Int64(5)),
      EncodeBase64(Int32(kMaxListEntries + 1) + Int64(5)),
      EncodeBase64(Int32(INT32_MAX) + Int64(5)),
      "AAAAAQAAAAAAACcR!",                                      // not base64
      "AAAAAQAAAAA=AAAnEQ==",
  };
  for (const auto& text : rows) {
    std::vector<int64_t> list = previous;
    EXPECT_FALSE(DecodeAccounts(text, list)) << text;
    EXPECT_EQ(list, previous);
  }
}

TEST(DecodeAccounts, LargestAcceptedCount) {
  std::vector<int64_t> list;
  EXPECT_TRUE(DecodeAccounts(EncodeBase64(Int32(kMaxListEntries) + Int64(7)), list));
  ASSERT_EQ(list.size(), static_cast<size_t>(kMaxListEntries));
  EXPECT_EQ(list.front(), 7);
  EXPECT_EQ(list.back(), 0);
}

TEST(DecodeGroups, Blocks) {
  std::vector<GroupEntry> list;
  ASSERT_TRUE(DecodeGroups(EncodeBase64(Int32(2) + Int64(1) + Int64(123456) + Text("群一") + Int64(2) +
                                        Int64(654321) + Text("")),
                           list));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].firstNumber, 1);
  EXPECT_EQ(list[0].groupNumber, 123456);
  EXPECT_EQ(list[0].text, "群一");
  EXPECT_EQ(list[1].firstNumber, 2);
  EXPECT_EQ(list[1].groupNumber, 654321);
  EXPECT_EQ(list[1].text, "");

  // Exactly 10 bytes: count 0 is an empty list ...
  ASSERT_TRUE(DecodeGroups(EncodeBase64(Int32(0) + std::string(6, '\0')), list));
  EXPECT_TRUE(list.empty());
  // ... count 1 builds the first number from the 6 bytes left.
  ASSERT_TRUE(DecodeGroups(EncodeBase64(Int32(1) + std::string("\x00\x00\x00\x01\x02\x03", 6)), list));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].firstNumber, 0x010203);
  EXPECT_EQ(list[0].groupNumber, 0);
  EXPECT_EQ(list[0].text, "");

  // A text cut short by the end of the block keeps what is there.
  ASSERT_TRUE(DecodeGroups(EncodeBase64(Int32(1) + Int64(1) + Int64(2) + Int16(50) + "abc"), list));
  EXPECT_EQ(list[0].text, "abc");
}

TEST(DecodeGroups, FailuresLeaveTheListAlone) {
  const std::vector<GroupEntry> previous = {{1, 2, "x"}};
  const std::string rows[] = {
      "",
      EncodeBase64(Int32(0) + std::string(5, '\0')),  // 9 bytes
      EncodeBase64(Int32(-5) + Int64(1) + Int64(2)),
      EncodeBase64(Int32(kMaxListEntries + 1) + std::string(6, '\0')),
      "@@@@",
  };
  for (const auto& text : rows) {
    std::vector<GroupEntry> list = previous;
    EXPECT_FALSE(DecodeGroups(text, list)) << text;
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].text, "x");
  }
}

TEST(DecodeFriends, Blocks) {
  std::vector<FriendEntry> list;
  ASSERT_TRUE(DecodeFriends(EncodeBase64(Int32(2) + Int64(10001) + Text("好友") + Int64(10002) + Int16(-3)),
                            list));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].qq, 10001);
  EXPECT_EQ(list[0].text, "好友");
  EXPECT_EQ(list[1].qq, 10002);
  EXPECT_EQ(list[1].text, "");

  // Line-wrapped base64 as some hosts send it.
  std::string wrapped = EncodeBase64(Int32(1) + Int64(777) + Text("abcdefghijklmnopqrstuvwxyz"));
  wrapped.insert(16, "\r\n");
  ASSERT_TRUE(DecodeFriends(wrapped, list));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].qq, 777);
  EXPECT_EQ(list[0].text, "abcdefghijklmnopqrstuvwxyz");
}

TEST(DecodeFriends, FailuresLeaveTheListAlone) {
  const std::vector<FriendEntry> previous = {{9, "y"}};
  const std::string rows[] = {
      "",
      EncodeBase64(Int32(1) + Int16(0) + "abc"),  // 9 bytes
      EncodeBase64(Int32(-1) + Int64(1)),
      EncodeBase64(Int32(INT32_MAX) + Int64(1)),
      "AAAAAQ",                                   // decodes, but 4 bytes
  };
  for (const auto& text : rows) {
    std::vector<FriendEntry> list = previous;
    EXPECT_FALSE(DecodeFriends(text, list)) << text;
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].qq, 9);
  }
}

}  // namespace
}  // namespace morvane
