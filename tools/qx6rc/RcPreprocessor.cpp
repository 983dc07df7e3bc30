#include "tools/qx6rc/RcPreprocessor.h"

#include <strings.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tools/qx6rc/RcExpression.h"
#include "tools/qx6rc/RcTokenizer.h"
#include "tools/qx6rc/SourceError.h"

namespace qx6::rc {

namespace {

constexpr int kMaxIncludeDepth = 32;

// Windows SDK and MFC headers that scripts include for constants this
// compiler already knows (the language constants); missing, they are skipped.
constexpr const char* kSystemHeaders[] = {
    "windows.h", "winres.h", "winresrc.h", "winuser.h", "winnt.h",    "winver.h", "verrsrc.h",
    "afxres.h",  "commctrl.h", "dlgs.h",   "richedit.h", "winbase.h", "windef.h", "ntverp.h"};

bool IsSystemHeader(const std::string& name) {
  std::string base = name.substr(name.find_last_of("/\\") + 1);
  for (const char* h : kSystemHeaders)
    if (strcasecmp(base.c_str(), h) == 0) return true;
  return false;
}

bool IsHeaderFile(const std::string& path) {
  std::string ext = path.substr(path.find_last_of('.') == std::string::npos ? path.size() : path.find_last_of('.'));
  for (const char* e : {".h", ".hh", ".hpp", ".hxx", ".c", ".cc", ".cpp", ".cxx"})
    if (strcasecmp(ext.c_str(), e) == 0) return true;
  return false;
}

bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

std::string Join(const std::string& dir, const std::string& name) {
  if (!name.empty() && name[0] == '/') return name;
  if (dir == ".") return name;
  return dir + "/" + name;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\f\v");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r\f\v");
  return s.substr(b, e - b + 1);
}

// Line of the first byte that is not valid UTF-8, or 0 when the text is valid.
int FindInvalidUtf8(const std::string& text) {
  int line = 1;
  for (size_t i = 0; i < text.size();) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    if (b == '\n') ++line;
    if (b < 0x80) {
      ++i;
      continue;
    }
    int extra = (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0) return line;
    char32_t cp = b & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      if (i + k >= text.size()) return line;
      unsigned char c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) return line;
      cp = (cp << 6) | (c & 0x3F);
    }
    static const char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return line;
    i += extra + 1;
  }
  return 0;
}

// Replaces comments by spaces (keeping line breaks, so line numbers stay),
// leaving string literals alone.
std::string StripComments(const std::string& text, const std::string& file) {
  std::string out;
  out.reserve(text.size());
  int line = 1;
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\n') {
      ++line;
      inString = false;  // the tokenizer reports the unterminated string
      out += c;
      continue;
    }
    if (inString) {
      out += c;
      if (c == '\\' && i + 1 < text.size() && text[i + 1] != '\n') out += text[++i];
      else if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') out += text[++i];
      else if (c == '"') inString = false;
      continue;
    }
    if (c == '"') {
      inString = true;
      out += c;
    } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
      while (i + 1 < text.size() && text[i + 1] != '\n') ++i;
    } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      int startLine = line;
      i += 2;
      while (i < text.size() && !(text[i] == '*' && i + 1 < text.size() && text[i + 1] == '/')) {
        if (text[i] == '\n') {
          ++line;
          out += '\n';
        }
        ++i;
      }
      if (i >= text.size()) throw SourceError(file, startLine, "unterminated comment");
      ++i;
      out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

struct RcPreprocessor::Conditional {
  int line;
  bool parentActive;
  bool active;
  bool taken;  // some branch of this #if has been active
  bool sawElse;
};

RcPreprocessor::RcPreprocessor(RcSymbols& symbols, std::vector<std::string> includeDirs)
    : symbols_(symbols), includeDirs_(std::move(includeDirs)) {}

std::vector<SourceLine> RcPreprocessor::Run(const std::string& inputPath) {
  out_.clear();
  inputDir_ = DirectoryOf(inputPath);
  ProcessFile(inputPath, "", 0, 0);
  return std::move(out_);
}

std::string RcPreprocessor::FindInclude(const std::string& name, bool angled, const std::string& fromFile) const {
  if (!name.empty() && name[0] == '/') return IsFile(name) ? name : "";
  std::vector<std::string> dirs;
  if (!angled) dirs = {DirectoryOf(fromFile), inputDir_};
  dirs.insert(dirs.end(), includeDirs_.begin(), includeDirs_.end());
  for (const std::string& dir : dirs) {
    std::string candidate = Join(dir, name);
    if (IsFile(candidate)) return candidate;
  }
  return "";
}

void RcPreprocessor::ProcessFile(const std::string& path, const std::string& includedFrom, int includedAtLine,
                                 int depth) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::string why = std::strerror(errno);
    if (includedFrom.empty()) throw SourceError(path, 0, "cannot open the file: " + why);
    throw SourceError(includedFrom, includedAtLine, "cannot open include file '" + path + "': " + why);
  }
  std::stringstream buffer;
  buffer << in.rdbuf();
  std::string text = buffer.str();
  if (text.size() >= 2 && ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF')))
    throw SourceError(path, 1, "the file is UTF-16; save it as UTF-8");
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  if (int bad = FindInvalidUtf8(text)) throw SourceError(path, bad, "invalid UTF-8 byte sequence");
  if (text.find('\0') != std::string::npos) {
    int line = 1;
    for (size_t i = 0; text[i] != '\0'; ++i) line += text[i] == '\n';
    throw SourceError(path, line, "NUL character in the source");
  }
  text = StripComments(text, path);

  const bool headerOnly = IsHeaderFile(path);
  std::vector<Conditional> conditionals;
  auto active = [&] { return conditionals.empty() || conditionals.back().active; };

  std::istringstream lines(text);
  std::string raw;
  int lineNo = 0;
  while (std::getline(lines, raw)) {
    ++lineNo;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    std::string line = Trim(raw);
    if (line.empty() || line[0] != '#') {
      if (active() && !headerOnly && !line.empty()) out_.push_back({path, lineNo, raw});
      continue;
    }
    // A directive: "#", the directive's name, its argument.
    size_t p = line.find_first_not_of(" \t", 1);
    size_t e = p == std::string::npos ? line.size() : line.find_first_of(" \t(\"<", p);
    if (e == std::string::npos) e = line.size();
    std::string directive = p == std::string::npos ? "" : line.substr(p, e - p);
    std::string argument = Trim(line.substr(e));
    auto fail = [&](const std::string& message) -> void { throw SourceError(path, lineNo, message); };
    auto condition = [&]() -> bool {
      std::vector<Token> tokens = Tokenize(argument, path, lineNo);
      if (tokens.empty()) fail("#" + directive + " needs a condition");
      Token end;
      end.file = path;
      end.line = lineNo;
      tokens.push_back(end);
      size_t pos = 0;
      int64_t v = EvaluateExpression(tokens, pos, symbols_, ExpressionMode::Condition);
      if (tokens[pos].kind != Token::Kind::End)
        fail("unexpected " + tokens[pos].Describe() + " in #" + directive + " condition");
      return v != 0;
    };
    auto firstName = [&]() -> std::string {
      std::vector<Token> tokens = Tokenize(argument, path, lineNo);
      if (tokens.empty() || tokens[0].kind != Token::Kind::Name) fail("#" + directive + " needs a name");
      return tokens[0].text;
    };

    if (directive == "if" || directive == "ifdef" || directive == "ifndef") {
      bool parent = active();
      bool value = false;
      if (parent) {
        if (directive == "if") value = condition();
        else value = (symbols_.Find(firstName()) != nullptr) == (directive == "ifdef");
      }
      conditionals.push_back({lineNo, parent, parent && value, parent && value, false});
    } else if (directive == "elif") {
      if (conditionals.empty()) fail("#elif without #if");
      Conditional& c = conditionals.back();
      if (c.sawElse) fail("#elif after #else");
      c.active = c.parentActive && !c.taken && condition();
      c.taken = c.taken || c.active;
    } else if (directive == "else") {
      if (conditionals.empty()) fail("#else without #if");
      Conditional& c = conditionals.back();
      if (c.sawElse) fail("#else after #else");
      c.sawElse = true;
      c.active = c.parentActive && !c.taken;
      c.taken = true;
    } else if (directive == "endif") {
      if (conditionals.empty()) fail("#endif without #if");
      conditionals.pop_back();
    } else if (!active()) {
      continue;  // other directives of a skipped branch are not looked at
    } else if (directive == "define") {
      size_t n = 0;
      while (n < argument.size() && (std::isalnum(static_cast<unsigned char>(argument[n])) || argument[n] == '_')) ++n;
      if (n == 0 || std::isdigit(static_cast<unsigned char>(argument[0]))) fail("#define needs a name");
      std::string name = argument.substr(0, n);
      if (n < argument.size() && argument[n] == '(') fail("macros with parameters are not supported ('" + name + "')");
      symbols_.Define(name, Trim(argument.substr(n)));
    } else if (directive == "undef") {
      symbols_.Undefine(firstName());
    } else if (directive == "include") {
      if (argument.size() < 2 || !((argument[0] == '"' && argument.find('"', 1) != std::string::npos) ||
                                   (argument[0] == '<' && argument.find('>') != std::string::npos)))
        fail("expected \"file\" or <file> after #include");
      bool angled = argument[0] == '<';
      std::string name = argument.substr(1, argument.find(angled ? '>' : '"', 1) - 1);
      if (depth + 1 > kMaxIncludeDepth) fail("#include nested too deeply (does a file include itself?)");
      std::string found = FindInclude(name, angled, path);
      if (found.empty()) {
        if (IsSystemHeader(name)) continue;
        fail("cannot find include file '" + name + "'");
      }
      ProcessFile(found, path, lineNo, depth + 1);
    } else if (directive == "error") {
      fail("#error " + argument);
    } else if (directive == "pragma" || directive == "line" || directive == "warning" || directive.empty()) {
      // #pragma code_page and friends: the source is UTF-8 whatever it says.
    } else {
      fail("unknown directive #" + directive);
    }
  }
  if (!conditionals.empty()) throw SourceError(path, conditionals.back().line, "#if without #endif");
}

}  // namespace qx6::rc
