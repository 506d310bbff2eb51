// Watermark layouts and placement: the portable half of the renderer.
//
// A text watermark layout is entries joined by "|", each nine fields
// joined by ",": text, x, y, font, size, colour, alpha, renderFlag, weightFlag.
// A picture watermark layout is entries of three fields: x, y, percent.
// Malformed entries are skipped; numbers are read with TextToInt.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

// Used when a text layout is empty.
std::string DefaultTextWatermark();
// Used when a picture layout is empty: a random preset place at full size.
inline constexpr std::string_view kDefaultPictureWatermark = "-1,10,100";

struct TextWatermark {
  std::string text;  // GBK
  int x = 0;
  int y = 0;
  std::string font;  // GBK family name
  float size = 0;    // em size in pixels
  uint32_t argb = 0;
  bool antiAlias = false;  // renderFlag "0": AntiAliasGridFit, else SystemDefault
  bool bold = false;       // weightFlag "0": bold, else regular
  bool operator==(const TextWatermark&) const = default;
};

// The well-formed entries in order; an empty layout gives the default two.
std::vector<TextWatermark> ParseTextWatermarks(std::string_view layout);

struct PictureWatermark {
  int x = 0;  // -1: y is a preset number (PresetPlacement)
  int y = 0;
  int percent = 100;  // 1..100; anything else was read as 100
  bool operator==(const PictureWatermark&) const = default;
};

// The well-formed entries in order; an empty layout gives the default.
// A layout without "," is unusable: the drawing routine then fails.
std::vector<PictureWatermark> ParsePictureWatermarks(std::string_view layout);
bool PictureLayoutUsable(std::string_view layout);

// The ARGB value GDI+ takes from a colour number (red in the low byte) and an
// opacity of which only the low byte counts. ArgbFromColour(0, 250) == 0xFA000000.
uint32_t ArgbFromColour(int64_t colour, int64_t alpha);

struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point&) const = default;
};

// Draws the place for preset 10: a whole number from 1 to 9.
class PresetRandom {
 public:
  virtual ~PresetRandom() = default;
  virtual int drawPreset() = 0;
};

// Top-left corner of a w x h watermark on a W x H picture for presets 0..9;
// 10 draws one of 1..9; any other number gives (10, 10).
Point PresetPlacement(int preset, int W, int H, int w, int h, PresetRandom& random);

// Image format GUID text ("{...}", upper-case) for an output format number:
// 1 PNG, 2 JPEG, 3 icon, anything else BMP.
std::string_view ImageFormatGuid(int format);
inline constexpr int kFormatPng = 1;

}  // namespace morvane
