// The step that watermarks every picture of a message before it is forwarded.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "picture/fetch.h"
#include "settings/settings.h"

namespace morvane {

class PictureComposer {
 public:
  virtual ~PictureComposer() = default;
  // The message with each picture code replaced by a code for a local,
  // watermarked picture; a message without picture codes comes back unchanged.
  virtual std::string ComposeMessagePictures(const std::string& message) = 0;
};

// Leaves every message as it is (until pictures are watermarked).
class UnchangedPictures final : public PictureComposer {
 public:
  std::string ComposeMessagePictures(const std::string& message) override { return message; }
};

// Decoding, drawing and encoding of pictures given as file bytes. Both drawing
// routines return false and write nothing when a picture cannot be decoded;
// resizedOutput is written only when newWidth and newHeight are both 1 or more.
class PictureRenderer {
 public:
  virtual ~PictureRenderer() = default;
  virtual bool DrawTextWatermark(const std::string& picture, std::string_view layout, int format,
                                 int newWidth, int newHeight, std::string& output, std::string& resizedOutput) = 0;
  virtual bool DrawPictureWatermark(const std::string& picture, const std::string& watermark,
                                    std::string_view layout, int format, int newWidth, int newHeight,
                                    std::string& output, std::string& resizedOutput) = 0;
  struct Size {
    int width = 0;
    int height = 0;
  };
  // 0 x 0 when the bytes are not a picture.
  virtual Size MeasurePicture(const std::string& bytes) = 0;
};

// Whole-file access by GBK path. Failures are silent: a read gives empty bytes.
class PictureFiles {
 public:
  virtual ~PictureFiles() = default;
  virtual bool writeFile(std::string_view path, std::string_view bytes) = 0;
  virtual std::string readFile(std::string_view path) = 0;
  virtual void deleteFile(std::string_view path) = 0;
};

// The corner of a watermark for a placement index (0..5: 无, 左上, 左下, 中间,
// 右上, 右下) on a W x H picture, as the decimal texts put into a layout;
// W/2 and H/2 keep a ".5" for odd sizes. Other indices place like 0.
struct PlacementText {
  std::string x;
  std::string y;
  bool operator==(const PlacementText&) const = default;
};
// Indices 2..5 depend on the picture's size; 0, 1 and the rest do not.
bool PlacementNeedsSize(int index);
PlacementText ComposerPlacement(int index, int W, int H);

inline constexpr std::string_view kScratchPictureFile = "\\背景图片.png";
inline constexpr std::string_view kComposedPictureStem = "\\合成后图片";
// Composed pictures go round this many files, so a picture waiting to be posted
// is not overwritten until that many later pictures have been composed.
inline constexpr int kComposedPictureFiles = 200;

// Downloads every picture of a message, stamps the configured watermarks on it,
// saves it as a PNG in the app directory and swaps its code for a path code.
// Compositions are serialised: the scratch file is shared.
class MessagePictureComposer final : public PictureComposer {
 public:
  MessagePictureComposer(const Settings& settings, PageFetcher& fetcher, PictureRenderer& renderer,
                         PictureFiles& files, std::function<std::string()> appDirectory);
  std::string ComposeMessagePictures(const std::string& message) override;

 private:
  std::string composedPath();
  // Each gives true when its watermark was drawn into `composed`.
  bool drawText(const std::string& picture, const std::string& directory, std::string& composed);
  bool drawPicture(const std::string& picture, const std::string& directory, std::string& composed);

  const Settings& settings_;
  PageFetcher& fetcher_;
  PictureRenderer& renderer_;
  PictureFiles& files_;
  std::function<std::string()> appDirectory_;
  std::mutex mutex_;
  uint32_t sequence_ = 0;  // composed pictures so far, under mutex_
};

}  // namespace morvane
