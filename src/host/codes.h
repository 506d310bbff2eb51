// In-message codes ("[ZR:type,key=value]", "[@qq]") and the escaping of plain text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvane {

// Put at the very start of a group message, the host posts it anonymously.
inline constexpr std::string_view kAnonymousMarker = "[ZR:Anonymous,isforce=1]";
// An incoming picture: from this text up to and including the next "]".
inline constexpr std::string_view kImageCodeStart = "[ZR:image";

// "&", "[", "]" (and "," when escapeComma) become "&amp;", "&#91;", "&#93;", "&#44;".
// GBK characters are stepped whole: a trail byte equal to "[" or "]" stays as it is.
// unescapeText undoes "&amp;" last, and unescapeText(escapeText(t, any)) == t.
std::string escapeText(std::string_view text, bool escapeComma);
std::string unescapeText(std::string_view text);

std::string faceCode(int32_t id);
std::string atCode(int64_t qq, bool noSpace);
std::string imagePathCode(std::string_view path);
std::string imageUrlCode(std::string_view url);
std::string flashPictureCode(std::string_view path);
std::string voiceCode(std::string_view path);
std::string appCardCode(int32_t kind, std::string_view data);

}  // namespace morvane
