// The #define table of a resource script: plain object-like macros whose
// value is an expression, with the Windows language constants predefined.
#pragma once

#include <map>
#include <string>

namespace qx6::rc {

class RcSymbols {
 public:
  struct Definition {
    std::string value;  // the text after the name, trimmed
  };

  RcSymbols();  // LANG_*, SUBLANG_* and RC_INVOKED
  void Define(const std::string& name, const std::string& value);
  void Undefine(const std::string& name);
  const Definition* Find(const std::string& name) const;

 private:
  std::map<std::string, Definition> definitions_;
};

}  // namespace qx6::rc
