// Localised strings: choosing the library from the setting or the user's
// locale, the fallback search, the English fallback per string, the cut,
// and filling placeholders.
#include "ui/modLanguage.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/ComponentFile.h"
#include "runtime/Locale.h"
#include "tests/platform/RegistryValues.h"
#include "tests/support/TestEnvironment.h"
#include "tests/ui/ResourceLibraries.h"

namespace qx6 {
namespace {

using test::StringTable;

const StringTable EnglishTexts = {{3, "Details"}, {5, "Export type:"}, {47, "%s Flat File Export"}};
const StringTable FrenchTexts = {{3, "Détails"}, {47, "Exportation à plat de %s"}};

class LanguageTest : public ::testing::Test {
 protected:
  LanguageTest() {
    Locale::SetUser("en_US");
    platform::SetComponentFolderForTesting(product / "exporters");
    modLanguage::ResetForTesting();
  }
  ~LanguageTest() override {
    modLanguage::ResetForTesting();
    platform::SetComponentFolderForTesting("");
    Locale::SetUser("en_US");
  }

  // The LocaleId setting as a number, or as a text.
  static void SetLocaleIdSetting(const std::string& data, uint32_t type = platform::REG_DWORD) {
    ASSERT_EQ(test::Put(platform::HKEY_CURRENT_USER, "Software\\Quorvex 6", "LocaleId", type, data), 0);
  }

  void BuildEnglishAndFrench() {
    product.BuildLanguage("1033", EnglishTexts);
    product.BuildLanguage("1036", FrenchTexts);
  }

  std::string LibraryFolderOf(const modLanguage::LanguageLibrary& library) {
    return std::filesystem::path(library->Path()).parent_path().filename().string();
  }

  test::TestEnvironment env;
  test::ProductFolder product;
};

TEST_F(LanguageTest, EnglishUserGetsOnlyTheEnglishLibraryOthersTheirOwnWithEnglishBehind) {
  BuildEnglishAndFrench();
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
    test::ProductFolder folder;
    platform::SetComponentFolderForTesting(folder / "exporters");
    modLanguage::ResetForTesting();
    folder.BuildLanguage("1033", EnglishTexts);
    folder.BuildLanguage("1036", FrenchTexts);
    for (const std::string& name : c.libraries) folder.BuildLanguage(name, {{3, "wrong: folder " + name}});
    for (const std::string& name : c.folders) folder.MakeFolder("lang/" + name);
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
  BuildEnglishAndFrench();
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
  product.MakeFolder("lang");
  EXPECT_FALSE(modLanguage::LoadLanguage("qx6jeflt"));
  EXPECT_EQ(modLanguage::CurrentLibrary(), nullptr);
  EXPECT_EQ(modLanguage::GetLangString(4, {Variant("Quorvex 6")}), "");
  std::string accented;
  for (int i = 0; i < 600; ++i) accented += "é";
  product.BuildLanguage("1033", {{1, std::string(511, 'x')}, {2, std::string(600, 'y')}, {3, accented},
                                 {4, std::string(509, 'z') + "%s"}});
  EXPECT_EQ(modLanguage::GetLangString(1), std::string(511, 'x'));
  EXPECT_NE(modLanguage::CurrentLibrary(), nullptr);
  EXPECT_EQ(modLanguage::GetLangString(2), std::string(511, 'y'));
  EXPECT_EQ(modLanguage::GetLangString(3), accented.substr(0, 2 * 511)) << "characters, not UTF-8 bytes";
  EXPECT_EQ(modLanguage::GetLangString(4, {Variant("long argument")}), std::string(509, 'z') + "long argument");
}

TEST(ReplacePlaceholders, FillsInOrderAndNeverSearchesInsertedText) {
  struct Case {
    const char* text;
    std::vector<Variant> args;
    const char* expected;
  };
  const Case cases[] = {
      {"from %s to %s.", {3, 7}, "from 3 to 7."}, {"from %s to %s.", {3}, "from 3 to %s."},
      {"from %s to %s.", {3, 7, 9}, "from 3 to 7."}, {"%s%s", {"a", "b"}, "ab"},
      // The upper-case mark counts, other marks do not.
      {"%S and %s", {1, 2}, "1 and 2"}, {"100%d %s", {"x"}, "100%d x"}, {"50%", {"x"}, "50%"},
      {"\"%s\" then %s", {"a%sb", 7}, "\"a%sb\" then 7"}, {"%s|%s", {"%S", "%s"}, "%S|%s"},
      // Numbers in plain decimal.
      {"Error %s: %s", {-2147467259, 1234567.5}, "Error -2147467259: 1234567.5"}};
  for (const Case& c : cases) {
    std::vector<Variant> args = c.args;
    EXPECT_EQ(modLanguage::ReplacePlaceholders(c.text, &args), c.expected) << c.text;
  }
  EXPECT_EQ(modLanguage::ReplacePlaceholders("from %s", nullptr), "from %s");
}

}  // namespace
}  // namespace qx6
