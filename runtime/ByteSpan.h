// A bounds-checked window on bytes read from a file: every read of a
// little-endian word says whether it fit, so a damaged length or offset can
// never read past the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qx6 {

class ByteSpan {
 public:
  ByteSpan() = default;
  ByteSpan(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  explicit ByteSpan(std::string_view bytes)
      : data_(reinterpret_cast<const uint8_t*>(bytes.data())), size_(bytes.size()) {}

  size_t Size() const { return size_; }
  bool Has(uint64_t offset, uint64_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }
  bool Read16(uint64_t offset, uint16_t& out) const {
    if (!Has(offset, 2)) return false;
    const uint8_t* b = data_ + offset;
    out = static_cast<uint16_t>(b[0] | (b[1] << 8));
    return true;
  }
  bool Read32(uint64_t offset, uint32_t& out) const {
    if (!Has(offset, 4)) return false;
    const uint8_t* b = data_ + offset;
    out = uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
    return true;
  }
  ByteSpan Sub(uint64_t offset, uint64_t length) const {
    return Has(offset, length) ? ByteSpan(data_ + offset, length) : ByteSpan();
  }
  bool Empty() const { return data_ == nullptr; }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace qx6
