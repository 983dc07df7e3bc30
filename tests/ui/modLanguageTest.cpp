// Localised strings and the product name from libraries compiled for each
// test by the product's resource compiler: choosing the language library from
// the setting or the user's locale, the fallback search, the English fallback
// per string, the cut, filling placeholders, and the branding library.
#include "ui/modLanguage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "platform/ComponentFile.h"
#include "runtime/Locale.h"
#include "tests/platform/RegistryValues.h"
#include "tests/support/TestEnvironment.h"
#include "ui/clsQX6Branding.h"

namespace qx6 {
namespace {

using StringTable = std::vector<std::pair<int, std::string>>;

// Compiles `strings` (without quotes or backslashes) into the module `dllPath`, creating its folder.
void BuildLibrary(const std::string& dllPath, const StringTable& strings) {
  std::filesystem::create_directories(std::filesystem::path(dllPath).parent_path());
  std::string script = "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US\nSTRINGTABLE\nBEGIN\n";
  for (const auto& [id, text] : strings) script += "  " + std::to_string(id) + ", \"" + text + "\"\n";
  test::WriteFile(dllPath + ".rc", script + "END\n");
  const int status = test::RunShell(test::ShellQuote(QX6_PRODUCT_DIR "/bin/qx6rc") + " " +
                                    test::ShellQuote(dllPath + ".rc") + " -o " + test::ShellQuote(dllPath) +
                                    " >/dev/null 2>&1");
  std::filesystem::remove(dllPath + ".rc");
  ASSERT_EQ(status, 0) << "qx6rc failed for " << dllPath;
}

// The language library of `locale` in the product folder `product`.
void BuildLanguage(const test::TempFolder& product, const std::string& locale, const StringTable& strings) {
  BuildLibrary(product / ("lang/" + locale + "/qx6jefltLangRes.dll"), strings);
}

const StringTable EnglishTexts = {{3, "Details"}, {5, "Export type:"}, {47, "%s Flat File Export"}};
const StringTable FrenchTexts = {{3, "Détails"}, {47, "Exportation à plat de %s"}};

class LanguageTest : public ::testing::Test {
 protected:
  LanguageTest() {
    Locale::SetUser("en_US");
    platform::SetComponentFolderForTesting(product / "exporters");
    modLanguage::ResetForTesting();
    ResetBrandingForTesting();
  }
  ~LanguageTest() override {
    modLanguage::ResetForTesting();
    ResetBrandingForTesting();
    platform::SetComponentFolderForTesting("");
    Locale::SetUser("en_US");
  }

  // The LocaleId setting as a number, or as a text.
  static void SetLocaleIdSetting(const std::string& data, uint32_t type = platform::REG_DWORD) {
    ASSERT_EQ(test::Put(platform::HKEY_CURRENT_USER, "Software\\Quorvex 6", "LocaleId", type, data), 0);
  }

  std::string LibraryFolderOf(const modLanguage::LanguageLibrary& library) {
    return std::filesystem::path(library->Path()).parent_path().filename().string();
  }

  test::TestEnvironment env;
  test::TempFolder product;  // the component sits in <product>/exporters unless a test moves it
};

TEST_F(LanguageTest, EnglishUserGetsOnlyTheEnglishLibraryOthersTheirOwnWithEnglishBehind) {
  BuildLanguage(product, "1033", EnglishTexts);
  BuildLanguage(product, "1036", FrenchTexts);
  // Nothing is loaded before the application names itself.
  EXPECT_EQ(modLanguage::GetLangString(3), "");
  EXPECT_EQ(modLanguage::CurrentLibrary(), nullptr);
  ASSERT_TRUE(modLanguage::LoadLanguage("qx6jeflt"));
  EXPECT_EQ(modLanguage::CurrentLibrary(), modLanguage::EnglishLibrary());
  EXPECT_EQ(LibraryFolderOf(modLanguage::EnglishLibrary()), "1033");
  EXPECT_EQ(modLanguage::GetLangString(47, {Variant("Quorvex 6")}), "Quorvex 6 Flat File Export");
  EXPECT_EQ(modLanguage::GetLangString(47), "%s Flat File Export");

  Locale::SetUser("fr_FR");
  ASSERT_TRUE(modLanguage::LoadLanguage("qx6jeflt"));
  EXPECT_EQ(LibraryFolderOf(modLanguage::CurrentLibrary()), "1036");
  EXPECT_EQ(LibraryFolderOf(modLanguage::EnglishLibrary()), "1033");
  // Missing from the French library: the English text; missing from both: nothing.
  EXPECT_EQ(modLanguage::GetLangString(3) + "|" + modLanguage::GetLangString(5), "Détails|Export type:");
  EXPECT_EQ(modLanguage::GetLangString(999, {Variant(3)}), "");
}

// Without the user's own folder, the first numeric folder that shares its
// language byte ends the search, with a library in it or not; another
// English locale makes no search at all.
TEST_F(LanguageTest, FallbackSearchTakesTheFirstFolderOfTheUsersLanguage) {
  struct Case {
    const char* locale;
    std::vector<std::string> libraries, folders, files;  // beside 1033 and 1036
    const char* found;  // FindLanguageLibrary's folder, "" for none
    const char* used;
  };
  const Case cases[] = {
      // Decoys: non-numeric folders with a library, files with numeric names
      // that share the language byte 0C of 3084.
      {"fr_CA", {"0fr", "fr"}, {}, {"0268", "3084"}, "1036", "1036"},
      {"fr_CA", {}, {"0268"}, {}, "", "1033"},                 // 0x10C, no library inside
      {"en_GB", {"0265", "3081"}, {}, {}, "", "1033"}};  // 0x109 and 0xC09 share the byte 09 of 2057
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.locale) + " found " + c.found);
    test::TempFolder folder;
    platform::SetComponentFolderForTesting(folder / "exporters");
    modLanguage::ResetForTesting();
    BuildLanguage(folder, "1033", EnglishTexts);
    BuildLanguage(folder, "1036", FrenchTexts);
    for (const std::string& name : c.libraries) BuildLanguage(folder, name, {{3, "wrong: folder " + name}});
    for (const std::string& name : c.folders) std::filesystem::create_directories(folder / "lang/" + name);
    for (const std::string& name : c.files) test::WriteFile(folder / ("lang/" + name), "not a folder");
    Locale::SetUser(c.locale);
    ASSERT_TRUE(modLanguage::LoadLanguage("qx6jeflt"));
    const auto found = modLanguage::FindLanguageLibrary(modLanguage::GetUserLocaleId());
    EXPECT_EQ(found ? LibraryFolderOf(found) : "", c.found);
    ASSERT_NE(modLanguage::CurrentLibrary(), nullptr);
    EXPECT_EQ(LibraryFolderOf(modLanguage::CurrentLibrary()), c.used);
    // A search would have loaded a second module, even of the English folder.
    EXPECT_EQ(modLanguage::CurrentLibrary() == modLanguage::EnglishLibrary(), c.used == std::string("1033"));
  }
}

TEST_F(LanguageTest, LocaleIdSettingOverridesTheUsersLocale) {
  BuildLanguage(product, "1033", EnglishTexts);
  BuildLanguage(product, "1036", FrenchTexts);
  SetLocaleIdSetting(test::Lit("\x0C\x04\0\0"));  // 1036
  EXPECT_EQ(modLanguage::GetUserLocaleId(), 1036);
  ASSERT_TRUE(modLanguage::LoadLanguage("qx6jeflt"));
  EXPECT_EQ(modLanguage::GetLangString(3), "Détails");

  // The other way round: a French user who asked for English.
  Locale::SetUser("fr_FR");
  SetLocaleIdSetting(test::Lit("\x09\x04\0\0"));  // 1033
  ASSERT_TRUE(modLanguage::LoadLanguage("qx6jeflt"));
  EXPECT_EQ(modLanguage::GetLangString(3), "Details");

  // An empty setting means the user's locale.
  SetLocaleIdSetting(std::string(1, '\0'), platform::REG_SZ);
  EXPECT_EQ(modLanguage::GetUserLocaleId(), 1036);
}

// Texts are cut to 511 characters before the placeholders are filled.
TEST_F(LanguageTest, LookupsRetryTheLoadUntilTheEnglishLibraryAppearsAndTextsAreCut) {
  std::filesystem::create_directories(product / "lang");
  EXPECT_FALSE(modLanguage::LoadLanguage("qx6jeflt"));
  EXPECT_EQ(modLanguage::CurrentLibrary(), nullptr);
  EXPECT_EQ(modLanguage::GetLangString(4, {Variant("Quorvex 6")}), "");
  std::string accented;
  for (int i = 0; i < 600; ++i) accented += "é";
  BuildLanguage(product, "1033", {{1, std::string(511, 'x')}, {2, std::string(600, 'y')}, {3, accented},
                                 {4, std::string(509, 'z') + "%s"}});
  EXPECT_EQ(modLanguage::GetLangString(1), std::string(511, 'x'));
  EXPECT_NE(modLanguage::CurrentLibrary(), nullptr);
  EXPECT_EQ(modLanguage::GetLangString(2), std::string(511, 'y'));
  EXPECT_EQ(modLanguage::GetLangString(3), accented.substr(0, 2 * 511)) << "characters, not UTF-8 bytes";
  EXPECT_EQ(modLanguage::GetLangString(4, {Variant("long argument")}), std::string(509, 'z') + "long argument");
}

TEST_F(LanguageTest, ProductNameComesFromTheBrandingLibraryInTheCommonFolderOrTheDefault) {
  std::filesystem::create_directories(product / "common");
  const std::pair<StringTable, const char*> cases[] = {
      {{}, "Quorvex 6"},                                           // no library
      {{{103, "  Acme Print Manager  "}}, "Acme Print Manager"},  // without outer spaces
      {{{103, "     "}}, "Quorvex 6"},
      {{{102, "Acme"}, {104, "Acme"}}, "Quorvex 6"}};
  for (const auto& [strings, name] : cases) {
    if (!strings.empty()) BuildLibrary(product / "common/qxmark.dll", strings);
    clsQX6Branding branding;
    EXPECT_EQ(branding.IsLoaded(), !strings.empty()) << name;
    EXPECT_EQ(branding.ProductName(), name);
  }
  test::WriteFile(product / "common/qxmark.dll", "MZ and then nothing a module needs");
  EXPECT_FALSE(clsQX6Branding().IsLoaded());
  EXPECT_EQ(clsQX6Branding().ProductName(), "Quorvex 6");

  // The common folder is found upward, apart from the language folder.
  std::filesystem::create_directories(product / "A/B/C");
  std::filesystem::create_directories(product / "A/B/lang");
  BuildLibrary(product / "A/common/qxmark.dll", {{103, "Upward"}});
  platform::SetComponentFolderForTesting(product / "A/B/C");
  ResetBrandingForTesting();
  EXPECT_EQ(GetCommonFolder(), product / "A/common");
  EXPECT_EQ(modLanguage::GetLanguageFolder(), product / "A/B/lang");
  EXPECT_EQ(SharedBranding().ProductName(), "Upward");
}

TEST(ReplacePlaceholders, FillsInOrderAndNeverSearchesInsertedText) {
  const std::tuple<const char*, std::vector<Variant>, const char*> cases[] = {
      {"from %s to %s.", {3, 7}, "from 3 to 7."}, {"from %s to %s.", {3}, "from 3 to %s."},
      {"from %s to %s.", {3, 7, 9}, "from 3 to 7."}, {"%s%s", {"a", "b"}, "ab"},
      // The upper-case mark counts, other marks do not.
      {"%S and %s", {1, 2}, "1 and 2"}, {"100%d %s", {"x"}, "100%d x"}, {"50%", {"x"}, "50%"},
      {"\"%s\" then %s", {"a%sb", 7}, "\"a%sb\" then 7"}, {"%s|%s", {"%S", "%s"}, "%S|%s"},
      // Numbers in plain decimal.
      {"Error %s: %s", {-2147467259, 1234567.5}, "Error -2147467259: 1234567.5"}};
  for (auto [text, args, expected] : cases) EXPECT_EQ(modLanguage::ReplacePlaceholders(text, &args), expected) << text;
  EXPECT_EQ(modLanguage::ReplacePlaceholders("from %s", nullptr), "from %s");
}

}  // namespace
}  // namespace qx6
