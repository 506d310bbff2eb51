#include "picture/watermark.h"

#include "text/text.h"

namespace morvane {
namespace {

// The whole layout when it holds no "|", otherwise its pieces.
std::vector<std::string> Entries(std::string_view layout) {
  if (FindText(layout, "|") == kNotFound) return {std::string(layout)};
  return SplitText(layout, "|");
}

}  // namespace

std::string DefaultTextWatermark() {
  return std::string("测试水印1,100,100,微软雅黑,60,") + "0" + ",100,0,0|" + "测试水印2,100,200,黑体,60," +
         "16777215" + ",255,0,0";
}

std::vector<TextWatermark> ParseTextWatermarks(std::string_view layout) {
  const std::string used = layout.empty() ? DefaultTextWatermark() : std::string(layout);
  std::vector<TextWatermark> out;
  for (const std::string& entry : Entries(used)) {
    if (FindText(entry, ",") == kNotFound) continue;
    const std::vector<std::string> f = SplitText(entry, ",");
    if (f.size() != 9) continue;
    out.push_back({
        .text = f[0],
        .x = TextToInt32(f[1]),
        .y = TextToInt32(f[2]),
        .font = f[3],
        .size = static_cast<float>(TextToInt(f[4])),
        .argb = ArgbFromColour(TextToInt(f[5]), TextToInt(f[6])),
        .antiAlias = f[7] == "0",
        .bold = f[8] == "0",
    });
  }
  return out;
}

bool PictureLayoutUsable(std::string_view layout) {
  return layout.empty() || FindText(layout, ",") != kNotFound;
}

std::vector<PictureWatermark> ParsePictureWatermarks(std::string_view layout) {
  if (layout.empty()) layout = kDefaultPictureWatermark;
  std::vector<PictureWatermark> out;
  if (!PictureLayoutUsable(layout)) return out;
  for (const std::string& entry : Entries(layout)) {
    const std::vector<std::string> f = SplitText(entry, ",");
    if (f.size() != 3) continue;
    int percent = TextToInt32(f[2]);
    if (percent < 1 || percent > 100) percent = 100;
    out.push_back({TextToInt32(f[0]), TextToInt32(f[1]), percent});
  }
  return out;
}

uint32_t ArgbFromColour(int64_t colour, int64_t alpha) {
  const uint32_t c = static_cast<uint32_t>(colour);
  return (static_cast<uint32_t>(alpha) & 0xFFu) << 24 | (c & 0xFFu) << 16 | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}

Point PresetPlacement(int preset, int W, int H, int w, int h, PresetRandom& random) {
  if (preset == 10) {
    preset = random.drawPreset();
    if (preset < 1 || preset > 9) preset = 1;
  }
  // Integer division truncates toward zero, as the placement table asks.
  switch (preset) {
    case 0:
    case 1: return {5, 5};
    case 2: return {W / 2 - w / 2, 5};
    case 3: return {W - w - 5, 5};
    case 4: return {W - w - 5, H / 2 - h / 2 - 5};
    case 5: return {W - w - 5, H - h - 5};
    case 6: return {W / 2 - w / 2, H - h - 5};
    case 7: return {5, H - h - 5};
    case 8: return {5, H / 2 - h / 2};
    case 9: return {W / 2 - w / 2, H / 2 - h / 2};
    default: return {10, 10};
  }
}

std::string_view ImageFormatGuid(int format) {
  switch (format) {
    case 1: return "{B96B3CAF-0728-11D3-9D7B-0000F81EF32E}";
    case 2: return "{B96B3CAE-0728-11D3-9D7B-0000F81EF32E}";
    case 3: return "{B96B3CB5-0728-11D3-9D7B-0000F81EF32E}";
    default: return "{B96B3CAB-0728-11D3-9D7B-0000F81EF32E}";
  }
}

}  // namespace morvane
