#include "host/codes.h"

#include <string>

namespace morvane {
namespace {

std::string Code(std::string_view head, std::string_view value) {
  std::string code(head);
  code += escapeText(value, true);
  code += ']';
  return code;
}

}  // namespace

// One pass gives the same result as the four passes in turn ("&" first), since no
// entity written holds "[", "]" or ",". Characters are stepped as GBK, so a trail
// byte that happens to be "[" or "]" is left alone, as every text search does.
std::string escapeText(std::string_view text, bool escapeComma) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  size_t run = 0;  // start of the bytes not yet copied
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (static_cast<unsigned char>(c) >= 0x80) {
      i += 2;
      continue;
    }
    std::string_view entity;
    switch (c) {
      case '&': entity = "&amp;"; break;
      case '[': entity = "&#91;"; break;
      case ']': entity = "&#93;"; break;
      case ',':
        if (escapeComma) entity = "&#44;";
        break;
      default: break;
    }
    if (!entity.empty()) {
      out.append(text.substr(run, i - run));
      out.append(entity);
      run = i + 1;
    }
    ++i;
  }
  if (run < text.size()) out.append(text.substr(run));
  return out;
}

// "&amp;" is undone last, so "&amp;#91;" comes back as "&#91;", not "[". Done as one
// pass: at an "&" the three numeric entities are tried against the text as the
// earlier passes would have left it, which can only differ when an "&amp;" stands
// in front, and that is undone after them.
std::string unescapeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (static_cast<unsigned char>(c) >= 0x80) {
      out += c;
      if (i + 1 < text.size()) out += text[i + 1];
      i += 2;
      continue;
    }
    if (c == '&') {
      const std::string_view rest = text.substr(i);
      if (rest.substr(0, 5) == "&#91;") { out += '['; i += 5; continue; }
      if (rest.substr(0, 5) == "&#93;") { out += ']'; i += 5; continue; }
      if (rest.substr(0, 5) == "&#44;") { out += ','; i += 5; continue; }
      if (rest.substr(0, 5) == "&amp;") { out += '&'; i += 5; continue; }
    }
    out += c;
    ++i;
  }
  return out;
}

std::string faceCode(int32_t id) { return "[ZR:face,id=" + std::to_string(id) + "]"; }

std::string atCode(int64_t qq, bool noSpace) {
  std::string code = "[@" + (qq == -1 ? std::string("all") : std::to_string(qq)) + "]";
  if (!noSpace) code += ' ';
  return code;
}

std::string imagePathCode(std::string_view path) { return Code("[ZR:image,path=", path); }
std::string imageUrlCode(std::string_view url) { return Code("[ZR:image,urls=", url); }
std::string flashPictureCode(std::string_view path) { return Code("[ZR:flashpic,path=", path); }
std::string voiceCode(std::string_view path) { return Code("[ZR:record,path=", path); }

std::string appCardCode(int32_t kind, std::string_view data) {
  if (kind == 1) return Code("[ZR:lightappelem,type=1,data=", data);
  if (kind == 0) return Code("[ZR:richmsg,type=1,template_1=", data);
  return {};
}

}  // namespace morvane
