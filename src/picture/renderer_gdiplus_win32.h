// The picture renderer over GDI+ and whole-file access (Win32 build only).
#pragma once

#include "picture/composer.h"
#include "picture/watermark.h"

namespace morvane {

// GDI+ is started on first use and kept for the life of the process: shutting
// it down after a call would pull it from under any other thread drawing.
class GdiplusRenderer final : public PictureRenderer {
 public:
  bool DrawTextWatermark(const std::string& picture, std::string_view layout, int format, int newWidth,
                         int newHeight, std::string& output, std::string& resizedOutput) override;
  bool DrawPictureWatermark(const std::string& picture, const std::string& watermark,
                            std::string_view layout, int format, int newWidth, int newHeight,
                            std::string& output, std::string& resizedOutput) override;
  Size MeasurePicture(const std::string& bytes) override;
};

// Preset 10: re-seeded from the tick count on every draw.
class TickPresetRandom final : public PresetRandom {
 public:
  int drawPreset() override;
};

class Win32PictureFiles final : public PictureFiles {
 public:
  bool writeFile(std::string_view path, std::string_view bytes) override;
  std::string readFile(std::string_view path) override;
  void deleteFile(std::string_view path) override;
};

}  // namespace morvane
