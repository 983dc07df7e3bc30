// The first pass over a resource script: reads the file and what it
// #includes (UTF-8, a byte order mark allowed), removes comments, applies
// #define, #undef and the #if family, and hands back the remaining lines
// with the file and line each came from. Included C headers (.h, .c, ...)
// contribute their #defines only, as with the Windows resource compiler.
#pragma once

#include <string>
#include <vector>

#include "tools/qx6rc/RcSymbols.h"

namespace qx6::rc {

struct SourceLine {
  std::string file;
  int line;
  std::string text;
};

class RcPreprocessor {
 public:
  RcPreprocessor(RcSymbols& symbols, std::vector<std::string> includeDirs);

  // Throws SourceError for a fault in the sources, including a missing
  // input file (reported at line 0 of the file that names it).
  std::vector<SourceLine> Run(const std::string& inputPath);

 private:
  struct Conditional;
  void ProcessFile(const std::string& path, const std::string& includedFrom, int includedAtLine, int depth);
  std::string FindInclude(const std::string& name, bool angled, const std::string& fromFile) const;

  RcSymbols& symbols_;
  std::vector<std::string> includeDirs_;
  std::string inputDir_;
  std::vector<SourceLine> out_;
};

}  // namespace qx6::rc
