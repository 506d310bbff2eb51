// What every ProfileStore does, checked against the fake natively and against
// the Win32 store under Wine. The settings file's encoding relies on exactly
// these behaviours, the platform's quirks included.
//
// Instantiate with an environment type that has:
//   ProfileStore& store();
//   std::string path(std::string_view name);       // a file in a writable directory
//   std::string missingDirectoryPath();            // a file in a directory that does not exist
//   void writeRaw(const std::string& path, std::string_view bytes);
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "settings/settings_file.h"

namespace morvane {

// The file's non-empty lines (the platform may put blank lines between sections).
inline std::vector<std::string> FileLines(std::string_view bytes) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos <= bytes.size()) {
    size_t end = bytes.find("\r\n", pos);
    if (end == std::string_view::npos) end = bytes.size();
    if (end > pos) lines.emplace_back(bytes.substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

// Every two-byte GBK character, in order.
inline std::string AllGbkCharacters() {
  std::string all;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      all += static_cast<char>(lead);
      all += static_cast<char>(trail);
    }
  }
  return all;
}

template <typename Env>
class ProfileStoreContract : public ::testing::Test {
 protected:
  Env env;
  ProfileStore& store() { return env.store(); }
};

TYPED_TEST_SUITE_P(ProfileStoreContract);

TYPED_TEST_P(ProfileStoreContract, MissingFileReadsEmptyAndDeletesFine) {
  const std::string file = this->env.path("无此文件.ini");
  EXPECT_EQ(this->store().readValue(file, "节", "键"), "");
  EXPECT_EQ(this->store().readFile(file), std::nullopt);
  EXPECT_TRUE(this->store().deleteFile(file));
}

TYPED_TEST_P(ProfileStoreContract, ValuesTheEncodingProducesComeBackExactly) {
  const std::string file = this->env.path("值.ini");
  std::string ascii;
  for (int c = 0x20; c <= 0x7F; ++c) ascii += static_cast<char>(c);
  const std::vector<std::string> values = {
      "abc",
      "中文，全角　空格",
      "a><br><b#引号c",
      "a=b;c[d]",
      "><20><x><27><",
      "x" + ascii + "x",
      AllGbkCharacters(),  // 47,880 bytes
      std::string(32766, 'a'),
      std::string(32767, 'b'),
      std::string(50000, 'c'),
      "",
  };
  for (size_t i = 0; i < values.size(); ++i) {
    const std::string key = "键" + std::to_string(i);
    ASSERT_TRUE(this->store().writeValue(file, "节", key, values[i])) << i;
  }
  // Read after all writes, so a later write cannot have spoilt an earlier value.
  for (size_t i = 0; i < values.size(); ++i) {
    const std::string value = this->store().readValue(file, "节", "键" + std::to_string(i));
    EXPECT_EQ(value.size(), values[i].size()) << i;
    EXPECT_TRUE(value == values[i]) << i;
  }
}

// The quirks the value encoding has to get around.
TYPED_TEST_P(ProfileStoreContract, ReaderTrimsStripsQuotesAndBreaksLines) {
  const std::string file = this->env.path("怪癖.ini");
  struct Row {
    std::string written, read;
  };
  const std::vector<Row> rows = {
      {" a b ", "a b"},   {"\tx\t", "x"},       {"'q'", "q"},  {"\"d\"", "d"},    {"'q", "'q"},
      {"q'", "q'"},       {"'", "'"},           {"x\ry", "x"}, {"x\ny", "x"},     {"x\r\ny", "x"},
      {"\x81", "?"},      {"a\x81" "0b", "a?b"}, {"\x1a" "y", "y"},
  };
  for (size_t i = 0; i < rows.size(); ++i) {
    ASSERT_TRUE(this->store().writeValue(file, "节", "键" + std::to_string(i), rows[i].written)) << i;
  }
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(this->store().readValue(file, "节", "键" + std::to_string(i)), rows[i].read) << i;
  }
}

TYPED_TEST_P(ProfileStoreContract, FileHoldsSectionsAndKeysInWritingOrder) {
  const std::string file = this->env.path("布局.ini");
  ASSERT_TRUE(this->store().writeValue(file, "选择框", "选择框_群匿名", "假"));
  ASSERT_TRUE(this->store().writeValue(file, "选择框", "选择框_时间开关", "真"));
  ASSERT_TRUE(this->store().writeValue(file, "编辑框", "编辑框_主人", "12345"));
  ASSERT_TRUE(this->store().writeValue(file, "选择框", "选择框_群匿名", "真"));  // in place
  ASSERT_TRUE(this->store().flush(file));
  const auto bytes = this->store().readFile(file);
  ASSERT_TRUE(bytes.has_value());
  EXPECT_THAT(FileLines(*bytes), ::testing::ElementsAre("[选择框]", "选择框_群匿名=真", "选择框_时间开关=真",
                                                        "[编辑框]", "编辑框_主人=12345"));
}

TYPED_TEST_P(ProfileStoreContract, ReplaceSwapsInTheNewFileWhole) {
  const std::string target = this->env.path("目标.ini");
  const std::string next = target + ".new";
  ASSERT_TRUE(this->store().writeValue(target, "节", "旧", "1"));
  ASSERT_TRUE(this->store().writeValue(target, "节", "共", "old"));
  EXPECT_EQ(this->store().readValue(target, "节", "共"), "old");  // now known to any cache

  ASSERT_TRUE(this->store().writeValue(next, "节", "共", "new"));
  ASSERT_TRUE(this->store().flush(next));
  ASSERT_TRUE(this->store().replaceFile(next, target));
  EXPECT_EQ(this->store().readFile(next), std::nullopt);
  EXPECT_EQ(this->store().readValue(target, "节", "共"), "new");
  EXPECT_EQ(this->store().readValue(target, "节", "旧"), "");

  // The moved-away name starts afresh: no key of the earlier file comes back.
  ASSERT_TRUE(this->store().writeValue(next, "节", "再", "2"));
  EXPECT_EQ(this->store().readValue(next, "节", "共"), "");
  EXPECT_EQ(this->store().readValue(next, "节", "再"), "2");
}

TYPED_TEST_P(ProfileStoreContract, ReplaceOntoMissingTargetAndDelete) {
  const std::string target = this->env.path("新目标.ini");
  const std::string next = target + ".new";
  ASSERT_TRUE(this->store().writeValue(next, "节", "键", "值"));
  ASSERT_TRUE(this->store().replaceFile(next, target));
  EXPECT_EQ(this->store().readValue(target, "节", "键"), "值");

  EXPECT_TRUE(this->store().deleteFile(target));
  EXPECT_EQ(this->store().readValue(target, "节", "键"), "");
  EXPECT_EQ(this->store().readFile(target), std::nullopt);
  ASSERT_TRUE(this->store().writeValue(target, "节", "另", "x"));
  EXPECT_EQ(this->store().readValue(target, "节", "键"), "");
}

TYPED_TEST_P(ProfileStoreContract, ReadFileGivesEveryByte) {
  const std::string file = this->env.path("图片.png");
  std::string bytes;
  for (int i = 0; i < 3 * 256; ++i) bytes += static_cast<char>(i % 256);
  this->env.writeRaw(file, bytes);
  EXPECT_EQ(this->store().readFile(file), bytes);
  this->env.writeRaw(file, "");
  EXPECT_EQ(this->store().readFile(file), "");
}

TYPED_TEST_P(ProfileStoreContract, WritingIntoMissingDirectoryFails) {
  const std::string file = this->env.missingDirectoryPath();
  EXPECT_FALSE(this->store().writeValue(file, "节", "键", "值"));
  EXPECT_EQ(this->store().readValue(file, "节", "键"), "");
  EXPECT_FALSE(this->store().replaceFile(this->env.path("无此文件.ini"), this->env.path("别处.ini")));
}

REGISTER_TYPED_TEST_SUITE_P(ProfileStoreContract, MissingFileReadsEmptyAndDeletesFine,
                            ValuesTheEncodingProducesComeBackExactly, ReaderTrimsStripsQuotesAndBreaksLines,
                            FileHoldsSectionsAndKeysInWritingOrder, ReplaceSwapsInTheNewFileWhole,
                            ReplaceOntoMissingTargetAndDelete, ReadFileGivesEveryByte,
                            WritingIntoMissingDirectoryFails);

}  // namespace morvane
