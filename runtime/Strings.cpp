#include "runtime/Strings.h"

#include <unicode/unistr.h>

namespace qx6::Strings {
namespace {
inline bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

template <class F>
std::string ViaIcu(std::string_view text, F change) {
  icu::UnicodeString u = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  change(u);
  std::string out;
  u.toUTF8String(out);
  return out;
}
}  // namespace

std::string_view LTrim(std::string_view text) noexcept {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  return text.substr(i);
}

std::string_view RTrim(std::string_view text) noexcept {
  size_t n = text.size();
  while (n > 0 && text[n - 1] == ' ') --n;
  return text.substr(0, n);
}

std::string_view Trim(std::string_view text) noexcept { return RTrim(LTrim(text)); }

std::string UCase(std::string_view text) {
  if (IsAscii(text)) {
    std::string out(text);
    for (char& c : out)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return out;
  }
  return ViaIcu(text, [](icu::UnicodeString& u) { u.toUpper(); });
}

std::string LCase(std::string_view text) {
  if (IsAscii(text)) {
    std::string out(text);
    for (char& c : out)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
  }
  return ViaIcu(text, [](icu::UnicodeString& u) { u.toLower(); });
}

std::string FoldCase(std::string_view text) {
  if (IsAscii(text)) return LCase(text);
  return ViaIcu(text, [](icu::UnicodeString& u) { u.foldCase(); });
}

bool EqualsText(std::string_view a, std::string_view b) {
  if (IsAscii(a) && IsAscii(b)) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      char x = a[i], y = b[i];
      if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
      if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
      if (x != y) return false;
    }
    return true;
  }
  return FoldCase(a) == FoldCase(b);
}

std::string Replace(std::string_view text, std::string_view find, std::string_view with) {
  std::string out(text);
  ReplaceInPlace(out, find, with);
  return out;
}

void ReplaceInPlace(std::string& text, std::string_view find, std::string_view with) {
  if (find.empty()) return;
  size_t pos = text.find(find);
  if (pos == std::string::npos) return;
  std::string out;
  out.reserve(text.size());
  size_t from = 0;
  while (pos != std::string::npos) {
    out.append(text, from, pos - from);
    out.append(with);
    from = pos + find.size();
    pos = text.find(find, from);
  }
  out.append(text, from, std::string::npos);
  text.swap(out);
}

void RemoveAll(std::string& text, std::string_view find) {
  if (find.empty()) return;
  if (find.size() == 1) {
    std::erase(text, find[0]);
    return;
  }
  ReplaceInPlace(text, find, {});
}

int32_t Len(std::string_view text) noexcept {
  int32_t n = 0;
  for (unsigned char c : text)
    if (!IsContinuation(c)) ++n;
  return n;
}

size_t ByteOffset(std::string_view text, int32_t character) noexcept {
  if (character <= 1) return 0;
  int32_t seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!IsContinuation(static_cast<unsigned char>(text[i]))) {
      if (++seen == character) return i;
    }
  }
  return text.size();
}

std::string_view Left(std::string_view text, int32_t characters) noexcept {
  if (characters <= 0) return {};
  return text.substr(0, ByteOffset(text, characters + 1));
}

std::string_view Right(std::string_view text, int32_t characters) noexcept {
  int32_t len = Len(text);
  if (characters >= len) return text;
  if (characters <= 0) return {};
  return text.substr(ByteOffset(text, len - characters + 1));
}

std::string_view Mid(std::string_view text, int32_t start, int32_t length) noexcept {
  if (start < 1) start = 1;
  size_t from = ByteOffset(text, start);
  std::string_view rest = text.substr(from);
  if (length < 0) return rest;
  return Left(rest, length);
}

namespace {
int32_t CharacterAt(std::string_view text, size_t byte) noexcept {
  return Len(text.substr(0, byte)) + 1;
}
}  // namespace

int32_t InStr(std::string_view text, std::string_view find, int32_t start) noexcept {
  if (start < 1) start = 1;
  size_t from = ByteOffset(text, start);
  if (from > text.size()) return 0;
  if (find.empty()) return start <= Len(text) + 1 ? start : 0;
  size_t pos = text.find(find, from);
  return pos == std::string_view::npos ? 0 : CharacterAt(text, pos);
}

int32_t InStrRev(std::string_view text, std::string_view find) noexcept {
  if (find.empty()) return Len(text);
  size_t pos = text.rfind(find);
  return pos == std::string_view::npos ? 0 : CharacterAt(text, pos);
}

}  // namespace qx6::Strings
