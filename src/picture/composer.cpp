#include "picture/composer.h"

#include <utility>

#include "host/codes.h"
#include "text/text.h"

namespace morvane {
namespace {

constexpr std::string_view kImageCode = "[ZR:image";
constexpr int kFormatPng = 1;

// v / 2 as a decimal text: "320" or "320.5".
std::string Half(int v) {
  std::string text = std::to_string(v / 2);
  if (v % 2 != 0) text += ".5";
  return text;
}

}  // namespace

bool PlacementNeedsSize(int index) { return index >= 2 && index <= 5; }

PlacementText ComposerPlacement(int index, int W, int H) {
  switch (index) {
    case 2: return {"30", std::to_string(H - 50)};
    case 3: return {Half(W), Half(H)};
    case 4: return {std::to_string(W - 30), "50"};
    case 5: return {std::to_string(W - 30), std::to_string(H - 50)};
    default: return {"30", "50"};
  }
}

MessagePictureComposer::MessagePictureComposer(const Settings& settings, PageFetcher& fetcher,
                                               PictureRenderer& renderer, PictureFiles& files,
                                               std::function<std::string()> appDirectory)
    : settings_(settings),
      fetcher_(fetcher),
      renderer_(renderer),
      files_(files),
      appDirectory_(std::move(appDirectory)) {}

namespace {

// The corner for a placement index (nothing selected places like 0), measuring
// the scratch copy only when the place depends on the size.
PlacementText Place(int index, PictureFiles& files, PictureRenderer& renderer, const std::string& scratch) {
  if (!PlacementNeedsSize(index)) return ComposerPlacement(index, 0, 0);
  const PictureRenderer::Size size = renderer.MeasurePicture(files.readFile(scratch));
  return ComposerPlacement(index, size.width, size.height);
}

}  // namespace

std::string MessagePictureComposer::composedPath() {
  sequence_ = sequence_ % kComposedPictureFiles + 1;
  return appDirectory_() + std::string(kComposedPictureStem) + "_" + std::to_string(sequence_) + ".png";
}

bool MessagePictureComposer::drawText(const std::string& picture, const std::string& directory,
                                      std::string& composed) {
  const std::string text = settings_.text(TextField::watermarkText);
  if (text.empty()) return false;
  const std::string scratch = directory + std::string(kScratchPictureFile);
  files_.writeFile(scratch, picture);
  const PlacementText at = Place(settings_.choice(ChoiceField::watermarkTextPos), files_, renderer_, scratch);
  files_.deleteFile(scratch);
  const std::string layout = text + "," + at.x + "," + at.y + ",微软雅黑,50," + "0" + ",250,0,0";
  std::string resized;
  return renderer_.DrawTextWatermark(picture, layout, kFormatPng, 0, 0, composed, resized);
}

bool MessagePictureComposer::drawPicture(const std::string& picture, const std::string& directory,
                                         std::string& composed) {
  if (!settings_.hasWatermarkPicture()) return false;
  const std::string scratch = directory + std::string(kScratchPictureFile);
  files_.writeFile(scratch, picture);  // left in place
  const PlacementText at =
      Place(settings_.choice(ChoiceField::watermarkPicturePos), files_, renderer_, scratch);
  const std::string layout = at.x + "," + at.y + ",50";
  std::string resized;
  return renderer_.DrawPictureWatermark(picture, settings_.watermarkPicture().bytes, layout, kFormatPng, 0,
                                        0, composed, resized);
}

std::string MessagePictureComposer::ComposeMessagePictures(const std::string& message) {
  const std::lock_guard lock(mutex_);
  std::string result = message;
  std::string composed;
  const std::string directory = appDirectory_();
  const int n = CountOccurrences(result, kImageCode, false);
  for (int k = 1; k <= n; ++k) {
    // The k-th exact-case occurrence; path codes written by earlier passes
    // also begin with the marker, so the count of codes before it holds.
    int at = kNotFound;
    for (int j = 1, from = 1; j <= k; ++j) {
      at = FindText(result, kImageCode, from);
      if (at == kNotFound) break;
      from = at + 1;
    }
    std::string inner;
    bool found = false;
    if (at != kNotFound) {
      // FindText steps whole GBK characters: a trail byte 0x5D is no "]".
      const int innerStart = at + static_cast<int>(kImageCode.size());
      const int close = FindText(result, "]", innerStart);
      if (close != kNotFound) {
        inner = TextMid(result, innerStart, close - innerStart);
        found = true;
      }
    }
    std::string picture = fetcher_.FetchPage(TextAfter(inner, "urls="));

    // A picture that cannot be downloaded or decoded keeps its own code: the
    // message then shows the original picture, never an empty file or the
    // previous code's picture stamped again.
    bool drawn = drawText(picture, directory, composed);
    if (drawn) picture = composed;
    drawn = drawPicture(picture, directory, composed) || drawn;
    if (!drawn) continue;

    const std::string path = composedPath();
    files_.writeFile(path, composed);
    if (found) {
      const size_t start = static_cast<size_t>(at - 1);
      result.replace(start, kImageCode.size() + inner.size() + 1, imagePathCode(path));
    }
  }
  return result;
}

}  // namespace morvane
