#include "runtime/Object.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace qx6 {

const Guid IID_IUnknown = Guid::FromString("{00000000-0000-0000-C000-000000000046}");

namespace {
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

std::optional<Guid> Guid::Parse(std::string_view text) {
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
  if (text.size() != 36) return std::nullopt;
  for (size_t dash : {8u, 13u, 18u, 23u})
    if (text[dash] != '-') return std::nullopt;
  uint8_t bytes[16];
  size_t pos = 0;
  for (int i = 0; i < 16; ++i) {
    if (text[pos] == '-') ++pos;
    int hi = HexDigit(text[pos]), lo = HexDigit(text[pos + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    bytes[i] = static_cast<uint8_t>(hi * 16 + lo);
    pos += 2;
  }
  Guid g;
  g.data1 = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
  g.data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
  g.data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
  std::memcpy(g.data4, bytes + 8, 8);
  return g;
}

Guid Guid::FromString(std::string_view text) {
  auto g = Parse(text);
  if (!g) throw std::invalid_argument("malformed GUID: " + std::string(text));
  return *g;
}

std::string Guid::ToString() const {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", data1, data2, data3,
                data4[0], data4[1], data4[2], data4[3], data4[4], data4[5], data4[6], data4[7]);
  return buf;
}

bool operator==(const Guid& a, const Guid& b) noexcept {
  return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
         std::memcmp(a.data4, b.data4, 8) == 0;
}

}  // namespace qx6
