#include "forward/admission.h"

#include <utility>

#include "host/codes.h"
#include "text/text.h"

namespace morvane {
namespace {

constexpr int kForwardPictures = 1;
constexpr int kForwardText = 2;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Calls onCode(begin, end) for each image code, as byte offsets with end just
// past the "]". Linear in the message, however many codes it holds.
template <typename OnCode>
void ForEachImageCode(std::string_view message, OnCode onCode) {
  int start = 1;
  for (;;) {
    const int open = FindText(message, kImageCodeStart, start);
    if (open == kNotFound) return;
    const int close = FindText(message, "]", open + static_cast<int>(kImageCodeStart.size()));
    // With no "]" after this one, no later "[ZR:image" can be closed either.
    if (close == kNotFound) return;
    onCode(static_cast<size_t>(open - 1), static_cast<size_t>(close));
    start = close + 1;
  }
}

}  // namespace

bool WatchListAdmits(std::string_view field, int64_t number) {
  if (field.empty()) return false;
  if (FindText(field, "#") != kNotFound) return true;
  const std::string key = std::to_string(number);
  int start = 1;
  for (;;) {
    const int found = FindText(field, key, start);
    if (found == kNotFound) return false;
    const size_t begin = static_cast<size_t>(found - 1);
    const size_t end = begin + key.size();
    const bool digitBefore = begin > 0 && IsDigit(field[begin - 1]);
    const bool digitAfter = end < field.size() && IsDigit(field[end]);
    if (!digitBefore && !digitAfter) return true;
    start = found + 1;
  }
}

bool ContainsSensitiveWord(std::string_view message, std::string_view words) {
  if (words.empty()) return false;
  if (FindText(words, "*") == kNotFound) return FindText(message, words) != kNotFound;
  for (const std::string& word : SplitText(words, "*")) {
    if (!word.empty() && FindText(message, word) != kNotFound) return true;
  }
  return false;
}

std::string KeepImageCodes(std::string_view message) {
  std::string codes;
  ForEachImageCode(message, [&](size_t begin, size_t end) { codes.append(message.substr(begin, end - begin)); });
  return codes;
}

std::string RemoveImageCodes(std::string_view message) {
  std::string rest;
  size_t copied = 0;
  ForEachImageCode(message, [&](size_t begin, size_t end) {
    rest.append(message.substr(copied, begin - copied));
    copied = end;
  });
  rest.append(message.substr(copied));
  return rest;
}

std::string ApplyReplacements(std::string message, std::string_view replacements) {
  if (replacements.empty()) return message;
  for (const std::string& piece : SplitText(replacements, "#")) {
    const std::string key = TextBefore(piece, "=");
    if (key.empty()) continue;
    message = ReplaceText(message, key, TextAfter(piece, "="));
  }
  return message;
}

std::string BuildJobText(std::string_view targetField, std::string_view message) {
  std::string job = ReplaceText(targetField, "\r\n", "*");
  job += "内容:";
  job += message;
  return job;
}

void MessageAdmission::AdmitMessage(int64_t fromGroup, int64_t fromQQ, const std::string& msg) {
  try {
    admit(fromGroup, fromQQ, msg);
  } catch (...) {
    // Out of memory on a huge message: the message is dropped like any other.
  }
}

void MessageAdmission::admit(int64_t fromGroup, int64_t fromQQ, const std::string& msg) {
  if (!settings_.isOn(SwitchField::forwardOn)) return;
  if (settings_.isOn(SwitchField::scheduleOn) && gate_.get() == kGateClosed) return;
  if (!WatchListAdmits(settings_.text(TextField::watchGroups), fromGroup)) return;
  if (!WatchListAdmits(settings_.text(TextField::watchMembers), fromQQ)) return;

  std::string message = msg;
  if (ContainsSensitiveWord(message, settings_.text(TextField::sensitiveWords))) return;
  // Asked only now, so unwatched traffic costs no host call. A robot that
  // sees its own posts must not forward them again.
  const int64_t robot = host_.robotAccount();
  if (robot != 0 && robot == fromQQ) return;

  const int forwardType = settings_.choice(ChoiceField::forwardType);
  if (forwardType == kForwardPictures) {
    log_.appendLog("次数", std::to_string(CountOccurrences(message, kImageCodeStart, false)));
    message = KeepImageCodes(message);
  } else if (forwardType == kForwardText) {
    message = RemoveImageCodes(message);
  }

  message = ApplyReplacements(std::move(message), settings_.text(TextField::replacements));

  if (const std::string advert = settings_.text(TextField::tailAdvert); !advert.empty()) {
    message += "\r\n\r\n";
    message += advert;
  }

  if (settings_.hasWatermarkPicture() || !settings_.text(TextField::watermarkText).empty()) {
    message = composer_.ComposeMessagePictures(message);
  }

  if (const std::string targets = settings_.text(TextField::targetGroups); !targets.empty()) {
    jobs_.submit({ForwardKind::groups, BuildJobText(targets, message), fromGroup});
  }
  if (const std::string targets = settings_.text(TextField::targetFriends); !targets.empty()) {
    jobs_.submit({ForwardKind::friends, BuildJobText(targets, message), std::nullopt});
  }
}

}  // namespace morvane
