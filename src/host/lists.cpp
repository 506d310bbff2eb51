#include "host/lists.h"

#include <algorithm>
#include <array>

namespace morvane {
namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int8_t kInvalid = -1;
constexpr int8_t kSkip = -2;

constexpr std::array<int8_t, 256> MakeTable() {
  std::array<int8_t, 256> table{};
  for (auto& v : table) v = kInvalid;
  for (size_t i = 0; i < kAlphabet.size(); ++i) table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int8_t>(i);
  for (const char c : {' ', '\t', '\r', '\n'}) table[static_cast<unsigned char>(c)] = kSkip;
  return table;
}
constexpr std::array<int8_t, 256> kTable = MakeTable();

}  // namespace

// Accepted: the alphabet, with blanks, tabs, CR and LF anywhere ignored (hosts may
// wrap long lines), then at most two "=" at the end, after which only ignored bytes
// may follow. Padding may be left out. Rejected (empty result): any other byte, a
// "=" before the end, a data length of 4k+1, or padding that does not make the
// length a multiple of 4. Unused low bits of the last group are ignored.
std::string DecodeBase64(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 4 * 3 + 3);
  uint32_t buffer = 0;
  int bits = 0;
  size_t symbols = 0;
  size_t padding = 0;
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    const int8_t v = kTable[c];
    if (v == kSkip) continue;
    if (c == '=') {
      ++padding;
      continue;
    }
    if (v == kInvalid || padding > 0) return {};
    ++symbols;
    buffer = (buffer << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((buffer >> bits) & 0xFF);
    }
  }
  if (symbols % 4 == 1 || padding > 2) return {};
  if (padding > 0 && (symbols + padding) % 4 != 0) return {};
  return out;
}

std::string EncodeBase64(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  const size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t v = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (rest == 2) v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

uint64_t PackedReader::readBigEndian(int width) {
  const size_t remaining = block_.size() - position_;
  const size_t take = std::min(static_cast<size_t>(width), remaining);
  // The bytes that remain form the low-order end of the value.
  uint64_t value = 0;
  for (size_t i = 0; i < take; ++i) value = (value << 8) | static_cast<unsigned char>(block_[position_ + i]);
  // Past the end every read gives zero, so the position can stop at the end.
  position_ += take;
  return value;
}

int16_t PackedReader::readInt16() { return static_cast<int16_t>(static_cast<uint16_t>(readBigEndian(2))); }
int32_t PackedReader::readInt32() { return static_cast<int32_t>(static_cast<uint32_t>(readBigEndian(4))); }
int64_t PackedReader::readInt64() { return static_cast<int64_t>(readBigEndian(8)); }

std::string PackedReader::readBytes(int64_t n) {
  if (n <= 0) return {};
  const size_t remaining = block_.size() - position_;
  const size_t take = static_cast<uint64_t>(n) < remaining ? static_cast<size_t>(n) : remaining;
  std::string bytes(block_.substr(position_, take));
  position_ += take;
  return bytes;
}

std::string PackedReader::readText() {
  const int16_t n = readInt16();
  return n <= 0 ? std::string() : readBytes(n);
}

namespace {

// The three lists differ only in their minimum size and in what one entry holds.
template <typename Entry, typename ReadEntry>
bool DecodeList(std::string_view text, size_t minimum, std::vector<Entry>& list, ReadEntry readEntry) {
  if (text.empty()) return false;
  const std::string block = DecodeBase64(text);
  if (block.size() < minimum) return false;
  PackedReader reader(block);
  const int32_t count = reader.readInt32();
  if (count < 0 || count > kMaxListEntries) return false;
  std::vector<Entry> entries(static_cast<size_t>(count));
  for (Entry& entry : entries) readEntry(reader, entry);
  list.swap(entries);
  return true;
}

}  // namespace

bool DecodeAccounts(std::string_view text, std::vector<int64_t>& list) {
  return DecodeList(text, 12, list, [](PackedReader& reader, int64_t& account) { account = reader.readInt64(); });
}

bool DecodeGroups(std::string_view text, std::vector<GroupEntry>& list) {
  return DecodeList(text, 10, list, [](PackedReader& reader, GroupEntry& group) {
    group.firstNumber = reader.readInt64();
    group.groupNumber = reader.readInt64();
    group.text = reader.readText();
  });
}

bool DecodeFriends(std::string_view text, std::vector<FriendEntry>& list) {
  return DecodeList(text, 10, list, [](PackedReader& reader, FriendEntry& entry) {
    entry.qq = reader.readInt64();
    entry.text = reader.readText();
  });
}

}  // namespace morvane
