#include "picture/watermark.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace morvane {
namespace {

// --- Text watermark layout ----------------------------------------------

TEST(TextWatermarkLayout, ComposerEntryReadsEveryField) {
  const auto entries = ParseTextWatermarks("T,30,50,微软雅黑,50,0,250,0,0");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0], (TextWatermark{"T", 30, 50, "微软雅黑", 50.0f, 0xFA000000u, true, true}));
}

TEST(TextWatermarkLayout, EmptyGivesTheTwoDefaultEntries) {
  EXPECT_EQ(DefaultTextWatermark(), "测试水印1,100,100,微软雅黑,60,0,100,0,0|测试水印2,100,200,黑体,60,16777215,255,0,0");
  const auto entries = ParseTextWatermarks("");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0], (TextWatermark{"测试水印1", 100, 100, "微软雅黑", 60.0f, 0x64000000u, true, true}));
  EXPECT_EQ(entries[1], (TextWatermark{"测试水印2", 100, 200, "黑体", 60.0f, 0xFFFFFFFFu, true, true}));
}

TEST(TextWatermarkLayout, FlagsAreExactlyZeroOrNot) {
  const auto entries = ParseTextWatermarks("a,1,2,f,3,255,255,1,1|b,1,2,f,3,0,0,00,x");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_FALSE(entries[0].antiAlias);
  EXPECT_FALSE(entries[0].bold);
  EXPECT_EQ(entries[0].argb, 0xFFFF0000u);
  EXPECT_FALSE(entries[1].antiAlias);
  EXPECT_FALSE(entries[1].bold);
}

TEST(TextWatermarkLayout, MalformedEntriesAreSkipped) {
  struct Row {
    std::string spec;
    std::vector<std::string> texts;
  };
  const std::vector<Row> rows = {
      {"a,1,2,f,3,0,0,0", {}},                  // 8 fields
      {"a,1,2,f,3,0,0,0,0,0", {}},              // 10 fields
      {"a,b,1,2,f,3,0,0,0,0", {}},              // a text holding ","
      {"no commas", {}},
      {"x|a,1,2,f,3,0,0,0,0", {"a"}},           // a text holding "|": only the part after it
      {"a,1,2,f,3,0,0,0,0|bad|b,1,2,f,3,0,0,0,0", {"a", "b"}},
      {"320.5 wide,320.5,240,f,3,0,0,0,0", {"320.5 wide"}},
  };
  for (const Row& row : rows) {
    std::vector<std::string> texts;
    for (const auto& e : ParseTextWatermarks(row.spec)) texts.push_back(e.text);
    EXPECT_EQ(texts, row.texts) << row.spec;
  }
  EXPECT_EQ(ParseTextWatermarks("t,320.5,240,f,3,0,0,0,0")[0].x, 320);
}

// --- Picture watermark layout ---------------------------------------------

TEST(PictureWatermarkLayout, FieldsPercentClampAndDefault) {
  struct Row {
    std::string spec;
    std::vector<PictureWatermark> entries;
  };
  const std::vector<Row> rows = {
      {"30,50,50", {{30, 50, 50}}},
      {"770,550,50", {{770, 550, 50}}},
      {"1,2,0", {{1, 2, 100}}},
      {"1,2,150", {{1, 2, 100}}},
      {"1,2,1|3,4,100", {{1, 2, 1}, {3, 4, 100}}},
      {"", {{-1, 10, 100}}},
      {"1,2|3,4,5,6|7,8,9", {{7, 8, 9}}},
      {"nocomma", {}},
  };
  for (const Row& row : rows) EXPECT_EQ(ParsePictureWatermarks(row.spec), row.entries) << row.spec;
  EXPECT_TRUE(PictureLayoutUsable(""));
  EXPECT_TRUE(PictureLayoutUsable("1,2"));
  EXPECT_FALSE(PictureLayoutUsable("12|3"));
}

// --- Colour --------------------------------------------------------------------------

TEST(ArgbFromColour, SwapsRedAndBlueAndTakesTheLowByteOfAlpha) {
  struct Row {
    int64_t colour, alpha;
    uint32_t argb;
  };
  const std::vector<Row> rows = {
      {0, 250, 0xFA000000u},       {255, 255, 0xFFFF0000u},     {0x00FF00, 255, 0xFF00FF00u},
      {0xFF0000, 255, 0xFF0000FFu}, {0x123456, 0x180, 0x80563412u}, {0x7F123456, 1, 0x01563412u},
      {-1, -1, 0xFFFFFFFFu},
  };
  for (const Row& row : rows) EXPECT_EQ(ArgbFromColour(row.colour, row.alpha), row.argb) << row.colour;
}

// --- Preset places ---------------------------------------------------------------------

class FixedPreset final : public PresetRandom {
 public:
  explicit FixedPreset(int value) : value_(value) {}
  int drawPreset() override {
    ++draws;
    return value_;
  }
  int draws = 0;

 private:
  int value_;
};

TEST(PresetPlacement, EveryRowOn800x600With100x80) {
  FixedPreset random(9);
  struct Row {
    int preset;
    Point at;
  };
  const std::vector<Row> rows = {
      {0, {5, 5}},     {1, {5, 5}},       {2, {350, 5}},     {3, {695, 5}},     {4, {695, 255}},  {5, {695, 515}},
      {6, {350, 515}}, {7, {5, 515}},     {8, {5, 260}},     {9, {350, 260}},   {42, {10, 10}},   {-1, {10, 10}},
      {11, {10, 10}},
  };
  for (const Row& row : rows) EXPECT_EQ(PresetPlacement(row.preset, 800, 600, 100, 80, random), row.at) << row.preset;
  EXPECT_EQ(random.draws, 0);
}

TEST(PresetPlacement, OddSizesTruncateTowardZero) {
  FixedPreset random(1);
  EXPECT_EQ(PresetPlacement(9, 641, 481, 51, 41, random), (Point{320 - 25, 240 - 20}));
  EXPECT_EQ(PresetPlacement(9, 10, 10, 51, 41, random), (Point{5 - 25, 5 - 20}));
}

TEST(PresetPlacement, TenDrawsAPlaceFromOneToNine) {
  for (int drawn = 1; drawn <= 9; ++drawn) {
    FixedPreset random(drawn), direct(drawn);
    EXPECT_EQ(PresetPlacement(10, 800, 600, 100, 80, random), PresetPlacement(drawn, 800, 600, 100, 80, direct));
    EXPECT_EQ(random.draws, 1);
  }
}

// --- Output formats ----------------------------------------------------------------------

TEST(ImageFormatGuid, FourFormatsAndBmpForTheRest) {
  EXPECT_EQ(ImageFormatGuid(0), "{B96B3CAB-0728-11D3-9D7B-0000F81EF32E}");
  EXPECT_EQ(ImageFormatGuid(1), "{B96B3CAF-0728-11D3-9D7B-0000F81EF32E}");
  EXPECT_EQ(ImageFormatGuid(2), "{B96B3CAE-0728-11D3-9D7B-0000F81EF32E}");
  EXPECT_EQ(ImageFormatGuid(3), "{B96B3CB5-0728-11D3-9D7B-0000F81EF32E}");
  for (int other : {-1, 4, 7, 1000}) EXPECT_EQ(ImageFormatGuid(other), ImageFormatGuid(0)) << other;
}

}  // namespace
}  // namespace morvane
