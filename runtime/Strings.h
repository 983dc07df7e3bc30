// String helpers with the runtime's semantics over UTF-8 text: a character in
// a length, a position or a cut is one Unicode code point; positions are
// 1-based and 0 means "not found".
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace qx6::Strings {

// Spaces (character 32) only, as the runtime's Trim.
std::string_view Trim(std::string_view text) noexcept;
std::string_view LTrim(std::string_view text) noexcept;
std::string_view RTrim(std::string_view text) noexcept;

std::string UCase(std::string_view text);
std::string LCase(std::string_view text);
// A form for comparisons without regard to letter case.
std::string FoldCase(std::string_view text);
bool EqualsText(std::string_view a, std::string_view b);

// Every occurrence of `find` (compared exactly) replaced, left to right, the
// replacement never searched again. An empty `find` leaves the text as it is.
std::string Replace(std::string_view text, std::string_view find, std::string_view with);
void ReplaceInPlace(std::string& text, std::string_view find, std::string_view with);
void RemoveAll(std::string& text, std::string_view find);

// Character counts and cuts.
int32_t Len(std::string_view text) noexcept;
std::string_view Left(std::string_view text, int32_t characters) noexcept;
std::string_view Right(std::string_view text, int32_t characters) noexcept;
// From 1-based character `start`, `length` characters (-1: to the end).
std::string_view Mid(std::string_view text, int32_t start, int32_t length = -1) noexcept;

// 1-based character position of the first occurrence at or after character
// `start`; 0 when absent. An empty `find` gives `start`.
int32_t InStr(std::string_view text, std::string_view find, int32_t start = 1) noexcept;
// The last occurrence; 0 when absent.
int32_t InStrRev(std::string_view text, std::string_view find) noexcept;

// Byte offset of the 1-based character position (text.size() past the end).
size_t ByteOffset(std::string_view text, int32_t character) noexcept;
inline bool IsAscii(std::string_view text) noexcept {
  // Eight bytes at a time: the per-value paths ask this of every value.
  const char* p = text.data();
  const char* end = p + text.size();
  uint64_t high = 0;
  for (; end - p >= 8; p += 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    high |= word;
  }
  for (; p != end; ++p) high |= static_cast<unsigned char>(*p);
  return (high & 0x8080808080808080u) == 0;
}

// Copies `size` bytes and returns their end: the short pieces of a row or a
// date (most under 16 bytes) with two overlapping moves instead of a call.
inline char* CopyShort(char* to, const char* from, size_t size) noexcept {
  if (size >= 8 && size <= 16) {
    uint64_t head, tail;
    std::memcpy(&head, from, 8);
    std::memcpy(&tail, from + size - 8, 8);
    std::memcpy(to, &head, 8);
    std::memcpy(to + size - 8, &tail, 8);
  } else if (size >= 4 && size < 8) {
    uint32_t head, tail;
    std::memcpy(&head, from, 4);
    std::memcpy(&tail, from + size - 4, 4);
    std::memcpy(to, &head, 4);
    std::memcpy(to + size - 4, &tail, 4);
  } else if (size < 4) {
    for (size_t i = 0; i < size; ++i) to[i] = from[i];
  } else {
    std::memcpy(to, from, size);
  }
  return to + size;
}

}  // namespace qx6::Strings
