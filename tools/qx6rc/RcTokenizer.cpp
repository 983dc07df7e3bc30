#include "tools/qx6rc/RcTokenizer.h"

#include <cctype>
#include <cstring>
#include <strings.h>

#include "tools/qx6rc/SourceError.h"

namespace qx6::rc {

namespace {

bool IsNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  } else {
    out += static_cast<char16_t>(cp);
  }
}

// Decodes one UTF-8 sequence at text[i] (already validated when read).
char32_t DecodeUtf8(const std::string& text, size_t& i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char b = byte(i);
  if (b < 0x80) return text[i++];
  int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
  char32_t cp = b & (0x3F >> extra);
  ++i;
  for (int k = 0; k < extra && i < text.size(); ++k) cp = (cp << 6) | (byte(i++) & 0x3F);
  return cp;
}

int64_t ParseNumber(const std::string& spelling, const std::string& file, int line) {
  std::string digits = spelling;
  while (!digits.empty() && std::strchr("LlUu", digits.back())) digits.pop_back();
  uint64_t value = 0;
  bool hex = digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
  size_t start = hex ? 2 : 0;
  if (digits.size() == start) throw SourceError(file, line, "malformed number '" + spelling + "'");
  for (size_t i = start; i < digits.size(); ++i) {
    int d = HexDigit(digits[i]);
    if (d < 0 || (!hex && d > 9)) throw SourceError(file, line, "malformed number '" + spelling + "'");
    value = value * (hex ? 16 : 10) + static_cast<uint64_t>(d);
    if (value > 0xFFFFFFFFull) throw SourceError(file, line, "number '" + spelling + "' is too large");
  }
  return static_cast<int64_t>(value);
}

// Reads the literal that starts at text[i] == '"'; i ends after the closing quote.
std::u16string ReadString(const std::string& text, size_t& i, const std::string& file, int line) {
  std::u16string out;
  ++i;
  while (true) {
    if (i >= text.size()) throw SourceError(file, line, "unterminated string");
    char c = text[i];
    if (c == '"') {
      if (i + 1 < text.size() && text[i + 1] == '"') {  // "" stands for one quote
        out += u'"';
        i += 2;
        continue;
      }
      ++i;
      return out;
    }
    if (c != '\\') {
      AppendUtf16(out, DecodeUtf8(text, i));
      continue;
    }
    if (i + 1 >= text.size()) throw SourceError(file, line, "unterminated string");
    char e = text[i + 1];
    i += 2;
    switch (e) {
      case 'n': out += u'\n'; break;
      case 't': out += u'\t'; break;
      case 'r': out += u'\r'; break;
      case 'a': out += u'\a'; break;
      case 'b': out += u'\b'; break;
      case 'f': out += u'\f'; break;
      case 'v': out += u'\v'; break;
      case '\\': out += u'\\'; break;
      case '"': out += u'"'; break;
      case '\'': out += u'\''; break;
      case 'x': case 'X': {
        char32_t v = 0;
        int n = 0;
        while (n < 4 && i < text.size() && HexDigit(text[i]) >= 0) v = v * 16 + HexDigit(text[i++]), ++n;
        if (n == 0) throw SourceError(file, line, "\\x must be followed by hexadecimal digits");
        out += static_cast<char16_t>(v);
        break;
      }
      default:
        if (e >= '0' && e <= '7') {
          char32_t v = e - '0';
          for (int n = 1; n < 3 && i < text.size() && text[i] >= '0' && text[i] <= '7'; ++n)
            v = v * 8 + (text[i++] - '0');
          out += static_cast<char16_t>(v);
          break;
        }
        std::string shown(1, e);
        if (static_cast<unsigned char>(e) >= 0x80) {  // show the whole character
          size_t k = i - 1;
          size_t from = k;
          DecodeUtf8(text, k);
          shown = text.substr(from, k - from);
          i = k;
        }
        throw SourceError(file, line, "unknown escape sequence '\\" + shown + "' in string");
    }
  }
}

}  // namespace

bool Token::IsKeyword(const char* keyword) const {
  return kind == Kind::Name && strcasecmp(text.c_str(), keyword) == 0;
}

std::string Token::Describe() const {
  switch (kind) {
    case Kind::End: return "end of file";
    case Kind::String: return "a string";
    default: return "'" + text + "'";
  }
}

std::vector<Token> Tokenize(const std::string& text, const std::string& file, int line) {
  static const char* const kTwoChar[] = {"<<", ">>", "<=", ">=", "==", "!=", "&&", "||"};
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == ' ' || c == '\t' || c == '\f' || c == '\v' || c == '\r') {
      ++i;
      continue;
    }
    Token t;
    t.file = file;
    t.line = line;
    if ((c == 'L' || c == 'l') && i + 1 < text.size() && text[i + 1] == '"') ++i, c = '"';
    if (c == '"') {
      t.kind = Token::Kind::String;
      size_t start = i;
      t.value = ReadString(text, i, file, line);
      t.text = text.substr(start, i - start);
    } else if (IsNameStart(c)) {
      size_t start = i;
      while (i < text.size() && IsNameChar(text[i])) ++i;
      t.kind = Token::Kind::Name;
      t.text = text.substr(start, i - start);
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      size_t start = i;
      while (i < text.size() && IsNameChar(text[i])) ++i;
      t.kind = Token::Kind::Number;
      t.text = text.substr(start, i - start);
      t.number = ParseNumber(t.text, file, line);
    } else {
      t.kind = Token::Kind::Punct;
      for (const char* op : kTwoChar)
        if (text.compare(i, 2, op) == 0) t.text = op;
      if (t.text.empty()) {
        if (!std::strchr(",{}()+-|&~!*/%<>^", c)) {
          size_t k = i;
          DecodeUtf8(text, k);
          throw SourceError(file, line, "unexpected character '" + text.substr(i, k - i) + "'");
        }
        t.text = std::string(1, c);
      }
      i += t.text.size();
    }
    tokens.push_back(std::move(t));
  }
  return tokens;
}

}  // namespace qx6::rc
