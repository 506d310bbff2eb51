#include "picture/renderer_gdiplus_win32.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <vector>

#include "win32_support.h"

#include <objbase.h>
#include <objidl.h>
#include <gdiplus.h>

namespace morvane {
namespace {

namespace gp = Gdiplus::DllExports;
using Gdiplus::GpBitmap;
using Gdiplus::GpGraphics;
using Gdiplus::GpImage;
using Gdiplus::Ok;

void EnsureGdiplus() {
  static std::once_flag once;
  std::call_once(once, [] {
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;  // version 1, no callback, background thread, external codecs
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
  });
}

struct StreamRelease {
  void operator()(IStream* s) const { s->Release(); }
};
struct ImageRelease {
  void operator()(GpImage* i) const { gp::GdipDisposeImage(i); }
};
struct GraphicsRelease {
  void operator()(GpGraphics* g) const { gp::GdipDeleteGraphics(g); }
};
using Stream = std::unique_ptr<IStream, StreamRelease>;
using Image = std::unique_ptr<GpImage, ImageRelease>;
using Graphics = std::unique_ptr<GpGraphics, GraphicsRelease>;

// A picture decoded from bytes; GDI+ reads the stream lazily, so the stream
// lives as long as the picture (members go in reverse: the picture first).
struct Decoded {
  Stream stream;
  Image image;
  explicit operator bool() const { return image != nullptr; }
};

Decoded Decode(const std::string& bytes) {
  Decoded out;
  if (bytes.empty()) return out;
  HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes.size());
  if (!block) return out;
  if (void* p = ::GlobalLock(block)) {
    std::memcpy(p, bytes.data(), bytes.size());
    ::GlobalUnlock(block);
  }
  IStream* stream = nullptr;
  if (FAILED(::CreateStreamOnHGlobal(block, TRUE, &stream))) {
    ::GlobalFree(block);
    return out;
  }
  out.stream.reset(stream);
  GpImage* image = nullptr;
  if (gp::GdipLoadImageFromStream(stream, &image) == Ok && image) out.image.reset(image);
  return out;
}

CLSID EncoderFor(int format) {
  CLSID clsid{};
  UINT count = 0, size = 0;
  if (gp::GdipGetImageEncodersSize(&count, &size) != Ok || size == 0) return clsid;
  std::vector<std::byte> buffer(size);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  if (gp::GdipGetImageEncoders(count, size, codecs) != Ok) return clsid;
  const std::wstring wanted = win32::WideFromGbk(ImageFormatGuid(format));
  for (UINT i = 0; i < count; ++i) {
    wchar_t text[64] = {};
    ::StringFromGUID2(codecs[i].FormatID, text, 64);
    if (wanted == text) return codecs[i].Clsid;
  }
  return clsid;
}

// The encoded file bytes; empty when no encoder takes the format.
std::string EncodePicture(GpImage* image, int format) {
  const CLSID clsid = EncoderFor(format);
  IStream* raw = nullptr;
  if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, &raw))) return {};
  Stream stream(raw);
  if (gp::GdipSaveImageToStream(image, raw, &clsid, nullptr) != Ok) return {};
  HGLOBAL block = nullptr;
  if (FAILED(::GetHGlobalFromStream(raw, &block))) return {};
  STATSTG stat{};
  if (FAILED(raw->Stat(&stat, STATFLAG_NONAME))) return {};
  const size_t n = static_cast<size_t>(stat.cbSize.QuadPart);
  std::string out;
  if (const void* p = ::GlobalLock(block)) {
    out.assign(static_cast<const char*>(p), n);
    ::GlobalUnlock(block);
  }
  return out;
}

std::string Thumbnail(GpImage* image, int width, int height, int format) {
  GpImage* small = nullptr;
  if (gp::GdipGetImageThumbnail(image, static_cast<UINT>(width), static_cast<UINT>(height), &small, nullptr,
                                nullptr) != Ok ||
      !small)
    return {};
  Image owned(small);
  return EncodePicture(small, format);
}

void DrawText(GpGraphics* surface, const TextWatermark& entry) {
  Gdiplus::GpFontFamily* family = nullptr;
  const std::wstring fontName = win32::WideFromGbk(entry.font);
  if (gp::GdipCreateFontFamilyFromName(fontName.c_str(), nullptr, &family) != Ok || !family) return;
  Gdiplus::GpFont* font = nullptr;
  gp::GdipCreateFont(family, entry.size, entry.bold ? Gdiplus::FontStyleBold : Gdiplus::FontStyleRegular,
                     Gdiplus::UnitPixel, &font);
  Gdiplus::GpSolidFill* brush = nullptr;
  gp::GdipCreateSolidFill(entry.argb, &brush);
  Gdiplus::GpStringFormat* format = nullptr;
  gp::GdipCreateStringFormat(Gdiplus::StringFormatFlagsNoWrap, 0, &format);
  if (font && brush && format) {
    const Gdiplus::RectF layout(static_cast<float>(entry.x), static_cast<float>(entry.y), 0, 0);
    gp::GdipSetTextRenderingHint(surface, entry.antiAlias ? Gdiplus::TextRenderingHintAntiAliasGridFit
                                                          : Gdiplus::TextRenderingHintSystemDefault);
    const std::wstring text = win32::WideFromGbk(entry.text);
    gp::GdipDrawString(surface, text.c_str(), static_cast<INT>(text.size()), font, &layout, format, brush);
  }
  if (brush) gp::GdipDeleteBrush(brush);
  if (font) gp::GdipDeleteFont(font);
  gp::GdipDeleteFontFamily(family);
  if (format) gp::GdipDeleteStringFormat(format);
}

}  // namespace

bool GdiplusRenderer::DrawTextWatermark(const std::string& picture, std::string_view layout, int format,
                                        int newWidth, int newHeight, std::string& output,
                                        std::string& resizedOutput) {
  EnsureGdiplus();
  Decoded decoded = Decode(picture);
  if (!decoded) return false;
  GpGraphics* raw = nullptr;
  // Palette pictures give no surface: nothing is drawn, the picture is still encoded.
  gp::GdipGetImageGraphicsContext(decoded.image.get(), &raw);
  Graphics surface(raw);
  if (surface) {
    for (const TextWatermark& entry : ParseTextWatermarks(layout)) DrawText(surface.get(), entry);
    gp::GdipFlush(surface.get(), Gdiplus::FlushIntentionSync);
  }
  output = EncodePicture(decoded.image.get(), format);
  if (newWidth >= 1 && newHeight >= 1) resizedOutput = Thumbnail(decoded.image.get(), newWidth, newHeight, format);
  return true;
}

bool GdiplusRenderer::DrawPictureWatermark(const std::string& picture, const std::string& watermark,
                                           std::string_view layout, int format, int newWidth,
                                           int newHeight, std::string& output, std::string& resizedOutput) {
  EnsureGdiplus();
  Decoded base = Decode(picture);
  Decoded mark = Decode(watermark);
  if (!base || !mark) return false;
  if (!PictureLayoutUsable(layout)) return false;
  UINT W = 0, H = 0, w = 0, h = 0;
  gp::GdipGetImageWidth(base.image.get(), &W);
  gp::GdipGetImageHeight(base.image.get(), &H);
  gp::GdipGetImageWidth(mark.image.get(), &w);
  gp::GdipGetImageHeight(mark.image.get(), &h);
  GpBitmap* rawBitmap = nullptr;
  if (gp::GdipCreateBitmapFromScan0(static_cast<INT>(W), static_cast<INT>(H), 0, PixelFormat32bppARGB, nullptr,
                                    &rawBitmap) != Ok ||
      !rawBitmap)
    return false;
  Image bitmap(rawBitmap);
  GpGraphics* rawSurface = nullptr;
  gp::GdipGetImageGraphicsContext(bitmap.get(), &rawSurface);
  Graphics surface(rawSurface);
  if (surface) {
    // Drawn into its own W x H rectangle: GdipDrawImage would scale a picture
    // whose resolution differs from the screen's.
    gp::GdipDrawImageRectI(surface.get(), base.image.get(), 0, 0, static_cast<INT>(W), static_cast<INT>(H));
    TickPresetRandom random;
    for (const PictureWatermark& entry : ParsePictureWatermarks(layout)) {
      const float ww = static_cast<float>(w) / 100.0f * static_cast<float>(entry.percent);
      const float wh = static_cast<float>(h) / 100.0f * static_cast<float>(entry.percent);
      Point at{entry.x, entry.y};
      if (entry.x == -1) {
        at = PresetPlacement(entry.y, static_cast<int>(W), static_cast<int>(H), static_cast<int>(ww),
                             static_cast<int>(wh), random);
      }
      gp::GdipDrawImageRect(surface.get(), mark.image.get(), static_cast<float>(at.x), static_cast<float>(at.y), ww,
                            wh);
    }
    gp::GdipFlush(surface.get(), Gdiplus::FlushIntentionSync);
  }
  if (newWidth >= 1 && newHeight >= 1) resizedOutput = Thumbnail(bitmap.get(), newWidth, newHeight, format);
  output = EncodePicture(bitmap.get(), format);
  return true;
}

PictureRenderer::Size GdiplusRenderer::MeasurePicture(const std::string& bytes) {
  EnsureGdiplus();
  Decoded decoded = Decode(bytes);
  if (!decoded) return {};
  UINT w = 0, h = 0;
  gp::GdipGetImageWidth(decoded.image.get(), &w);
  gp::GdipGetImageHeight(decoded.image.get(), &h);
  return {static_cast<int>(w), static_cast<int>(h)};
}

int TickPresetRandom::drawPreset() {
  std::minstd_rand engine(::GetTickCount());
  return std::uniform_int_distribution<int>(1, 9)(engine);
}

bool Win32PictureFiles::writeFile(std::string_view path, std::string_view bytes) {
  win32::ScopedKernelHandle file(::CreateFileW(win32::WideFromGbk(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    return false;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD wrote = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    if (!::WriteFile(file.get(), bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0) return false;
    done += wrote;
  }
  return true;
}

std::string Win32PictureFiles::readFile(std::string_view path) {
  win32::ScopedKernelHandle file(::CreateFileW(win32::WideFromGbk(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    return {};
  }
  std::string out;
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) out.append(buffer, got);
  return out;
}

void Win32PictureFiles::deleteFile(std::string_view path) { ::DeleteFileW(win32::WideFromGbk(path).c_str()); }

}  // namespace morvane
