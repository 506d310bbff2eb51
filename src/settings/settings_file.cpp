#include "settings/settings_file.h"

#include <string>
#include <utility>

#include "text/text.h"

namespace morvane {
namespace {

constexpr std::string_view kSwitchSection = "选择框";
constexpr std::string_view kTextSection = "编辑框";
constexpr std::string_view kChoiceSection = "组合框";
constexpr std::string_view kPictureSection = "图片水印";
constexpr std::string_view kPictureKey = "图片水印";
constexpr std::string_view kOn = "真";
constexpr std::string_view kOff = "假";
constexpr std::string_view kTempSuffix = ".new";

constexpr std::string_view kLineBreakCode = "><br><";
constexpr std::string_view kQuoteCode = "#引号";
constexpr std::string_view kItemSeparator = "<||>";
constexpr std::string_view kValueSeparator = "<|>";

// Value encoding.
//
// Files have always stored "\r\n" as "><br><" and a double quote as "#引号".
// Everything else went in raw, and the profile functions do not give every
// byte back: a lone "\r" or "\n" ends the line (the rest of the value is lost
// or read as another key), other control bytes and blanks at either end are
// trimmed, one pair of enclosing quotes is stripped, and a byte that is no GBK
// character on its own (a lone lead byte, or 0x80 / 0xFF, which the text
// helpers would pair with the next byte) does not survive the code page.
// Such a byte is now written as "><HH><", its value in two upper-case hex
// digits. So that decoding stays unambiguous, a literal ">" directly before
// "<" and a literal "#" directly before "引号" are escaped as well.
//
// Decoding is one left-to-right pass over whole GBK characters: "><br><",
// "#引号" and "><HH><" are replaced where they begin, everything else is
// copied. Files of earlier versions never hold the new escape, and for them
// the pass gives exactly what replacing "><br><" and then "#引号" gave.

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool IsGbkLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool IsGbkTrail(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFE); }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendEscape(std::string& out, unsigned char c) {
  out += "><";
  out += kHexDigits[c >> 4];
  out += kHexDigits[c & 0x0F];
  out += "><";
}

// Appends `text` encoded. `valueStart` / `valueEnd`: the text begins / ends the
// whole stored value, where the reader trims blanks and strips quotes.
// `alsoEscape`: ASCII bytes escaped wherever they stand.
void EncodeSegment(std::string& out, std::string_view text, bool valueStart, bool valueEnd,
                   std::string_view alsoEscape = {}) {
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      if (IsGbkLead(c) && i + 1 < n && IsGbkTrail(static_cast<unsigned char>(text[i + 1]))) {
        out.append(text.substr(i, 2));
        i += 2;
      } else {
        AppendEscape(out, c);
        ++i;
      }
      continue;
    }
    if (c == '\r' && i + 1 < n && text[i + 1] == '\n') {
      out += kLineBreakCode;
      i += 2;
      continue;
    }
    if (c == '"') {
      out += kQuoteCode;
      ++i;
      continue;
    }
    const bool atEnd = (valueStart && i == 0) || (valueEnd && i + 1 == n);
    const bool escape = c < 0x20 || (atEnd && (c == ' ' || c == '\'')) ||
                        (c == '>' && i + 1 < n && text[i + 1] == '<') ||
                        (c == '#' && text.substr(i + 1).starts_with(kQuoteCode.substr(1))) ||
                        alsoEscape.find(static_cast<char>(c)) != std::string_view::npos;
    if (escape) {
      AppendEscape(out, c);
    } else {
      out += static_cast<char>(c);
    }
    ++i;
  }
}

}  // namespace

std::string SettingsFilePath(std::string_view appDirectory) {
  std::string path(appDirectory);
  path += kSettingsFileName;
  return path;
}

std::string EncodeEditValue(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  EncodeSegment(out, text, true, true);
  return out;
}

std::string DecodeEditValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  const size_t n = value.size();
  size_t i = 0;
  while (i < n) {
    const std::string_view rest = value.substr(i);
    if (rest.starts_with(kLineBreakCode)) {
      out += "\r\n";
      i += kLineBreakCode.size();
      continue;
    }
    if (rest.starts_with(kQuoteCode)) {
      out += '"';
      i += kQuoteCode.size();
      continue;
    }
    if (rest.size() >= 6 && rest[0] == '>' && rest[1] == '<' && rest[4] == '>' && rest[5] == '<') {
      const int high = HexValue(rest[2]);
      const int low = HexValue(rest[3]);
      if (high >= 0 && low >= 0) {
        out += static_cast<char>(high * 16 + low);
        i += 6;
        continue;
      }
    }
    // Whole characters, as the text helpers step: a byte of 0x80 or above takes the next one along.
    const size_t length = (static_cast<unsigned char>(value[i]) >= 0x80 && i + 1 < n) ? 2 : 1;
    out.append(value.substr(i, length));
    i += length;
  }
  return out;
}

std::string EncodeComboValue(const ComboState& state) {
  std::string out;
  bool first = true;
  for (const ComboItem& item : state.items) {
    EncodeSegment(out, item.text, first, false, "|");
    first = false;
    out += kValueSeparator;
    out += std::to_string(item.value);
    out += kItemSeparator;
  }
  out += std::to_string(state.selected);
  out += kValueSeparator;
  EncodeSegment(out, state.currentText(), false, true, "|");
  return out;
}

ComboState DecodeComboValue(std::string_view value) {
  ComboState state;
  std::vector<std::string> pieces = SplitText(value, kItemSeparator);
  if (pieces.empty()) return state;
  for (size_t i = 0; i + 1 < pieces.size(); ++i) {
    state.items.push_back({DecodeEditValue(TextBefore(pieces[i], kValueSeparator)),
                           TextToInt32(TextAfter(pieces[i], kValueSeparator))});
  }
  state.selected = TextToInt32(TextBefore(pieces.back(), kValueSeparator));
  return state;
}

SettingsFile::SettingsFile(Settings& settings, ProfileStore& store, PathFunction settingsPath)
    : settings_(settings), store_(store), settingsPath_(std::move(settingsPath)) {}

bool SettingsFile::writeAll(const std::string& file) {
  for (int i = 0; i < kSwitchFieldCount; ++i) {
    const auto field = static_cast<SwitchField>(i);
    if (!store_.writeValue(file, kSwitchSection, ControlName(field), settings_.isOn(field) ? kOn : kOff)) {
      return false;
    }
  }
  for (int i = 0; i < kTextFieldCount; ++i) {
    const auto field = static_cast<TextField>(i);
    if (!store_.writeValue(file, kTextSection, ControlName(field), EncodeEditValue(settings_.text(field)))) {
      return false;
    }
  }
  for (int i = 0; i < kChoiceFieldCount; ++i) {
    const auto field = static_cast<ChoiceField>(i);
    if (!store_.writeValue(file, kChoiceSection, ControlName(field), EncodeComboValue(settings_.combo(field)))) {
      return false;
    }
  }
  // The path goes in raw, as it always has: Windows paths hold none of the encoded characters.
  return store_.writeValue(file, kPictureSection, kPictureKey, settings_.watermarkPicture().path);
}

bool SettingsFile::saveSettings() {
  try {
    std::lock_guard lock(mutex_);
    const std::string path = settingsPath_();
    const std::string temp = path + std::string(kTempSuffix);
    // A file left by an interrupted save must not lend its keys to this one.
    if (!store_.deleteFile(temp)) return false;
    if (writeAll(temp) && store_.flush(temp) && store_.replaceFile(temp, path)) return true;
    store_.deleteFile(temp);
    return false;
  } catch (...) {
    return false;
  }
}

void SettingsFile::loadSettings() {
  try {
    std::lock_guard lock(mutex_);
    const std::string path = settingsPath_();
    for (int i = 0; i < kTextFieldCount; ++i) {
      const auto field = static_cast<TextField>(i);
      const std::string value = store_.readValue(path, kTextSection, ControlName(field));
      if (!value.empty()) settings_.setText(field, DecodeEditValue(value));
    }
    for (int i = 0; i < kSwitchFieldCount; ++i) {
      const auto field = static_cast<SwitchField>(i);
      const std::string value = store_.readValue(path, kSwitchSection, ControlName(field));
      if (!value.empty()) settings_.setOn(field, value != kOff);
    }
    for (int i = 0; i < kChoiceFieldCount; ++i) {
      const auto field = static_cast<ChoiceField>(i);
      const std::string value = store_.readValue(path, kChoiceSection, ControlName(field));
      if (!value.empty()) settings_.setCombo(field, DecodeComboValue(value));
    }
    WatermarkPicture picture;
    picture.path = store_.readValue(path, kPictureSection, kPictureKey);
    if (!picture.path.empty()) picture.bytes = store_.readFile(picture.path).value_or(std::string());
    settings_.setWatermarkPicture(std::move(picture));
  } catch (...) {
    // Out of memory: the controls keep what they have.
  }
}

}  // namespace morvane
