// Splits one line of a resource script (or a macro's value) into tokens:
// names, numbers, string literals with their escapes decoded to UTF-16, and
// operators. String literals do not continue onto the next line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qx6::rc {

struct Token {
  enum class Kind { Name, Number, String, Punct, End };
  Kind kind = Kind::End;
  std::string text;     // the name, the operator, or the source spelling
  int64_t number = 0;   // Number
  std::u16string value; // String, escapes decoded
  std::string file;
  int line = 0;

  bool Is(Kind k, const char* t) const { return kind == k && text == t; }
  bool IsPunct(const char* t) const { return Is(Kind::Punct, t); }
  // Keywords of the script language are not case-sensitive.
  bool IsKeyword(const char* keyword) const;
  std::string Describe() const;  // for messages: 'BEGIN', end of file, ...
};

// Tokenizes `text`, which is valid UTF-8, reporting faults at file:line.
std::vector<Token> Tokenize(const std::string& text, const std::string& file, int line);

}  // namespace qx6::rc
