// The settings file's value encodings: the stored forms, files of earlier
// versions, and exact round trips through the platform's reader.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "fakes/profile_store_fake.h"
#include "settings/settings_file.h"
#include "text/text.h"

namespace morvane {
namespace {

// What a value comes back as after a write and a read through the platform.
std::string ThroughFile(std::string_view stored) {
  FakeProfileStore store;
  const std::string file = "C:\\fake\\t.ini";
  if (!store.writeValue(file, "s", "k", stored)) return "<write failed>";
  return store.readValue(file, "s", "k");
}

std::string EditRoundTrip(std::string_view text) { return DecodeEditValue(ThroughFile(EncodeEditValue(text))); }

std::string Hex(std::string_view s) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    out += digits[c >> 4];
    out += digits[c & 15];
    out += ' ';
  }
  return out;
}

TEST(EditValueTest, StoredForms) {
  struct Row {
    std::string text, stored;
  };
  const std::vector<Row> rows = {
      // The historical forms.
      {"", ""},
      {"12345\r\n67890", "12345><br><67890"},
      {"say \"hi\"", "say #引号hi#引号"},
      {"中文", "中文"},
      {"a=b#c*d", "a=b#c*d"},
      {"\r\n\r\n", "><br><><br><"},
      // Bytes the platform would not give back.
      {"a\rb", "a><0D><b"},
      {"a\nb", "a><0A><b"},
      {"\n\r", "><0A><><0D><"},
      {"a\tb\x01", "a><09><b><01><"},
      {" a b ", "><20><a b><20><"},
      {" ", "><20><"},
      {"'q'", "><27><q><27><"},
      {"'", "><27><"},
      {"it's", "it's"},
      {"\x80", "><80><"},
      {"\xFF", "><FF><"},
      {"x\xD6", "x><D6><"},              // a character cut after its lead byte
      {"\xD6" "a", "\xD6" "a"},          // a lead byte with a trail from the ASCII range is one character
      {"\xD6\x30", "><D6><0"},           // 0x30 is no trail byte
      // Literal text that would read as a code.
      {"a><b", "a><3E><<b"},
      {"><br><", "><3E><<br><3E><<"},
      {"#引号", "><23><引号"},
      {"#\"", "##引号"},
      {"><0D><", "><3E><<0D><3E><<"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(EncodeEditValue(row.text), row.stored) << Hex(row.text);
    EXPECT_EQ(DecodeEditValue(row.stored), row.text) << row.stored;
  }
}

// Files written before the escape existed: "><br><" and "#引号" read back as
// a line break and a double quote, whatever surrounds them.
TEST(EditValueTest, EarlierFilesDecodeAsBefore) {
  struct Row {
    std::string stored, text;
  };
  const std::vector<Row> rows = {
      {"a><br><b", "a\r\nb"},
      {"#引号x#引号", "\"x\""},
      {"><br><br><", "\r\nbr><"},
      {"##引号", "#\""},
      {"\xB0><br><", "\xB0><br><"},  // the ">" is the trail of a two-byte character
      {"><3e><", "><3e><"},          // lower-case hex is no escape
      {"><GG><", "><GG><"},
  };
  for (const Row& row : rows) EXPECT_EQ(DecodeEditValue(row.stored), row.text) << row.stored;

  // Any text free of the new escape decodes as the two historical replacements did.
  std::mt19937 random(7);
  const std::vector<std::string> alphabet = {">", "<", "br", "#", "引号", "引", "\r\n", "\"", "a", "\xB0", "0D"};
  for (int n = 0; n < 5000; ++n) {
    std::string stored;
    const int length = static_cast<int>(random() % 12);
    for (int i = 0; i < length; ++i) stored += alphabet[random() % alphabet.size()];
    if (stored.find("><0D><") != std::string::npos) continue;
    const std::string before = ReplaceText(ReplaceText(stored, "><br><", "\r\n"), "#引号", "\"");
    ASSERT_EQ(DecodeEditValue(stored), before) << Hex(stored);
  }
}

TEST(EditValueTest, EveryByteAndEveryPairRoundTrips) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(EditRoundTrip(all), all);
  std::string reversed(all.rbegin(), all.rend());
  EXPECT_EQ(EditRoundTrip(reversed), reversed);

  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      const std::string pair{static_cast<char>(a), static_cast<char>(b)};
      const std::string stored = EncodeEditValue(pair);
      ASSERT_EQ(stored.find_first_of("\r\n"), std::string::npos) << Hex(pair);
      ASSERT_EQ(DecodeEditValue(FakeProfileStore::ReadBack(stored)), pair) << Hex(pair);
    }
  }
}

TEST(EditValueTest, TextsMadeOfTrickyPiecesRoundTrip) {
  std::mt19937 random(11);
  const std::vector<std::string> pieces = {
      ">",  "<",     "br",   "><br><", "#",  "引号", "#引号", "\r",   "\n",     "\r\n", "\"", "'", " ", "\t",
      "0D", "><0D>", "\x81", "\x80",   "\xFF", "中", "|",     "<|>",  "<||>",   "A",    "=",  ";", "[", "\x1a",
  };
  for (int n = 0; n < 20000; ++n) {
    std::string text;
    const int length = static_cast<int>(random() % 10);
    for (int i = 0; i < length; ++i) text += pieces[random() % pieces.size()];
    ASSERT_EQ(EditRoundTrip(text), text) << Hex(text);
  }
}

TEST(ComboValueTest, StoredForms) {
  ComboState type = Settings::DefaultCombo(ChoiceField::forwardType);
  type.selected = 1;
  EXPECT_EQ(EncodeComboValue(type), "原文<|>0<||>图片<|>0<||>文字<|>0<||>1<|>图片");
  type.selected = -1;
  EXPECT_EQ(EncodeComboValue(type), "原文<|>0<||>图片<|>0<||>文字<|>0<||>-1<|>");
  EXPECT_EQ(EncodeComboValue(ComboState{}), "-1<|>");
  EXPECT_EQ(EncodeComboValue({{{"say \"x\"", 7}}, 0}), "say #引号x#引号<|>7<||>0<|>say #引号x#引号");
  EXPECT_EQ(EncodeComboValue({{{"a|b", -2}, {"'", 0}}, 1}), "a><7C><b<|>-2<||>'<|>0<||>1<|>><27><");
}

TEST(ComboValueTest, Decoding) {
  struct Row {
    std::string stored;
    ComboState state;
  };
  const std::vector<Row> rows = {
      {"原文<|>0<||>图片<|>0<||>文字<|>0<||>1<|>图片", {{{"原文", 0}, {"图片", 0}, {"文字", 0}}, 1}},
      {"甲<|>0<||>乙<|>0<||>9<|>乙", {{{"甲", 0}, {"乙", 0}}, 9}},  // Settings clamps the selection
      {"甲<|>5<||>-7<|>", {{{"甲", 5}}, -7}},
      {"#引号甲#引号<|>0<||>0<|>#引号甲#引号", {{{"\"甲\"", 0}}, 0}},
      {"甲<||>0<|>甲", {{{"", 0}}, 0}},  // a piece without "<|>" has neither text nor value
      {"2", {{}, 0}},
      {"<||>", {{}, 0}},
  };
  for (const Row& row : rows) {
    const ComboState state = DecodeComboValue(row.stored);
    EXPECT_EQ(state.items, row.state.items) << row.stored;
    EXPECT_EQ(state.selected, row.state.selected) << row.stored;
  }
}

TEST(ComboValueTest, ItemsOfAnyTextRoundTrip) {
  std::mt19937 random(5);
  const std::vector<std::string> pieces = {"<|>", "<||>", "|", "<", ">", "\r", "\n", "\r\n", "\"", "'",
                                           " ",   "#引号", "\x81", "项", "-1", "0"};
  auto randomText = [&] {
    std::string text;
    const int length = static_cast<int>(random() % 6);
    for (int i = 0; i < length; ++i) text += pieces[random() % pieces.size()];
    return text;
  };
  for (int n = 0; n < 5000; ++n) {
    ComboState state;
    const int count = static_cast<int>(random() % 4);
    for (int i = 0; i < count; ++i) state.items.push_back({randomText(), static_cast<int32_t>(random()) - 1000});
    state.selected = static_cast<int>(random() % (count + 1)) - 1;
    const ComboState back = DecodeComboValue(ThroughFile(EncodeComboValue(state)));
    ASSERT_EQ(back, state) << Hex(EncodeComboValue(state));
  }
}

TEST(SettingsFilePathTest, JoinsDirectoryAndNameAsTheyAre) {
  EXPECT_EQ(SettingsFilePath("C:\\机器人\\data\\"), "C:\\机器人\\data\\配置.ini");
  EXPECT_EQ(SettingsFilePath("C:\\data"), "C:\\data配置.ini");
  EXPECT_EQ(SettingsFilePath(""), "配置.ini");
}

}  // namespace
}  // namespace morvane
