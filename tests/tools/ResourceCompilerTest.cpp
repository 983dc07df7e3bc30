// The resource compiler as a translator and the build run it: scripts in,
// modules out, read back through the product's own module reader.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <regex>
#include <vector>

#include "platform/ResourceModule.h"
#include "tests/support/TestEnvironment.h"

namespace qx6::test {
namespace {

using platform::ResourceModule;
using Strings = std::vector<std::optional<std::string>>;

struct CompilerRun {
  int status = -1;  // exit status, -1 when it did not exit normally
  std::string messages;  // what it wrote to stderr
};

// The built compiler (QX6RC_PATH) as a separate process, as the build and a
// translator run it, with stderr captured into `scratch`.
CompilerRun RunResourceCompiler(const std::string& arguments, const TempFolder& scratch) {
  const std::string errors = scratch / "qx6rc.stderr";
  const int status = RunShell(ShellQuote(QX6RC_PATH) + " " + arguments + " 2>" + ShellQuote(errors) + " >/dev/null");
  return {status, FileExists(errors) ? ReadFile(errors) : ""};
}

CompilerRun Compile(const std::string& source, const std::string& output, const TempFolder& scratch,
                    const std::string& extraArguments = "") {
  return RunResourceCompiler(ShellQuote(source) + " -o " + ShellQuote(output) + " " + extraArguments, scratch);
}

// A little-endian field of the module's bytes.
template <typename T>
T Field(const std::string& b, size_t at) {
  T v = 0;
  std::memcpy(&v, b.data() + at, sizeof v);
  return v;
}
uint32_t U32(const std::string& b, size_t at) { return Field<uint32_t>(b, at); }
uint16_t U16(const std::string& b, size_t at) { return Field<uint16_t>(b, at); }

std::shared_ptr<const ResourceModule> CompileAndLoad(const std::string& source, TempFolder& dir,
                                                     const std::string& extraArguments = "") {
  WriteFile(dir / "test.rc", source);
  CompilerRun run = Compile(dir / "test.rc", dir / "test.dll", dir, extraArguments);
  EXPECT_EQ(run.status, 0) << run.messages;
  return ResourceModule::Load(dir / "test.dll");
}

TEST(ResourceCompiler, StringsSurviveTheRoundTripThroughTheModuleReaderOfAResourceOnlyPe32Dll) {
  TempFolder dir;
  WriteFile(dir / "ids.h",
            "// constants shared with C code\n#define IDS_FIRST 0\n#define IDS_BASE 0x10\nint ignored(void);\n");
  std::string longText;
  for (int i = 0; i < 600; ++i) longText += static_cast<char>('a' + i % 26);
  const std::string source =
      "\xEF\xBB\xBF#include \"ids.h\"\n#include <windows.h>\n#define IDS_LAST 65535\n#define PRODUCT \"Quorvex\"\n"
      "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US\n/* several\n   lines of comment \"with a quote */\n"
      "STRINGTABLE DISCARDABLE MOVEABLE\nBEGIN\n"
      "  IDS_FIRST, \"zero // not a comment\"\n  15 \"fifteen\"   // the last of block 1\n"
      "  IDS_BASE, \"sixteen\"\n  IDS_BASE + 1, \"\"\n"
      "  18, \"tab\\tnl\\n back\\\\ q\\\" dq\"\"x\"\"\\x41\\x00e9\\101z\"\n  19, \"a\\0b\"\nEND\n"
      "STRINGTABLE\n{\n  IDS_LAST, \"last\"\n  1000, \"Grüße – 日本語 😀\"\n"
      "  2000, \"" + longText.substr(0, 300) + "\"\n        \"" + longText.substr(300) + "\"\n"
      "  2001, PRODUCT \" 6\"\n}\n";
  auto module = CompileAndLoad(source, dir);
  ASSERT_TRUE(module);

  // An empty string reads as no string, as with LoadString.
  const std::map<uint32_t, std::optional<std::string>> expected = {
      {0, "zero // not a comment"}, {1, std::nullopt}, {14, std::nullopt}, {15, "fifteen"}, {16, "sixteen"},
      {17, std::nullopt}, {18, "tab\tnl\n back\\ q\" dq\"x\"A\xC3\xA9" "Az"}, {19, std::string("a\0b", 3)},
      {20, std::nullopt}, {999, std::nullopt}, {1000, "Grüße – 日本語 😀"}, {2000, longText}, {2001, "Quorvex 6"},
      {65534, std::nullopt}, {65535, "last"}, {65536, std::nullopt}};
  for (const auto& [id, text] : expected) EXPECT_EQ(module->LoadString(id), text) << "string " << id;
  // The headers a Windows loader checks; the resource tree itself is read back by the module reader, which is tested
  // on images laid out by hand.
  WriteFile(dir / "a.rc", "STRINGTABLE BEGIN 1 \"one\" 40 \"forty\" END\n");
  ASSERT_EQ(Compile(dir / "a.rc", dir / "a.dll", dir).status, 0);
  const std::string b = ReadFile(dir / "a.dll");
  ASSERT_GE(b.size(), 0x400u);
  EXPECT_EQ(b.substr(0, 2), "MZ");
  const uint32_t pe = U32(b, 0x3C);
  ASSERT_EQ(b.substr(pe, 4), std::string("PE\0\0", 4));
  const size_t opt = pe + 24, section = opt + U16(b, pe + 20);
  // i386, one section, a DLL; PE32 without entry point or imports.
  EXPECT_EQ((std::vector<uint32_t>{U16(b, pe + 4), U16(b, pe + 6), U16(b, pe + 22) & 0x2000u, U16(b, opt),
                                   U32(b, opt + 16), U32(b, opt + 32), U32(b, opt + 36), U32(b, opt + 96 + 8)}),
            (std::vector<uint32_t>{0x014C, 1, 0x2000, 0x010B, 0, 0x1000, 0x200, 0}));
  EXPECT_EQ(b.size() % 0x200, 0u);
  EXPECT_EQ(b.substr(section, 8), std::string(".rsrc\0\0\0", 8));
  const uint32_t va = U32(b, section + 12), vsize = U32(b, section + 8);
  EXPECT_EQ(U32(b, opt + 96 + 16), va);  // the resource table is the section
  EXPECT_EQ(U32(b, opt + 56), va + (vsize + 0xFFF) / 0x1000 * 0x1000);  // SizeOfImage
  EXPECT_EQ(U32(b, section + 20) + U32(b, section + 16), b.size());
}

TEST(ResourceCompiler, TheReaderTakesTheFirstLanguageOfABlockAndSectionsFollowConditions) {
  TempFolder dir;
  // English comes first in the script, German (0x407) sorts before English
  // (0x409) in the module: the reader takes the lowest language ID of a block.
  auto module = CompileAndLoad(
      "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US\n"
      "STRINGTABLE BEGIN 1 \"Yes\" 2 \"No\" 40 \"English only\" END\n"
      "STRINGTABLE LANGUAGE LANG_GERMAN, SUBLANG_GERMAN BEGIN 1 \"Ja\" END\n"
      "STRINGTABLE BEGIN 41 \"still English\" END\n",
      dir);
  ASSERT_TRUE(module);
  // The German block replaces the whole English block 1, as LoadString does
  // when it settles on one language for a block.
  EXPECT_EQ((Strings{module->LoadString(1), module->LoadString(2), module->LoadString(40), module->LoadString(41)}),
            (Strings{"Ja", std::nullopt, "English only", "still English"}));
  // Without LANGUAGE the command line's language, US English by default.
  const std::string source = "STRINGTABLE BEGIN 1 \"x\" END\nLANGUAGE 0x0c, 1\nSTRINGTABLE BEGIN 1 \"y\" END\n";
  EXPECT_EQ(CompileAndLoad(source, dir)->LoadString(1), "x");
  EXPECT_EQ(CompileAndLoad(source, dir, "-l 0x0809")->LoadString(1), "y");  // moved above French (0x40c)
  EXPECT_EQ(CompileAndLoad("STRINGTABLE BEGIN ID \"d\" END\n", dir, "-D ID=7")->LoadString(7), "d");
  // Conditional sections and include folders.
  WriteFile(dir / "inc/names.h", "#ifndef NAMES_H\n#define NAMES_H\n#define IDS_A 5\n#endif\n");
  module = CompileAndLoad(
      "#include <names.h>\n#include \"inc/names.h\"\n"
      "#if defined(IDS_A) && IDS_A == 5\n#define USED 1\n#elif 1\n#error wrong branch\n#else\n#error wrong\n#endif\n"
      "#ifdef APSTUDIO_INVOKED\nthis is skipped\n#endif\n#undef IDS_A\n#define IDS_A 6\n"
      "STRINGTABLE BEGIN IDS_A, \"six\" (USED | 8), \"nine\" END\n",
      dir, "-I " + ShellQuote(dir / "inc"));
  ASSERT_TRUE(module);
  EXPECT_EQ((Strings{module->LoadString(5), module->LoadString(6), module->LoadString(9)}),
            (Strings{std::nullopt, "six", "nine"}));
}

struct BadSource {
  const char* source;
  const char* message;  // "<file>:<line>: ..." with the file written as test.rc
  const char* header = "";  // ids.h beside it
};

TEST(ResourceCompiler, SourceErrorsNameFileAndLineAndAFailedRunLeavesNoOutputAndKeepsTheModuleThatWasThere) {
  const BadSource cases[] = {
      {"STRINGTABLE\nBEGIN\n  17, \"a\"\n  17, \"b\"\nEND\n",
       "test.rc:4: string ID 17 defined twice (first at line 3)"},
      {"STRINGTABLE\nBEGIN\n  1, \"open\nEND\n", "test.rc:3: unterminated string"},
      {"STRINGTABLE\n  1, \"x\"\nEND\n", "test.rc:2: expected BEGIN after STRINGTABLE, found '1'"},
      {"STRINGTABLE\nBEGIN\n  1, \"x\"\n", "test.rc:3: STRINGTABLE of line 1 has no END"},
      {"STRINGTABLE BEGIN\n IDS_NOPE, \"x\"\nEND\n", "test.rc:2: undefined symbol 'IDS_NOPE'"},
      {"STRINGTABLE BEGIN\n\n 1, \"\\q\"\nEND\n", "test.rc:3: unknown escape sequence '\\q' in string"},
      {"STRINGTABLE BEGIN 65536, \"x\" END\n", "test.rc:1: string ID 65536 out of range (0 to 65535)"},
      {"STRINGTABLE BEGIN 1 END\n", "test.rc:1: expected a string after string ID 1, found 'END'"},
      {"\n1 DIALOG 0, 0, 10, 10\n", "test.rc:2: only STRINGTABLE resources are supported, not DIALOG"},
      {"hello\n", "test.rc:1: expected STRINGTABLE or LANGUAGE, found 'hello'"},
      {"/* open\n\n", "test.rc:1: unterminated comment"},
      {"\n#include \"missing.h\"\n", "test.rc:2: cannot find include file 'missing.h'"},
      {"STRINGTABLE BEGIN\n 1, \"\xC3\x28\"\nEND\n", "test.rc:2: invalid UTF-8 byte sequence"},
      {"#ifdef X\n", "test.rc:1: #if without #endif"},
      {"LANGUAGE LANG_ENGLISH\n", "test.rc:1: expected ',' and a sub-language after LANGUAGE 9"},
      {"LANGUAGE 2000, 1\n", "test.rc:1: language 2000 out of range (0 to 1023)"},
      {"#define F(x) x\n", "test.rc:1: macros with parameters are not supported ('F')"},
      {"#define A B\n#define B A\nSTRINGTABLE BEGIN A \"x\" END\n", "test.rc:3: 'A' expands recursively"},
      {"#include \"test.rc\"\n", "test.rc:1: #include nested too deeply (does a file include itself?)"},
      {"STRINGTABLE BEGIN 1/0 \"x\" END\n", "test.rc:1: division by zero"},
      // An error in an included file names that file.
      {"#include \"ids.h\"\n", "ids.h:3: #if needs a condition", "#define A 1\n\n#if\n#endif\n"},
  };
  for (const BadSource& c : cases) {
    TempFolder dir;
    WriteFile(dir / "test.rc", c.source);
    WriteFile(dir / "ids.h", c.header);
    const std::string output = dir / "out.dll";
    CompilerRun run = Compile(dir / "test.rc", output, dir);
    EXPECT_EQ(run.status, 1) << c.source;
    EXPECT_EQ(run.messages, dir.Path() + "/" + c.message + "\n") << c.source;
    EXPECT_FALSE(FileExists(output)) << c.source;
  }
  // A failed run keeps the module that was there.
  TempFolder dir;
  WriteFile(dir / "good.rc", "STRINGTABLE BEGIN 1 \"good\" END\n");
  WriteFile(dir / "bad.rc", "STRINGTABLE BEGIN 1 \"bad\"\n");
  ASSERT_EQ(Compile(dir / "good.rc", dir / "m.dll", dir).status, 0);
  const std::string before = ReadFile(dir / "m.dll");
  EXPECT_EQ(Compile(dir / "bad.rc", dir / "m.dll", dir).status, 1);
  EXPECT_EQ(ReadFile(dir / "m.dll"), before);

  CompilerRun noFolder = Compile(dir / "good.rc", dir / "missing/m.dll", dir);
  EXPECT_EQ(noFolder.status, 1);
  EXPECT_NE(noFolder.messages.find("cannot create " + dir / "missing/m.dll"), std::string::npos)
      << noFolder.messages;
  CompilerRun noInput = Compile(dir / "none.rc", dir / "n.dll", dir);
  EXPECT_EQ(noInput.status, 1);
  EXPECT_NE(noInput.messages.find("none.rc:0: cannot open the file"), std::string::npos) << noInput.messages;

  // Nothing but the two modules and the scripts: no temporary files left.
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
    entries += e.path().filename() != "qx6rc.stderr";
  EXPECT_EQ(entries, 3);
  EXPECT_NE(RunResourceCompiler(ShellQuote(dir / "good.rc"), dir).status, 0);  // no -o
}

// The staged language and branding libraries: every string ID the component
// uses is there with its placeholders.
const std::string kEnglishModule = std::string(QX6_PRODUCT_DIR) + "/lang/1033/qx6jefltLangRes.dll";
const std::string kBrandingModule = std::string(QX6_PRODUCT_DIR) + "/common/qxmark.dll";

size_t CountPlaceholders(const std::string& s) {
  size_t n = 0;
  for (size_t p = s.find("%s"); p != std::string::npos; p = s.find("%s", p + 2)) ++n;
  return n;
}

// Every ID that the component fetches, with the number of "%s" it fills.
std::map<uint32_t, size_t> Catalogue() {
  std::map<uint32_t, size_t> ids;
  for (const auto& [first, last] : {std::pair{2u, 64u}, {100u, 105u}, {301u, 314u}})
    for (uint32_t id = first; id <= last; ++id) ids[id] = 0;
  for (uint32_t unused : {34u, 40u}) ids.erase(unused);
  ids[35] = ids[47] = 1;
  ids[200] = ids[201] = ids[312] = ids[314] = 2;
  ids[313] = 3;
  return ids;
}

class LanguageLibrary : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(module) << kEnglishModule; }
  std::shared_ptr<const ResourceModule> module = ResourceModule::Load(kEnglishModule);
};

TEST_F(LanguageLibrary, HoldsEveryCatalogueIdWithItsPlaceholdersFiltersEndingInAllFilesAndTheBrand) {
  for (const auto& [id, placeholders] : Catalogue()) {
    auto text = module->LoadString(id);
    ASSERT_TRUE(text) << "string " << id << " is missing";
    EXPECT_EQ(CountPlaceholders(*text), placeholders) << "string " << id << ": " << *text;
    EXPECT_LE(text->size(), 511u) << "string " << id;  // the component reads at most 511 characters
  }
  // description|pattern pairs, every pattern "*." something, the last "*.*".
  static const std::regex filter(R"re(^([^|]+\|\*\.[^|]+\|)*[^|]+\|\*\.\*$)re");
  for (uint32_t id : {44u, 310u}) {
    const std::string text = module->LoadString(id).value_or("");
    EXPECT_TRUE(std::regex_match(text, filter)) << id << ": " << text;
  }
  // The branding library names the product.
  auto branding = ResourceModule::Load(kBrandingModule);
  EXPECT_EQ(branding ? branding->LoadString(103) : "(no module)", "Quorvex 6") << kBrandingModule;
}

}  // namespace
}  // namespace qx6::test
