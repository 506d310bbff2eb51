#include "script.h"

#include <windows.h>

#include <cerrno>
#include <cstdlib>

namespace hostsim {

std::vector<Word> SplitWords(std::string_view line) {
  std::vector<Word> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    Word word;
    word.start = i;
    bool quoted = false;
    for (; i < line.size(); ++i) {
      char c = line[i];
      if (!quoted && (c == ' ' || c == '\t')) break;
      if (c == '"') {
        quoted = !quoted;
      } else if (c == '\\' && i + 1 < line.size()) {
        word.raw += c;
        word.raw += line[++i];
      } else {
        word.raw += c;
      }
    }
    if (quoted) throw ScriptError("unterminated quote");
    words.push_back(std::move(word));
  }
  return words;
}

namespace {

std::wstring WideFromUtf8(std::string_view utf8, bool strict) {
  if (utf8.empty()) return {};
  const DWORD flags = strict ? MB_ERR_INVALID_CHARS : 0;
  int n = ::MultiByteToWideChar(CP_UTF8, flags, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) {
    if (strict) throw ScriptError("text is not UTF-8");
    return {};
  }
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, flags, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

std::string Gbk(std::string_view utf8, bool strict) {
  std::wstring wide = WideFromUtf8(utf8, strict);
  if (wide.empty()) return {};
  BOOL lost = FALSE;
  BOOL* lostFlag = strict ? &lost : nullptr;
  int n = ::WideCharToMultiByte(936, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, lostFlag);
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(936, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, lostFlag);
  if (lost) throw ScriptError("text has a character that GBK cannot hold");
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr std::string_view kRepeat = "@repeat(";
constexpr size_t kMaxText = 64u << 20;

}  // namespace

std::string GbkFromUtf8(std::string_view utf8) { return Gbk(utf8, true); }
std::string GbkFromUtf8Lossy(std::string_view utf8) { return Gbk(utf8, false); }

std::string DecodeText(std::string_view raw) {
  std::string out, pending;  // pending: UTF-8 not yet converted
  auto flush = [&] {
    out += GbkFromUtf8(pending);
    pending.clear();
  };
  for (size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c == '\\') {
      if (i + 1 >= raw.size()) throw ScriptError("a lone backslash ends the text");
      char e = raw[++i];
      switch (e) {
        case 'r': pending += '\r'; break;
        case 'n': pending += '\n'; break;
        case 't': pending += '\t'; break;
        case '\\': case '"': case '@': case ' ': case '$': pending += e; break;
        case 'x': {
          int hi = i + 1 < raw.size() ? HexDigit(raw[i + 1]) : -1;
          int lo = i + 2 < raw.size() ? HexDigit(raw[i + 2]) : -1;
          if (hi < 0 || lo < 0) throw ScriptError("\\x needs two hex digits");
          flush();
          out += static_cast<char>(hi * 16 + lo);
          i += 2;
          break;
        }
        default: throw ScriptError(std::string("unknown escape \\") + e);
      }
    } else if (c == '$' && raw.substr(i, 2) == "${") {
      size_t close = raw.find('}', i);
      if (close == std::string_view::npos) throw ScriptError("${ without }");
      const std::string name(raw.substr(i + 2, close - i - 2));
      char value[32768];
      DWORD n = name.empty() ? 0 : ::GetEnvironmentVariableA(name.c_str(), value, sizeof(value));
      if (n == 0 || n >= sizeof(value)) throw ScriptError("the environment variable \"" + name + "\" is not set");
      flush();
      out.append(value, n);  // ANSI (GBK) already
      i = close;
    } else if (c == '@' && raw.substr(i, kRepeat.size()) == kRepeat) {
      size_t comma = raw.find(',', i);
      size_t close = raw.find(')', i);
      if (comma == std::string_view::npos || close == std::string_view::npos || close < comma)
        throw ScriptError("@repeat needs the form @repeat(N,text)");
      int64_t count = ParseInt(raw.substr(i + kRepeat.size(), comma - i - kRepeat.size()), 0, kMaxText);
      std::string piece = DecodeText(raw.substr(comma + 1, close - comma - 1));
      if (!piece.empty() && static_cast<size_t>(count) > kMaxText / piece.size())
        throw ScriptError("@repeat makes more than 64 MiB");
      flush();
      out.reserve(out.size() + piece.size() * static_cast<size_t>(count));
      for (int64_t k = 0; k < count; ++k) out += piece;
      i = close;
    } else {
      pending += c;
    }
  }
  flush();
  return out;
}

std::string ShowText(std::string_view gbk, size_t limit) {
  std::string out;
  size_t i = 0;
  auto hex = [&](unsigned char b) {
    static const char digits[] = "0123456789ABCDEF";
    out += "\\x";
    out += digits[b >> 4];
    out += digits[b & 15];
  };
  while (i < gbk.size() && i < limit) {
    unsigned char b = static_cast<unsigned char>(gbk[i]);
    if (b >= 0x81 && b <= 0xFE && i + 1 < gbk.size()) {
      unsigned char t = static_cast<unsigned char>(gbk[i + 1]);
      if (t >= 0x40 && t <= 0xFE && t != 0x7F) {
        out += gbk.substr(i, 2);
        i += 2;
        continue;
      }
    }
    if (b == '\r') out += "\\r";
    else if (b == '\n') out += "\\n";
    else if (b == '\t') out += "\\t";
    else if (b == '\\') out += "\\\\";
    else if (b < 0x20 || b >= 0x7F) hex(b);
    else out += static_cast<char>(b);
    ++i;
  }
  if (i < gbk.size()) out += "...(" + std::to_string(gbk.size()) + " bytes)";
  return out;
}

int64_t ParseInt(std::string_view text, int64_t min, int64_t max) {
  std::string s(text);
  if (s.empty()) throw ScriptError("a number is missing");
  errno = 0;
  char* end = nullptr;
  long long value = std::strtoll(s.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < min || value > max)
    throw ScriptError("not a number in range [" + std::to_string(min) + ", " + std::to_string(max) + "]: " + s);
  return value;
}

}  // namespace hostsim
