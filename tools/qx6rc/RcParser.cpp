#include "tools/qx6rc/RcParser.h"

#include "tools/qx6rc/RcExpression.h"
#include "tools/qx6rc/SourceError.h"

namespace qx6::rc {

namespace {

constexpr const char* kMemoryFlags[] = {"DISCARDABLE", "MOVEABLE", "FIXED",   "PURE",     "IMPURE",
                                        "PRELOAD",     "LOADONCALL", "SHARED", "NONSHARED"};

constexpr const char* kOtherResources[] = {
    "ACCELERATORS", "BITMAP",  "CURSOR", "DIALOG",  "DIALOGEX", "DLGINCLUDE", "DLGINIT", "FONT",
    "HTML",         "ICON",    "MENU",   "MENUEX",  "MESSAGETABLE", "PLUGPLAY", "RCDATA", "TEXTINCLUDE",
    "TOOLBAR",      "VERSIONINFO", "VXD", "MANIFEST", "AFX_DIALOG_LAYOUT"};

bool IsOneOf(const Token& t, const auto& keywords) {
  for (const char* k : keywords)
    if (t.IsKeyword(k)) return true;
  return false;
}

bool IsBegin(const Token& t) { return t.IsKeyword("BEGIN") || t.IsPunct("{"); }
bool IsEnd(const Token& t) { return t.IsKeyword("END") || t.IsPunct("}"); }

[[noreturn]] void Fail(const Token& at, const std::string& message) {
  throw SourceError(at.file, at.line, message);
}

}  // namespace

RcParser::RcParser(const RcSymbols& symbols, uint16_t defaultLanguage)
    : symbols_(symbols), language_(defaultLanguage) {}

const Token& RcParser::Next() { return tokens_[pos_ < tokens_.size() - 1 ? pos_++ : pos_]; }

StringTables RcParser::Parse(const std::vector<SourceLine>& lines) {
  tokens_.clear();
  for (const SourceLine& line : lines) {
    std::vector<Token> t = Tokenize(line.text, line.file, line.line);
    tokens_.insert(tokens_.end(), std::make_move_iterator(t.begin()), std::make_move_iterator(t.end()));
  }
  Token end;
  if (!lines.empty()) end.file = lines.back().file, end.line = lines.back().line;
  tokens_.push_back(end);
  pos_ = 0;
  tables_ = StringTables();

  while (Peek().kind != Token::Kind::End) {
    const Token& t = Next();
    if (t.IsKeyword("LANGUAGE")) {
      language_ = ParseLanguage(t);
    } else if (t.IsKeyword("STRINGTABLE")) {
      ParseStringTable(t);
    } else if (IsOneOf(t, kOtherResources)) {
      Fail(t, "only STRINGTABLE resources are supported, not " + t.text);
    } else if (t.kind != Token::Kind::String && IsOneOf(Peek(), kOtherResources)) {
      Fail(t, "only STRINGTABLE resources are supported, not " + Peek().text);
    } else {
      Fail(t, "expected STRINGTABLE or LANGUAGE, found " + t.Describe());
    }
  }
  return std::move(tables_);
}

int64_t RcParser::ParseNumber(const char* what) {
  const Token& at = Peek();
  if (at.kind == Token::Kind::End || at.kind == Token::Kind::String || IsEnd(at))
    Fail(at, std::string("expected ") + what + ", found " + at.Describe());
  return EvaluateExpression(tokens_, pos_, symbols_, ExpressionMode::Resource);
}

uint16_t RcParser::ParseLanguage(const Token& keyword) {
  int64_t primary = ParseNumber("a language after LANGUAGE");
  if (!Peek().IsPunct(",")) Fail(Peek(), "expected ',' and a sub-language after LANGUAGE " + std::to_string(primary));
  Next();
  int64_t sub = ParseNumber("a sub-language after LANGUAGE");
  if (primary < 0 || primary > 0x3FF) Fail(keyword, "language " + std::to_string(primary) + " out of range (0 to 1023)");
  if (sub < 0 || sub > 0x3F) Fail(keyword, "sub-language " + std::to_string(sub) + " out of range (0 to 63)");
  return static_cast<uint16_t>((sub << 10) | primary);
}

void RcParser::ParseStringTable(const Token& keyword) {
  uint16_t language = language_;  // a LANGUAGE inside the table holds for this table only
  while (IsOneOf(Peek(), kMemoryFlags)) Next();
  while (true) {
    const Token& t = Peek();
    if (t.IsKeyword("LANGUAGE")) {
      Next();
      language = ParseLanguage(t);
    } else if (t.IsKeyword("CHARACTERISTICS") || t.IsKeyword("VERSION")) {
      Next();
      ParseNumber(t.IsKeyword("VERSION") ? "a number after VERSION" : "a number after CHARACTERISTICS");
    } else {
      break;
    }
  }
  if (!IsBegin(Peek())) Fail(Peek(), "expected BEGIN after STRINGTABLE, found " + Peek().Describe());
  Next();
  while (!IsEnd(Peek())) {
    const Token& idToken = Peek();
    if (idToken.kind == Token::Kind::End)
      Fail(idToken, "STRINGTABLE of line " + std::to_string(keyword.line) + " has no END");
    if (idToken.kind == Token::Kind::String) Fail(idToken, "expected a string ID before the string");
    int64_t id = ParseNumber("a string ID");
    if (id < 0 || id > 0xFFFF) Fail(idToken, "string ID " + std::to_string(id) + " out of range (0 to 65535)");
    if (Peek().IsPunct(",")) Next();
    std::u16string text = ParseText(idToken, id);
    StringTables::Entry entry{std::move(text), idToken.file, idToken.line};
    if (const StringTables::Entry* first = tables_.Add(language, static_cast<uint16_t>(id), std::move(entry))) {
      std::string where = first->file == idToken.file ? "line " + std::to_string(first->line)
                                                      : first->file + ":" + std::to_string(first->line);
      Fail(idToken, "string ID " + std::to_string(id) + " defined twice (first at " + where + ")");
    }
  }
  Next();
}

std::u16string RcParser::ParseText(const Token& idToken, int64_t id) {
  std::u16string text;
  bool any = false;
  while (true) {
    const Token& t = Peek();
    if (t.kind == Token::Kind::String) {
      text += t.value;
    } else if (t.kind == Token::Kind::Name && symbols_.Find(t.text)) {
      // A #define that stands for a string literal.
      std::vector<Token> value = Tokenize(symbols_.Find(t.text)->value, t.file, t.line);
      if (value.size() != 1 || value[0].kind != Token::Kind::String) break;
      text += value[0].value;
    } else {
      break;
    }
    Next();
    any = true;
  }
  if (!any) Fail(Peek(), "expected a string after string ID " + std::to_string(id) + ", found " + Peek().Describe());
  if (text.size() > 0xFFFF) Fail(idToken, "string ID " + std::to_string(id) + " is longer than 65535 UTF-16 units");
  return text;
}

}  // namespace qx6::rc
