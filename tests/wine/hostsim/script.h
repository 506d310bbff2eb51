// Reading scenario lines: words, escapes, text conversion to GBK.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace hostsim {

// A mistake in the scenario itself (not a failed expectation).
struct ScriptError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Word {
  std::string raw;    // quotes removed, escapes still in place
  size_t start = 0;   // offset of the word in the line
};

// Splits at blanks; "..." groups blanks into one word (the quotes go); a
// backslash keeps the next character in the word.
std::vector<Word> SplitWords(std::string_view line);

// Turns scenario text (UTF-8) into the GBK bytes the plug-in gets. Escapes:
// \r \n \t \\ \" \@ \$ \xHH (a raw byte); @repeat(N,text) gives text N times;
// ${NAME} is the environment variable NAME as it stands (ANSI bytes), and an
// unset one is a ScriptError.
std::string DecodeText(std::string_view raw);

std::string GbkFromUtf8(std::string_view utf8);  // throws when a character has no GBK form
std::string GbkFromUtf8Lossy(std::string_view utf8);

// A GBK text made fit for one output line: control bytes and bytes that are no
// GBK character as \xHH, and cut after `limit` bytes with the full length noted.
std::string ShowText(std::string_view gbk, size_t limit = 160);

int64_t ParseInt(std::string_view text, int64_t min, int64_t max);

}  // namespace hostsim
