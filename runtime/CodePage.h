// The ANSI code page: the one the files of the product are written in.
// Derived from the user's locale; QX6_ANSI_CODEPAGE overrides it (65001 is
// UTF-8; a value that names no code page ICU knows is ignored). Conversion
// through ICU; a character the code page cannot hold becomes "?", and so
// does a malformed UTF-8 byte. Single-byte code pages go through tables
// built once from ICU's mapping.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace qx6 {

class CodePageConverter {
 public:
  // Error 5 for a code page ICU does not know.
  explicit CodePageConverter(uint32_t codePage);
  ~CodePageConverter();
  CodePageConverter(const CodePageConverter&) = delete;
  CodePageConverter& operator=(const CodePageConverter&) = delete;

  uint32_t CodePage() const noexcept { return codePage_; }
  bool IsSingleByte() const noexcept;
  // UTF-8 to code-page bytes, appended to `out`. ASCII passes straight through.
  void Encode(std::string_view utf8, std::string& out) const;
  std::string Encode(std::string_view utf8) const;
  // Code-page bytes to UTF-8.
  void Decode(std::string_view bytes, std::string& out) const;
  std::string Decode(std::string_view bytes) const;

 private:
  struct Impl;
  uint32_t codePage_;
  std::unique_ptr<Impl> impl_;
};

namespace CodePage {

// The process's ANSI code page (environment override, else the locale's).
uint32_t Ansi();
// A converter for the ANSI code page; converters are shared and live as long
// as the process. Follows Locale::SetUser by itself.
const CodePageConverter& AnsiConverter();
// Re-reads the override (after QX6_ANSI_CODEPAGE changed).
void Reset();

inline std::string ToAnsi(std::string_view utf8) { return AnsiConverter().Encode(utf8); }
inline std::string FromAnsi(std::string_view bytes) { return AnsiConverter().Decode(bytes); }
// The text as the code page holds it: characters it cannot hold become "?".
std::string ThroughAnsi(std::string_view utf8);

}  // namespace CodePage
}  // namespace qx6
