#include "text/text.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace morvane {
namespace {

// Positions are ints; a text longer than INT_MAX bytes is seen through its first INT_MAX bytes.
std::string_view Clamp(std::string_view text) {
  return text.size() > static_cast<size_t>(INT_MAX) ? text.substr(0, INT_MAX) : text;
}

inline bool IsLead(char c) { return static_cast<unsigned char>(c) >= 0x80; }

inline unsigned char Fold(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}

inline bool MatchAt(std::string_view text, size_t pos, std::string_view pattern, bool ignoreCase) {
  if (!ignoreCase) return std::memcmp(text.data() + pos, pattern.data(), pattern.size()) == 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (Fold(text[pos + i]) != Fold(pattern[i])) return false;
  }
  return true;
}

// First match of a non-empty pattern lying wholly in text[0, limit), walking characters
// from byte `from`; npos when none.
size_t FindFrom(std::string_view text, std::string_view pattern, size_t from, size_t limit, bool ignoreCase) {
  const size_t m = pattern.size();
  if (m == 0 || limit > text.size() || m > limit) return std::string_view::npos;
  const size_t last = limit - m;  // the last candidate offset
  const unsigned char first = static_cast<unsigned char>(pattern[0]);
  const unsigned char firstFolded = Fold(pattern[0]);
  const bool foldFirst = ignoreCase && firstFolded >= 'a' && firstFolded <= 'z';
  size_t pos = from;
  while (pos <= last) {
    const unsigned char c = static_cast<unsigned char>(text[pos]);
    const bool firstMatches = foldFirst ? Fold(static_cast<char>(c)) == firstFolded : c == first;
    if (firstMatches && MatchAt(text, pos, pattern, ignoreCase)) return pos;
    pos += (c >= 0x80) ? 2 : 1;
  }
  return std::string_view::npos;
}

int ToInt(long long v) {
  return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

}  // namespace

int FindText(std::string_view text, std::string_view pattern, int start, bool ignoreCase) {
  text = Clamp(text);
  const long long b = std::max<long long>(static_cast<long long>(start) - 1, 0);
  if (b >= static_cast<long long>(text.size())) return kNotFound;
  if (pattern.empty()) return 1;
  const size_t found = FindFrom(text, pattern, static_cast<size_t>(b), text.size(), ignoreCase);
  return found == std::string_view::npos ? kNotFound : static_cast<int>(found) + 1;
}

int FindTextBackward(std::string_view text, std::string_view pattern, int start, bool ignoreCase) {
  text = Clamp(text);
  size_t limit = text.size();
  if (start != kWholeText) {
    if (start <= 1) return kNotFound;
    limit = std::min(static_cast<size_t>(start - 1), text.size());
  }
  if (limit == 0) return kNotFound;
  if (pattern.empty()) return 1;
  size_t last = std::string_view::npos;
  for (size_t pos = 0;;) {
    const size_t found = FindFrom(text, pattern, pos, limit, ignoreCase);
    if (found == std::string_view::npos) break;
    last = found;
    // Resume with the character after the match's first one, as a walk that does not stop would.
    pos = found + (IsLead(text[found]) ? 2 : 1);
  }
  return last == std::string_view::npos ? kNotFound : static_cast<int>(last) + 1;
}

std::string TextLeft(std::string_view text, int n) {
  if (n <= 0) return {};
  return std::string(text.substr(0, static_cast<size_t>(n)));
}

std::string TextRight(std::string_view text, int n) {
  if (n <= 0) return {};
  const size_t k = std::min(static_cast<size_t>(n), text.size());
  return std::string(text.substr(text.size() - k));
}

std::string TextMid(std::string_view text, int start, int n) {
  text = Clamp(text);
  if (start < 1 || static_cast<size_t>(start) > text.size() || n <= 0) return {};
  return std::string(text.substr(static_cast<size_t>(start) - 1, static_cast<size_t>(n)));
}

std::string ReplaceText(std::string_view text, std::string_view old, std::string_view replacement, int start,
                        int count, bool caseSensitive) {
  text = Clamp(text);
  const long long b = std::max<long long>(static_cast<long long>(start) - 1, 0);
  if (text.empty() || old.empty() || b >= static_cast<long long>(text.size()) || count == 0) {
    return std::string(text);
  }
  // Any negative count means every occurrence.
  long long left = count < 0 ? LLONG_MAX : count;
  std::string out;
  out.reserve(text.size());
  size_t pos = static_cast<size_t>(b);
  out.append(text.substr(0, pos));
  while (left > 0) {
    const size_t found = FindFrom(text, old, pos, text.size(), !caseSensitive);
    if (found == std::string_view::npos) break;
    out.append(text.substr(pos, found - pos));
    out.append(replacement);
    pos = found + old.size();
    --left;
  }
  out.append(text.substr(pos));
  return out;
}

std::vector<std::string> SplitText(std::string_view text, std::string_view separator) {
  std::vector<std::string> pieces;
  if (text.empty()) return pieces;
  if (separator.empty()) {
    pieces.emplace_back(text);
    return pieces;
  }
  size_t cut = 0;
  for (;;) {
    const size_t found = FindFrom(text, separator, cut, text.size(), false);
    if (found == std::string_view::npos) break;
    pieces.emplace_back(text.substr(cut, found - cut));
    cut = found + separator.size();
  }
  if (cut < text.size()) pieces.emplace_back(text.substr(cut));
  return pieces;
}

namespace {

// Reads the next character with full-width forms folded to ASCII. A two-byte
// character that does not fold comes out as 0x80, which no rule below accepts.
class FoldedReader {
 public:
  explicit FoldedReader(std::string_view text) : text_(text) {}
  bool done() const { return pos_ >= text_.size(); }
  unsigned char peek() const {
    const unsigned char c = static_cast<unsigned char>(text_[pos_]);
    if (c < 0x80) return c;
    if (pos_ + 1 >= text_.size()) return 0x80;
    const unsigned char t = static_cast<unsigned char>(text_[pos_ + 1]);
    if (c == 0xA3 && t >= 0xA1 && t <= 0xFE) return static_cast<unsigned char>(t - 0x80);
    if (c == 0xA1) {
      if (t == 0xA1) return ' ';
      if (t == 0xAB) return '~';
      if (t == 0xEE || t == 0xEF) return '*';
    }
    return 0x80;
  }
  void next() { pos_ += IsLead(text_[pos_]) ? 2 : 1; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

bool IsBlank(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

int64_t TextToInt(std::string_view text) {
  FoldedReader in(text);
  while (!in.done() && IsBlank(in.peek())) in.next();
  bool negative = false;
  if (!in.done() && (in.peek() == '+' || in.peek() == '-')) {
    negative = in.peek() == '-';
    in.next();
  }
  // Magnitude saturates at 2^63, which is INT64_MIN's magnitude.
  constexpr uint64_t kLimit = uint64_t{1} << 63;
  uint64_t magnitude = 0;
  while (!in.done()) {
    const unsigned char c = in.peek();
    if (c < '0' || c > '9') break;
    const uint64_t digit = c - '0';
    magnitude = (magnitude > (kLimit - digit) / 10) ? kLimit : magnitude * 10 + digit;
    in.next();
  }
  if (negative) return magnitude >= kLimit ? INT64_MIN : -static_cast<int64_t>(magnitude);
  return magnitude >= kLimit ? INT64_MAX : static_cast<int64_t>(magnitude);
}

int32_t TextToInt32(std::string_view text) {
  return static_cast<int32_t>(std::clamp<int64_t>(TextToInt(text), INT32_MIN, INT32_MAX));
}

std::string TextAfter(std::string_view text, std::string_view marker, int position, bool ignoreCase) {
  text = Clamp(text);
  const long long length = static_cast<long long>(text.size());
  int found;
  if (position >= 0) {
    // Start <= 1 searches nothing; keep clear of the kWholeText sentinel.
    found = FindTextBackward(text, marker, ToInt(std::max(length - position + 1, 1LL)), ignoreCase);
  } else if (position == -1) {
    found = FindText(text, marker, 1, ignoreCase);
  } else {
    found = FindText(text, marker, ToInt(-static_cast<long long>(position)), ignoreCase);
  }
  if (found == kNotFound) return {};
  return TextRight(text, ToInt(length - static_cast<long long>(marker.size()) - found + 1));
}

std::string TextBefore(std::string_view text, std::string_view marker, int position, bool ignoreCase) {
  text = Clamp(text);
  const long long length = static_cast<long long>(text.size());
  int found;
  if (position >= 0) {
    found = FindText(text, marker, std::max(position, 1), ignoreCase);
  } else if (position == -1) {
    found = FindTextBackward(text, marker, kWholeText, ignoreCase);
  } else {
    found = FindTextBackward(text, marker, ToInt(std::max(length + position + 1, 1LL)), ignoreCase);
  }
  if (found == kNotFound) return {};
  return TextLeft(text, found - 1);
}

std::string TextBetween(std::string_view text, std::string_view left, std::string_view right, int position,
                        bool ignoreCase) {
  text = Clamp(text);
  static constexpr std::string_view kQuoteWord = "#引号";
  const std::string l = ReplaceText(left, kQuoteWord, "\"");
  const std::string r = ReplaceText(right, kQuoteWord, "\"");
  const int p = FindText(text, l, std::max(position, 1), ignoreCase);
  if (p == kNotFound) return {};
  const long long s = static_cast<long long>(p) + static_cast<long long>(l.size());
  if (s > INT_MAX) return {};
  const int e = FindText(text, r, static_cast<int>(s), ignoreCase);
  if (e == kNotFound) return {};
  return TextMid(text, static_cast<int>(s), ToInt(e - s));
}

int CountOccurrences(std::string_view text, std::string_view marker, bool caseSensitive) {
  text = Clamp(text);
  if (text.empty() || marker.empty()) return 0;
  int count = 0;
  size_t pos = 0;
  for (;;) {
    const size_t found = FindFrom(text, marker, pos, text.size(), !caseSensitive);
    if (found == std::string_view::npos) break;
    ++count;
    pos = found + marker.size();
  }
  return count;
}

std::string TidyLineBreaks(std::string_view text) {
  if (text.substr(0, 2) == "\r\n") text.remove_prefix(2);
  if (text.size() >= 2 && text.substr(text.size() - 2) == "\r\n") text.remove_suffix(2);
  // One pass over the text left by the two steps above; each byte is judged by its
  // neighbours there, so removals never affect one another.
  const auto isBreak = [](char c) { return c == '\r' || c == '\n'; };
  const size_t n = text.size();
  std::string out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    const char c = text[i];
    if (c == '\r' && (i == 0 || isBreak(text[i - 1]))) continue;
    if (c == '\n' && (i + 1 == n || isBreak(text[i + 1]))) continue;
    out.push_back(c);
  }
  return out;
}

}  // namespace morvane
