// The statements of a resource script after preprocessing: LANGUAGE and
// STRINGTABLE (with its memory flags and optional statements). Any other
// resource type is reported as unsupported.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/qx6rc/RcPreprocessor.h"
#include "tools/qx6rc/RcSymbols.h"
#include "tools/qx6rc/RcTokenizer.h"
#include "tools/qx6rc/StringTables.h"

namespace qx6::rc {

class RcParser {
 public:
  // `defaultLanguage` holds until the first LANGUAGE statement.
  RcParser(const RcSymbols& symbols, uint16_t defaultLanguage);

  // Throws SourceError at the first fault.
  StringTables Parse(const std::vector<SourceLine>& lines);

 private:
  const Token& Peek() const { return tokens_[pos_]; }
  const Token& Next();
  uint16_t ParseLanguage(const Token& keyword);
  int64_t ParseNumber(const char* what);
  void ParseStringTable(const Token& keyword);
  std::u16string ParseText(const Token& idToken, int64_t id);

  const RcSymbols& symbols_;
  uint16_t language_;
  std::vector<Token> tokens_;
  size_t pos_ = 0;
  StringTables tables_;
};

}  // namespace qx6::rc
