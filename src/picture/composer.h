// The step that watermarks every picture of a message before it is forwarded.
#pragma once

#include <string>

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

}  // namespace morvane
