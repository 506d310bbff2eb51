// The GDI+ renderer under Wine: text and picture watermarks, output formats.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/codes.h"
#include "picture/composer.h"
#include "picture/renderer_gdiplus_win32.h"
#include "settings/settings.h"
#include "win32_support.h"

#include <objbase.h>
#include <objidl.h>
#include <gdiplus.h>

namespace morvane {
namespace {

namespace gp = Gdiplus::DllExports;

void StartGdiplus() {
  static ULONG_PTR token = [] {
    ULONG_PTR t = 0;
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&t, &input, nullptr);
    return t;
  }();
  (void)token;
}

std::string Save(Gdiplus::GpImage* image, const wchar_t* mime) {
  UINT count = 0, size = 0;
  gp::GdipGetImageEncodersSize(&count, &size);
  std::vector<std::byte> buffer(size);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  gp::GdipGetImageEncoders(count, size, codecs);
  CLSID clsid{};
  for (UINT i = 0; i < count; ++i)
    if (std::wcscmp(codecs[i].MimeType, mime) == 0) clsid = codecs[i].Clsid;
  IStream* stream = nullptr;
  ::CreateStreamOnHGlobal(nullptr, TRUE, &stream);
  std::string out;
  if (gp::GdipSaveImageToStream(image, stream, &clsid, nullptr) == Gdiplus::Ok) {
    STATSTG stat{};
    stream->Stat(&stat, STATFLAG_NONAME);
    HGLOBAL block = nullptr;
    ::GetHGlobalFromStream(stream, &block);
    out.assign(static_cast<const char*>(::GlobalLock(block)), static_cast<size_t>(stat.cbSize.QuadPart));
    ::GlobalUnlock(block);
  }
  stream->Release();
  return out;
}

// A picture of one colour with an optional rectangle of another, as file bytes.
std::string MakePicture(int width, int height, Gdiplus::ARGB fill, const wchar_t* mime = L"image/png") {
  StartGdiplus();
  Gdiplus::GpBitmap* bitmap = nullptr;
  gp::GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &bitmap);
  Gdiplus::GpGraphics* g = nullptr;
  gp::GdipGetImageGraphicsContext(bitmap, &g);
  gp::GdipGraphicsClear(g, fill);
  gp::GdipDeleteGraphics(g);
  std::string bytes = Save(bitmap, mime);
  gp::GdipDisposeImage(bitmap);
  return bytes;
}

// Decoded pixels of picture bytes; empty when they do not decode.
struct Pixels {
  int width = 0, height = 0;
  std::vector<Gdiplus::ARGB> argb;
  Gdiplus::ARGB at(int x, int y) const { return argb[static_cast<size_t>(y * width + x)]; }
};

Pixels Read(const std::string& bytes) {
  StartGdiplus();
  Pixels out;
  HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  std::memcpy(::GlobalLock(block), bytes.data(), bytes.size());
  ::GlobalUnlock(block);
  IStream* stream = nullptr;
  ::CreateStreamOnHGlobal(block, TRUE, &stream);
  Gdiplus::GpBitmap* bitmap = nullptr;
  if (gp::GdipCreateBitmapFromStream(stream, &bitmap) == Gdiplus::Ok && bitmap) {
    UINT w = 0, h = 0;
    gp::GdipGetImageWidth(bitmap, &w);
    gp::GdipGetImageHeight(bitmap, &h);
    out.width = static_cast<int>(w);
    out.height = static_cast<int>(h);
    for (UINT y = 0; y < h; ++y)
      for (UINT x = 0; x < w; ++x) {
        Gdiplus::ARGB c = 0;
        gp::GdipBitmapGetPixel(bitmap, static_cast<INT>(x), static_cast<INT>(y), &c);
        out.argb.push_back(c);
      }
    gp::GdipDisposeImage(bitmap);
  }
  stream->Release();
  return out;
}

bool NearBlack(Gdiplus::ARGB c) {
  return ((c >> 16) & 0xFF) < 80 && ((c >> 8) & 0xFF) < 80 && (c & 0xFF) < 80;
}

int CountIn(const Pixels& p, int x0, int y0, int x1, int y1, bool (*test)(Gdiplus::ARGB)) {
  int n = 0;
  for (int y = std::max(y0, 0); y < std::min(y1, p.height); ++y)
    for (int x = std::max(x0, 0); x < std::min(x1, p.width); ++x) n += test(p.at(x, y)) ? 1 : 0;
  return n;
}

constexpr Gdiplus::ARGB kWhite = 0xFFFFFFFF;
constexpr Gdiplus::ARGB kRed = 0xFFFF0000;

TEST(GdiplusRenderer, TextWatermarkDrawsBlackTextWhereTheComposerPutsIt) {
  GdiplusRenderer renderer;
  const std::string white = MakePicture(300, 200, kWhite);
  std::string output = "old", resized = "untouched";
  ASSERT_TRUE(renderer.DrawTextWatermark(white, "TT,30,50,微软雅黑,50,0,250,0,0", 1, 0, 0, output, resized));
  EXPECT_EQ(resized, "untouched");
  ASSERT_GE(output.size(), 8u);
  EXPECT_EQ(output.substr(0, 4), "\x89PNG");
  const Pixels p = Read(output);
  ASSERT_EQ(p.width, 300);
  ASSERT_EQ(p.height, 200);
  EXPECT_GT(CountIn(p, 30, 50, 130, 110, NearBlack), 100);
  // Nothing above or left of the layout rectangle.
  EXPECT_EQ(CountIn(p, 0, 0, 300, 45, NearBlack), 0);
  EXPECT_EQ(CountIn(p, 0, 0, 25, 200, NearBlack), 0);
}

TEST(GdiplusRenderer, TextEntriesThatAreMalformedOrWithoutFontDrawNothing) {
  GdiplusRenderer renderer;
  const std::string white = MakePicture(200, 120, kWhite);
  for (const char* spec : {"TT,30,50,微软雅黑,50,0,250,0", "TT,30,50,NoSuchFontAnywhere,50,0,250,0,0",
                           "T,T,30,50,微软雅黑,50,0,250,0,0"}) {
    std::string output, resized;
    ASSERT_TRUE(renderer.DrawTextWatermark(white, spec, 1, 0, 0, output, resized)) << spec;
    const Pixels p = Read(output);
    ASSERT_EQ(p.width, 200) << spec;
    EXPECT_EQ(CountIn(p, 0, 0, 200, 120, NearBlack), 0) << spec;
  }
  // A missing font leaves the other entries drawn.
  std::string output, resized;
  ASSERT_TRUE(renderer.DrawTextWatermark(white, "A,5,5,NoSuchFontAnywhere,40,0,255,0,0|B,100,40,黑体,40,0,255,0,0", 1,
                                         0, 0, output, resized));
  const Pixels p = Read(output);
  EXPECT_EQ(CountIn(p, 0, 0, 95, 120, NearBlack), 0);
  EXPECT_GT(CountIn(p, 100, 40, 200, 120, NearBlack), 20);
}

TEST(GdiplusRenderer, PictureWatermarkIsScaledAndPlaced) {
  GdiplusRenderer renderer;
  const std::string base = MakePicture(200, 150, kWhite);
  const std::string mark = MakePicture(100, 80, kRed);
  std::string output, resized = "untouched";
  ASSERT_TRUE(renderer.DrawPictureWatermark(base, mark, "30,50,50", 1, 0, 0, output, resized));
  EXPECT_EQ(resized, "untouched");
  const Pixels p = Read(output);
  ASSERT_EQ(p.width, 200);
  ASSERT_EQ(p.height, 150);
  // 50 x 40 at (30, 50): inside red, around it white.
  for (auto [x, y] : std::vector<std::pair<int, int>>{{31, 51}, {78, 51}, {31, 88}, {78, 88}, {55, 70}})
    EXPECT_EQ(p.at(x, y), kRed) << x << "," << y;
  for (auto [x, y] : std::vector<std::pair<int, int>>{{28, 70}, {82, 70}, {55, 48}, {55, 92}, {0, 0}, {199, 149}})
    EXPECT_EQ(p.at(x, y), kWhite) << x << "," << y;
}

TEST(GdiplusRenderer, PictureWatermarkPresetAndPercentOutOfRange) {
  GdiplusRenderer renderer;
  const std::string base = MakePicture(800, 600, kWhite);
  const std::string mark = MakePicture(100, 80, kRed);
  std::string output, resized;
  // Preset 9 at 150 percent (read as 100): 100 x 80 at (350, 260).
  ASSERT_TRUE(renderer.DrawPictureWatermark(base, mark, "-1,9,150", 1, 0, 0, output, resized));
  const Pixels p = Read(output);
  EXPECT_EQ(p.at(351, 261), kRed);
  EXPECT_EQ(p.at(448, 338), kRed);
  EXPECT_EQ(p.at(347, 300), kWhite);
  EXPECT_EQ(p.at(452, 300), kWhite);
  // No "," in the layout: fails, output untouched.
  std::string kept = "kept";
  EXPECT_FALSE(renderer.DrawPictureWatermark(base, mark, "30", 1, 0, 0, kept, resized));
  EXPECT_EQ(kept, "kept");
}

TEST(GdiplusRenderer, OutputFormatsAndResizedCopy) {
  GdiplusRenderer renderer;
  const std::string picture = MakePicture(64, 48, kWhite);
  struct Row {
    int format;
    std::string head;
  };
  for (const Row& row : std::vector<Row>{{1, "\x89PNG"}, {2, "\xFF\xD8"}, {7, "BM"}, {0, "BM"}, {3, ""}}) {
    std::string output = "old", resized;
    ASSERT_TRUE(renderer.DrawTextWatermark(picture, "x,1,1,黑体,10,0,255,0,0", row.format, 0, 0, output, resized));
    if (row.head.empty()) {
      EXPECT_TRUE(output.empty()) << row.format;
    } else {
      EXPECT_EQ(output.substr(0, row.head.size()), row.head) << row.format;
    }
  }
  std::string output, resized;
  ASSERT_TRUE(renderer.DrawPictureWatermark(picture, picture, "1,1,10", 1, 32, 24, output, resized));
  const Pixels small = Read(resized);
  EXPECT_EQ(small.width, 32);
  EXPECT_EQ(small.height, 24);
  ASSERT_TRUE(renderer.DrawTextWatermark(picture, "", 1, 16, 12, output, resized));
  EXPECT_EQ(Read(resized).width, 16);
}

TEST(GdiplusRenderer, UndecodableBytesFailAndLeaveTheOutput) {
  GdiplusRenderer renderer;
  const std::string good = MakePicture(20, 20, kWhite);
  for (const std::string& bad : {std::string(), std::string("not a picture at all"), good.substr(0, 10)}) {
    std::string output = "kept", resized = "kept";
    EXPECT_FALSE(renderer.DrawTextWatermark(bad, "", 1, 5, 5, output, resized));
    EXPECT_FALSE(renderer.DrawPictureWatermark(bad, good, "", 1, 5, 5, output, resized));
    EXPECT_FALSE(renderer.DrawPictureWatermark(good, bad, "", 1, 5, 5, output, resized));
    EXPECT_EQ(output, "kept");
    EXPECT_EQ(resized, "kept");
    EXPECT_EQ(renderer.MeasurePicture(bad).width, 0);
  }
}

TEST(GdiplusRenderer, MeasuresPngJpegAndBmp) {
  GdiplusRenderer renderer;
  // Wine's GIF encoder writes no usable file from 32-bit pixels, so GIF is left out.
  for (const wchar_t* mime : {L"image/png", L"image/jpeg", L"image/bmp"}) {
    const std::string bytes = MakePicture(641, 481, kWhite, mime);
    const PictureRenderer::Size size = renderer.MeasurePicture(bytes);
    EXPECT_EQ(size.width, 641) << win32::GbkFromWide(mime) << " " << bytes.size();
    EXPECT_EQ(size.height, 481) << win32::GbkFromWide(mime);
  }
}

class OnePicture final : public PageFetcher {
 public:
  explicit OnePicture(std::string bytes) : bytes_(std::move(bytes)) {}
  std::string FetchPage(std::string_view) override { return bytes_; }

 private:
  std::string bytes_;
};

TEST(MessagePictureComposer, BothWatermarksEndInTheComposedFile) {
  char temp[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, temp);
  const std::string dir = std::string(temp) + "合成测试";
  ::CreateDirectoryA(dir.c_str(), nullptr);

  Settings settings;
  settings.setText(TextField::watermarkText, "TT");
  settings.setChoice(ChoiceField::watermarkTextPos, 1);
  settings.setWatermarkPicture({MakePicture(100, 80, kRed), "C:\\wm.png"});
  settings.setChoice(ChoiceField::watermarkPicturePos, 5);
  OnePicture fetcher(MakePicture(400, 300, kWhite));
  GdiplusRenderer renderer;
  Win32PictureFiles files;
  MessagePictureComposer composer(settings, fetcher, renderer, files, [&] { return dir; });

  const std::string composedPath = dir + "\\合成后图片_1.png";
  EXPECT_EQ(composer.ComposeMessagePictures("a[ZR:image,urls=http://x/1.png]b"), "a" + imagePathCode(composedPath) + "b");
  const Pixels p = Read(files.readFile(composedPath));
  ASSERT_EQ(p.width, 400);
  ASSERT_EQ(p.height, 300);
  EXPECT_GT(CountIn(p, 30, 50, 130, 110, NearBlack), 100);
  // 右下 on 400 x 300: 50 x 40 at (370, 250), clipped at the right edge.
  EXPECT_EQ(p.at(372, 252), kRed);
  EXPECT_EQ(p.at(399, 288), kRed);
  EXPECT_EQ(p.at(367, 270), kWhite);
  EXPECT_EQ(p.at(380, 292), kWhite);
  // The scratch copy stays after a picture watermark: it holds the texted picture.
  const Pixels scratch = Read(files.readFile(dir + "\\背景图片.png"));
  EXPECT_EQ(scratch.width, 400);
  EXPECT_GT(CountIn(scratch, 30, 50, 130, 110, NearBlack), 100);
  files.deleteFile(composedPath);
  files.deleteFile(dir + "\\背景图片.png");
  ::RemoveDirectoryA(dir.c_str());
}

TEST(Win32PictureFiles, WriteReadDeleteWithAChineseName) {
  Win32PictureFiles files;
  char dir[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, dir);
  const std::string path = std::string(dir) + "合成后图片_test.png";
  const std::string bytes("\x89PNG\0\x01\x02", 7);
  ASSERT_TRUE(files.writeFile(path, bytes));
  EXPECT_EQ(files.readFile(path), bytes);
  ASSERT_TRUE(files.writeFile(path, ""));
  EXPECT_EQ(files.readFile(path), "");
  files.deleteFile(path);
  EXPECT_EQ(files.readFile(path), "");
  EXPECT_FALSE(files.writeFile(std::string(dir) + "no\\such\\folder\\x.png", bytes));
}

}  // namespace
}  // namespace morvane
