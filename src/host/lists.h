// Decoding of the lists the host library returns: base64 text of a packed,
// big-endian byte block (a count, then one entry per account, group or friend).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

struct GroupEntry {
  int64_t firstNumber = 0;  // not the group to post to
  int64_t groupNumber = 0;
  std::string text;
};

struct FriendEntry {
  int64_t qq = 0;
  std::string text;
};

// A count above this is taken for a corrupt block: no account is in that many
// groups or has that many friends, and it keeps a hostile count from
// allocating without bound.
inline constexpr int32_t kMaxListEntries = 100000;

// Standard base64 ("+", "/", "=" padding). Blanks, tabs, CR and LF are ignored
// wherever they stand (some hosts wrap lines); padding may be left out. Text that
// does not decode gives an empty result: any other byte, a "=" followed by data,
// more than two "=", or a length that no byte count encodes.
std::string DecodeBase64(std::string_view text);
std::string EncodeBase64(std::string_view bytes);

// Reads big-endian values from a byte block. A read past the end takes the
// bytes that remain as the low-order end of the value (zero when none remain)
// and still advances by its full width; no read fails.
class PackedReader {
 public:
  explicit PackedReader(std::string_view block) : block_(block) {}
  int16_t readInt16();
  int32_t readInt32();
  int64_t readInt64();
  std::string readBytes(int64_t n);
  std::string readText();  // int16 length, then that many bytes; length <= 0 gives ""

 private:
  uint64_t readBigEndian(int width);
  std::string_view block_;
  size_t position_ = 0;
};

// Each replaces `list` and returns true on success; on false `list` is untouched.
bool DecodeAccounts(std::string_view text, std::vector<int64_t>& list);
bool DecodeGroups(std::string_view text, std::vector<GroupEntry>& list);
bool DecodeFriends(std::string_view text, std::vector<FriendEntry>& list);

}  // namespace morvane
