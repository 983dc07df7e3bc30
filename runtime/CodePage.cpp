#include "runtime/CodePage.h"

#include <array>
#include <atomic>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/unistr.h>

#include "runtime/Locale.h"
#include "runtime/RuntimeError.h"
#include "runtime/Strings.h"

namespace qx6 {
namespace {

constexpr uint64_t kHighBits = 0x8080808080808080ull;

// Length of the ASCII run at the start of [p, end).
size_t AsciiRun(const char* p, const char* end) noexcept {
  const char* start = p;
  while (end - p >= 32) {
    uint64_t words[4];
    std::memcpy(words, p, 32);
    if ((words[0] | words[1] | words[2] | words[3]) & kHighBits) break;
    p += 32;
  }
  while (end - p >= 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    if (word & kHighBits) break;
    p += 8;
  }
  while (p < end && static_cast<unsigned char>(*p) < 0x80) ++p;
  return static_cast<size_t>(p - start);
}

// One code point from UTF-8 at p (p < end, *p >= 0x80); -1 for a malformed
// sequence, which then counts as one byte.
int32_t NextCodePoint(const unsigned char*& p, const unsigned char* end) noexcept {
  unsigned char c = *p;
  int length;
  int32_t cp, min;
  if (c >= 0xC2 && c <= 0xDF) length = 2, cp = c & 0x1F, min = 0x80;
  else if (c >= 0xE0 && c <= 0xEF) length = 3, cp = c & 0x0F, min = 0x800;
  else if (c >= 0xF0 && c <= 0xF4) length = 4, cp = c & 0x07, min = 0x10000;
  else {
    ++p;
    return -1;
  }
  if (end - p < length) {
    ++p;
    return -1;
  }
  for (int k = 1; k < length; ++k) {
    if ((p[k] & 0xC0) != 0x80) {
      ++p;
      return -1;
    }
    cp = (cp << 6) | (p[k] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++p;
    return -1;
  }
  p += length;
  return cp;
}

void AppendUtf8(int32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

UConverter* OpenIcuConverter(uint32_t codePage) {
  std::string number = std::to_string(codePage);
  for (const std::string& name : {"windows-" + number, "ibm-" + number, "cp" + number}) {
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(name.c_str(), &status);
    if (U_SUCCESS(status)) return converter;
  }
  return nullptr;
}

}  // namespace

struct CodePageConverter::Impl {
  enum class Kind { Utf8, SingleByte, MultiByte } kind = Kind::Utf8;
  bool asciiCompatible = true;

  // Single-byte code pages: bytes to UTF-8, and code points of the Basic
  // Multilingual Plane to bytes in pages of 256 (0 in `pageOf`: no page; 0 in
  // a page: the code page cannot hold the character).
  std::array<std::array<char, 4>, 256> decoded{};
  std::array<uint8_t, 256> decodedLength{};
  std::array<uint16_t, 256> pageOf{};
  std::vector<std::array<uint8_t, 256>> pages;
  bool zeroMapsToZero = false;

  // Other code pages go through ICU; its converters are not thread-safe.
  mutable std::mutex mutex;
  UConverter* icu = nullptr;

  ~Impl() {
    if (icu) ucnv_close(icu);
  }

  void BuildTables(UConverter* converter) {
    pages.emplace_back();  // page 0 of the vector stands for "none"
    UConverterToUCallback oldAction;
    const void* oldContext;
    UErrorCode callbackStatus = U_ZERO_ERROR;
    ucnv_setToUCallBack(converter, UCNV_TO_U_CALLBACK_STOP, nullptr, &oldAction, &oldContext, &callbackStatus);
    for (int b = 0; b < 256; ++b) {
      char byte = static_cast<char>(b);
      UChar unit[4];
      UErrorCode status = U_ZERO_ERROR;
      ucnv_resetToUnicode(converter);
      int32_t n = ucnv_toUChars(converter, unit, 4, &byte, 1, &status);
      int32_t cp = (U_SUCCESS(status) && n == 1 && !U16_IS_SURROGATE(unit[0])) ? unit[0] : -1;
      std::string utf8;
      AppendUtf8(cp < 0 ? '?' : cp, utf8);
      std::memcpy(decoded[b].data(), utf8.data(), utf8.size());
      decodedLength[b] = static_cast<uint8_t>(utf8.size());
      if (b < 0x80 && cp != b) asciiCompatible = false;
      if (cp < 0) continue;
      if (cp == 0) {
        zeroMapsToZero = b == 0;
        continue;
      }
      uint16_t& page = pageOf[cp >> 8];
      if (page == 0) {
        page = static_cast<uint16_t>(pages.size());
        pages.emplace_back();
        pages.back().fill(0);
      }
      uint8_t& slot = pages[page][cp & 0xFF];
      if (slot == 0) slot = static_cast<uint8_t>(b);  // the first byte wins: round trip
    }
  }

  char EncodeOne(int32_t cp) const noexcept {
    if (cp == 0) return zeroMapsToZero ? '\0' : '?';
    if (cp < 0 || cp > 0xFFFF) return '?';
    uint16_t page = pageOf[cp >> 8];
    uint8_t b = page ? pages[page][cp & 0xFF] : 0;
    return b ? static_cast<char>(b) : '?';
  }

  void EncodeSingleByte(std::string_view utf8, std::string& out) const {
    auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    auto* end = p + utf8.size();
    size_t start = out.size();
    out.resize(start + utf8.size());  // never more bytes than the UTF-8 has
    char* to = out.data() + start;
    while (p < end) {
      if (asciiCompatible) {
        size_t run = AsciiRun(reinterpret_cast<const char*>(p), reinterpret_cast<const char*>(end));
        std::memcpy(to, p, run);
        to += run;
        p += run;
        if (p == end) break;
      }
      int32_t cp = *p < 0x80 ? *p++ : NextCodePoint(p, end);
      *to++ = EncodeOne(cp);
    }
    out.resize(static_cast<size_t>(to - out.data()));
  }

  void DecodeSingleByte(std::string_view bytes, std::string& out) const {
    const char* p = bytes.data();
    const char* end = p + bytes.size();
    out.reserve(out.size() + bytes.size());
    while (p < end) {
      if (asciiCompatible) {
        size_t run = AsciiRun(p, end);
        out.append(p, run);
        p += run;
        if (p == end) break;
      }
      auto b = static_cast<unsigned char>(*p++);
      out.append(decoded[b].data(), decodedLength[b]);
    }
  }

  void EncodeIcu(std::string_view utf8, std::string& out) const {
    icu::UnicodeString text = icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    std::lock_guard lock(mutex);
    ucnv_resetFromUnicode(icu);
    size_t start = out.size();
    size_t capacity = static_cast<size_t>(UCNV_GET_MAX_BYTES_FOR_STRING(text.length(), ucnv_getMaxCharSize(icu)));
    out.resize(start + capacity);
    UErrorCode status = U_ZERO_ERROR;
    int32_t n = ucnv_fromUChars(icu, out.data() + start, static_cast<int32_t>(capacity), text.getBuffer(),
                                text.length(), &status);
    out.resize(start + (U_SUCCESS(status) || status == U_STRING_NOT_TERMINATED_WARNING ? static_cast<size_t>(n) : 0));
  }

  void DecodeIcu(std::string_view bytes, std::string& out) const {
    icu::UnicodeString text;
    {
      std::lock_guard lock(mutex);
      ucnv_resetToUnicode(icu);
      UErrorCode status = U_ZERO_ERROR;
      text = icu::UnicodeString(bytes.data(), static_cast<int32_t>(bytes.size()), icu, status);
    }
    text.toUTF8String(out);
  }
};

CodePageConverter::CodePageConverter(uint32_t codePage) : codePage_(codePage), impl_(std::make_unique<Impl>()) {
  if (codePage == 65001) return;
  UConverter* converter = OpenIcuConverter(codePage);
  if (!converter) Raise(RuntimeErrorNumber::InvalidProcedureCall, "Unknown code page " + std::to_string(codePage));
  if (ucnv_getMaxCharSize(converter) == 1) {
    impl_->kind = Impl::Kind::SingleByte;
    impl_->BuildTables(converter);
    ucnv_close(converter);
    return;
  }
  impl_->kind = Impl::Kind::MultiByte;
  impl_->icu = converter;
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setSubstChars(converter, "?", 1, &status);
}

CodePageConverter::~CodePageConverter() = default;

bool CodePageConverter::IsSingleByte() const noexcept { return impl_->kind == Impl::Kind::SingleByte; }

void CodePageConverter::Encode(std::string_view utf8, std::string& out) const {
  switch (impl_->kind) {
    case Impl::Kind::Utf8: out.append(utf8); return;
    case Impl::Kind::SingleByte: impl_->EncodeSingleByte(utf8, out); return;
    case Impl::Kind::MultiByte:
      // Windows' multi-byte code pages keep ASCII as it is.
      if (Strings::IsAscii(utf8)) out.append(utf8);
      else impl_->EncodeIcu(utf8, out);
      return;
  }
}

std::string CodePageConverter::Encode(std::string_view utf8) const {
  std::string out;
  Encode(utf8, out);
  return out;
}

void CodePageConverter::Decode(std::string_view bytes, std::string& out) const {
  switch (impl_->kind) {
    case Impl::Kind::Utf8: out.append(bytes); return;
    case Impl::Kind::SingleByte: impl_->DecodeSingleByte(bytes, out); return;
    case Impl::Kind::MultiByte:
      if (Strings::IsAscii(bytes)) out.append(bytes);
      else impl_->DecodeIcu(bytes, out);
      return;
  }
}

std::string CodePageConverter::Decode(std::string_view bytes) const {
  std::string out;
  Decode(bytes, out);
  return out;
}

namespace CodePage {
namespace {

std::atomic<unsigned> gGeneration{0};

// Converters live as long as the process, so references handed out stay
// valid; there are only ever a handful of code pages.
const CodePageConverter& Shared(uint32_t codePage) {
  static std::mutex mutex;
  static std::map<uint32_t, std::unique_ptr<CodePageConverter>> converters;
  std::lock_guard lock(mutex);
  auto& slot = converters[codePage];
  if (!slot) slot = std::make_unique<CodePageConverter>(codePage);
  return *slot;
}

bool Usable(uint32_t codePage) {
  try {
    Shared(codePage);
    return true;
  } catch (const RuntimeError&) {
    return false;
  }
}

uint32_t FromEnvironment() {
  if (const char* text = std::getenv("QX6_ANSI_CODEPAGE")) {
    std::string_view value(text);
    uint32_t codePage = 0;
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), codePage);
    // An override the system cannot serve is ignored rather than failing
    // every file operation.
    if (error == std::errc() && end == value.data() + value.size() && codePage > 0 && Usable(codePage))
      return codePage;
  }
  uint32_t codePage = Locale::User().ansiCodePage;
  return Usable(codePage) ? codePage : 1252;
}

struct ThreadCache {
  unsigned generation = ~0u;
  const LocaleInfo* locale = nullptr;
  uint32_t codePage = 1252;
  const CodePageConverter* converter = nullptr;
};

ThreadCache& Current() {
  thread_local ThreadCache cache;
  const LocaleInfo* locale = &Locale::User();
  unsigned generation = gGeneration.load(std::memory_order_acquire);
  if (cache.generation != generation || cache.locale != locale) {
    cache.codePage = FromEnvironment();
    cache.converter = &Shared(cache.codePage);
    cache.generation = generation;
    cache.locale = locale;
  }
  return cache;
}

}  // namespace

uint32_t Ansi() { return Current().codePage; }

const CodePageConverter& AnsiConverter() { return *Current().converter; }

void Reset() { gGeneration.fetch_add(1, std::memory_order_acq_rel); }

std::string ThroughAnsi(std::string_view utf8) {
  const CodePageConverter& converter = AnsiConverter();
  return converter.Decode(converter.Encode(utf8));
}

}  // namespace CodePage
}  // namespace qx6
