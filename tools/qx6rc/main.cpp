// qx6rc: the resource compiler of the product. Compiles the STRINGTABLE
// sources of the language and branding libraries into resource-only PE
// modules; it is also the tool a translator runs on a translated script.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/qx6rc/RcExpression.h"
#include "tools/qx6rc/RcParser.h"
#include "tools/qx6rc/RcPreprocessor.h"
#include "tools/qx6rc/ResourceImageWriter.h"
#include "tools/qx6rc/SourceError.h"
#include "qx6/Version.h"

namespace {

// Writes the module beside its final name and renames it into place, so
// that a failed run never leaves a partial module or destroys an old one.
bool WriteAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
  std::string temp = path + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    error = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  mode_t mask = ::umask(0);
  ::umask(mask);
  bool ok = ::fchmod(fd, 0666 & ~mask) == 0;
  for (size_t done = 0; ok && done < bytes.size();) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else done += static_cast<size_t>(n);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  int savedErrno = errno;
  if (::close(fd) != 0 && ok) ok = false, savedErrno = errno;
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) ok = false, savedErrno = errno;
  if (!ok) {
    ::unlink(temp.c_str());
    error = "cannot write " + path + ": " + std::strerror(savedErrno);
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Compiles STRINGTABLE resource scripts into resource-only PE modules.", "qx6rc"};
  std::string input, output;
  std::vector<std::string> includeDirs, defines;
  std::string language = "0x0409";
  app.add_option("input", input, "the resource script (.rc), UTF-8")->required();
  app.add_option("-o,--output", output, "the module to write (.dll)")->required();
  app.add_option("-I,--include", includeDirs, "a folder to search for #include files");
  app.add_option("-D,--define", defines, "NAME or NAME=VALUE, as a #define before the script");
  app.add_option("-l,--language", language,
                 "language of the tables before the first LANGUAGE statement (default 0x0409, US English)");
  app.set_version_flag("--version", std::string("qx6rc ") + qx6::ProductVersion);
  CLI11_PARSE(app, argc, argv);

  try {
    qx6::rc::RcSymbols symbols;
    for (const std::string& d : defines) {
      size_t eq = d.find('=');
      symbols.Define(d.substr(0, eq), eq == std::string::npos ? "1" : d.substr(eq + 1));
    }
    std::vector<qx6::rc::Token> languageTokens = qx6::rc::Tokenize(language, "-l", 0);
    languageTokens.emplace_back();
    size_t pos = 0;
    int64_t languageId = qx6::rc::EvaluateExpression(languageTokens, pos, symbols, qx6::rc::ExpressionMode::Resource);
    if (languageTokens[pos].kind != qx6::rc::Token::Kind::End || languageId < 0 || languageId > 0xFFFF) {
      std::fprintf(stderr, "qx6rc: the language must be a number from 0 to 0xFFFF, not %s\n", language.c_str());
      return 2;
    }

    qx6::rc::RcPreprocessor preprocessor(symbols, includeDirs);
    std::vector<qx6::rc::SourceLine> lines = preprocessor.Run(input);
    qx6::rc::RcParser parser(symbols, static_cast<uint16_t>(languageId));
    qx6::rc::StringTables tables = parser.Parse(lines);
    std::vector<uint8_t> image = qx6::rc::WriteResourceImage(tables);

    std::string error;
    if (!WriteAtomically(output, image, error)) {
      std::fprintf(stderr, "qx6rc: %s\n", error.c_str());
      return 1;
    }
  } catch (const qx6::rc::SourceError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qx6rc: %s\n", e.what());
    return 1;
  }
  return 0;
}
