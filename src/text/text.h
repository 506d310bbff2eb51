// Text helpers: search, slice, split, replace and read numbers in GBK byte strings.
//
// Texts are GBK bytes. Lengths and positions count bytes; positions are 1-based
// and -1 means "not found". A byte of 0x80 or above starts a two-byte character,
// so a search steps over whole characters and never matches on a trail byte.
// Every function is pure, never throws for any input and is linear in the
// length of the text (times the length of the pattern at most).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

inline constexpr int kNotFound = -1;
// FindTextBackward without a start: the whole text is searched.
inline constexpr int kWholeText = -2147483647 - 1;
// ReplaceText without a count: every occurrence.
inline constexpr int kAllOccurrences = -1;

// Position of the first match at or after byte `start`, or -1.
// An empty pattern gives 1 when the searched part is non-empty (even for start > 1).
int FindText(std::string_view text, std::string_view pattern, int start = 1, bool ignoreCase = false);

// Position of the last match lying wholly in bytes 1 .. start-1, or -1.
int FindTextBackward(std::string_view text, std::string_view pattern, int start = kWholeText,
                     bool ignoreCase = false);

std::string TextLeft(std::string_view text, int n);
std::string TextRight(std::string_view text, int n);
std::string TextMid(std::string_view text, int start, int n);

// Occurrences of `old` replaced by `replacement`, from byte `start`, at most `count`
// of them (kAllOccurrences: all). caseSensitive false folds ASCII letters.
std::string ReplaceText(std::string_view text, std::string_view old, std::string_view replacement = {},
                        int start = 1, int count = kAllOccurrences, bool caseSensitive = true);

// Pieces between separators; a trailing empty rest is not a piece.
std::vector<std::string> SplitText(std::string_view text, std::string_view separator);

// Leading decimal number after folding full-width forms; no digits give 0.
// Numbers beyond 64 bits saturate.
int64_t TextToInt(std::string_view text);
// The same, saturated to 32 bits, for settings and counts read as int.
int32_t TextToInt32(std::string_view text);

std::string TextAfter(std::string_view text, std::string_view marker, int position = 0, bool ignoreCase = false);
std::string TextBefore(std::string_view text, std::string_view marker, int position = 0, bool ignoreCase = false);
std::string TextBetween(std::string_view text, std::string_view left, std::string_view right, int position = 0,
                        bool ignoreCase = false);

// Non-overlapping occurrences; caseSensitive false folds ASCII letters.
int CountOccurrences(std::string_view text, std::string_view marker, bool caseSensitive);

// Drops a leading and a trailing "\r\n" and the line breaks of empty lines.
std::string TidyLineBreaks(std::string_view text);

}  // namespace morvane
