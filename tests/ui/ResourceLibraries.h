// Language and branding libraries made for one test: a STRINGTABLE script
// compiled by the product's resource compiler into a temporary product
// folder, so the tests read real modules the way the component does.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/TestEnvironment.h"

namespace qx6::test {

using StringTable = std::vector<std::pair<int, std::string>>;

// Compiles `strings` (without quotes or backslashes) into the module `dllPath`, creating its folder.
inline void BuildLibrary(const std::string& dllPath, const StringTable& strings) {
  std::filesystem::create_directories(std::filesystem::path(dllPath).parent_path());
  std::string script = "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US\nSTRINGTABLE\nBEGIN\n";
  for (const auto& [id, text] : strings) script += "  " + std::to_string(id) + ", \"" + text + "\"\n";
  script += "END\n";
  const std::string source = dllPath + ".rc";
  WriteFile(source, script);
  const int status = RunShell(ShellQuote(QX6_PRODUCT_DIR "/bin/qx6rc") + " " + ShellQuote(source) + " -o " +
                              ShellQuote(dllPath) + " >/dev/null 2>&1");
  std::filesystem::remove(source);
  ASSERT_EQ(status, 0) << "qx6rc failed for " << dllPath;
}

// A product folder of the test's own: the component sits in
// <root>/exporters unless a test moves it.
class ProductFolder {
 public:
  std::string operator/(const std::string& relative) const { return root_ / relative; }
  void MakeFolder(const std::string& relative) const { std::filesystem::create_directories(root_ / relative); }
  // <root>/lang/<locale>/qx6jefltLangRes.dll
  void BuildLanguage(const std::string& locale, const StringTable& strings) const {
    BuildLibrary(root_ / ("lang/" + locale + "/qx6jefltLangRes.dll"), strings);
  }

 private:
  TempFolder root_;
};

}  // namespace qx6::test
