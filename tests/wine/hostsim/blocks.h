// The packed, base64-coded lists a host hands out, built here independently
// of the plug-in's decoder: a big-endian count, then the entries.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hostsim {

std::string EncodeBase64(std::string_view bytes);

class PackedBlock {
 public:
  PackedBlock& int32(int32_t value) { return bigEndian(static_cast<uint32_t>(value), 4); }
  PackedBlock& int64(int64_t value) { return bigEndian(static_cast<uint64_t>(value), 8); }
  // A 16-bit length, then the GBK bytes (no terminator).
  PackedBlock& text(std::string_view gbk) {
    bigEndian(gbk.size(), 2);
    bytes_ += gbk;
    return *this;
  }
  const std::string& bytes() const { return bytes_; }
  std::string base64() const { return EncodeBase64(bytes_); }

 private:
  PackedBlock& bigEndian(uint64_t value, int width) {
    for (int i = width - 1; i >= 0; --i) bytes_ += static_cast<char>((value >> (8 * i)) & 0xFF);
    return *this;
  }
  std::string bytes_;
};

}  // namespace hostsim
