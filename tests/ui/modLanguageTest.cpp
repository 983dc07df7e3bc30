// Localised strings: finding the language folder, choosing the library
// from the setting or the user's locale, the fallback search, the English
// fallback per string, and filling placeholders.
#include "ui/modLanguage.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/ComponentFile.h"
#include "platform/Registry.h"
#include "runtime/Locale.h"
#include "runtime/Strings.h"
#include "system/clsRegistry.h"
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

  void SetLocaleIdSetting(const Variant& value, int32_t type = platform::REG_DWORD) {
    clsRegistry registry;
    registry.SetClassKey(platform::HKEY_CURRENT_USER);
    registry.SetSectionKey("Software\\Quorvex 6");
    registry.SetValueType(type);
    std::string error;
    ASSERT_TRUE(registry.SetCreateValue("LocaleId", value, false, &error)) << error;
  }

  std::string LibraryFolderOf(const modLanguage::LanguageLibrary& library) {
    return std::filesystem::path(library->Path()).parent_path().filename().string();
  }

  test::TestEnvironment env;
  test::ProductFolder product;
};

TEST_F(LanguageTest, LanguageFolderIsFoundUpwardAndKept) {
  product.MakeFolder("A/B/C");
  product.MakeFolder("A/lang");
  platform::SetComponentFolderForTesting(product / "A/B/C");
  EXPECT_EQ(modLanguage::GetLanguageFolder(), product / "A/lang");

  // Found once per thread: a nearer folder made later does not move it.
  product.MakeFolder("A/B/lang");
  EXPECT_EQ(modLanguage::GetLanguageFolder(), product / "A/lang");
  modLanguage::ResetForTesting();
  EXPECT_EQ(modLanguage::GetLanguageFolder(), product / "A/B/lang");
}

TEST_F(LanguageTest, WithoutAnyLangFolderTheRootOneIsNamed) {
  if (std::filesystem::exists("/lang")) GTEST_SKIP() << "this machine has a /lang folder";
  product.MakeFolder("A/B");
  platform::SetComponentFolderForTesting(product / "A/B");
  EXPECT_EQ(modLanguage::GetLanguageFolder(), "/lang");
  EXPECT_FALSE(modLanguage::LoadLanguage("qx6jeflt"));
  EXPECT_EQ(modLanguage::GetLangString(3), "");
}

TEST_F(LanguageTest, EnglishUserGetsOnlyTheEnglishLibrary) {
  product.BuildLanguage("1033", EnglishTexts);
  product.BuildLanguage("1036", FrenchTexts);
  ASSERT_TRUE(modLanguage::LoadLanguage("qx6jeflt"));
  ASSERT_NE(modLanguage::EnglishLibrary(), nullptr);
  EXPECT_EQ(modLanguage::CurrentLibrary(), modLanguage::EnglishLibrary());
  EXPECT_EQ(LibraryFolderOf(modLanguage::EnglishLibrary()), "1033");
  EXPECT_EQ(modLanguage::GetLangString(3), "Details");

  modLanguage::UnloadLanguage();
  EXPECT_EQ(modLanguage::CurrentLibrary(), nullptr);
  EXPECT_EQ(modLanguage::EnglishLibrary(), nullptr);
}

TEST_F(LanguageTest, UsersOwnLocaleFolderIsUsedWithEnglishBehind) {
  product.BuildLanguage("1033", EnglishTexts);
  product.BuildLanguage("1036", FrenchTexts);
  Locale::SetUser("fr_FR");
  ASSERT_TRUE(modLanguage::LoadLanguage("qx6jeflt"));
  EXPECT_EQ(LibraryFolderOf(modLanguage::CurrentLibrary()), "1036");
  EXPECT_EQ(LibraryFolderOf(modLanguage::EnglishLibrary()), "1033");
  EXPECT_EQ(modLanguage::GetLangString(3), "Détails");
  // Missing from the French library: the English text.
  EXPECT_EQ(modLanguage::GetLangString(5), "Export type:");
  // Missing from both: nothing, and the arguments have nowhere to go.
  EXPECT_EQ(modLanguage::GetLangString(999), "");
  EXPECT_EQ(modLanguage::GetLangString(999, {Variant(3)}), "");
}

TEST_F(LanguageTest, FallbackSearchSkipsFilesAndNonNumericFolders) {
  product.BuildLanguage("1033", EnglishTexts);
  product.BuildLanguage("1036", FrenchTexts);
  // Decoys listed before 1036: a non-numeric folder holding a library, and
  // files whose numeric names share the language byte 0C of 3084.
  product.BuildLanguage("0fr", {{3, "wrong: folder 0fr"}});
  product.BuildLanguage("fr", {{3, "wrong: folder fr"}});
  test::WriteFile(product / "lang/0268", "not a folder");
  test::WriteFile(product / "lang/3084", "not a folder");
  Locale::SetUser("fr_CA");
  ASSERT_EQ(modLanguage::GetUserLocaleId(), 3084);

  ASSERT_TRUE(modLanguage::LoadLanguage("qx6jeflt"));
  ASSERT_NE(modLanguage::CurrentLibrary(), nullptr);
  EXPECT_EQ(LibraryFolderOf(modLanguage::CurrentLibrary()), "1036");
  EXPECT_EQ(modLanguage::GetLangString(3), "Détails");
}

TEST_F(LanguageTest, FirstMatchingFolderEndsTheSearchEvenWithoutALibrary) {
  product.BuildLanguage("1033", EnglishTexts);
  product.MakeFolder("lang/0268");  // 0x10C: language byte 0C, no library inside
  product.BuildLanguage("1036", FrenchTexts);
  EXPECT_EQ(modLanguage::FindLanguageLibrary(3084), nullptr);

  Locale::SetUser("fr_CA");
  ASSERT_TRUE(modLanguage::LoadLanguage("qx6jeflt"));
  EXPECT_EQ(modLanguage::CurrentLibrary(), modLanguage::EnglishLibrary());
  EXPECT_EQ(modLanguage::GetLangString(3), "Details");
}

TEST_F(LanguageTest, AnotherEnglishLocaleMakesNoSearch) {
  product.BuildLanguage("1033", EnglishTexts);
  // 0x109 and 0xC09: language byte 09, as 2057 has.
  product.BuildLanguage("0265", {{3, "wrong: folder 0265"}});
  product.BuildLanguage("3081", {{3, "wrong: folder 3081"}});
  EXPECT_EQ(modLanguage::FindLanguageLibrary(2057), nullptr);

  Locale::SetUser("en_GB");
  ASSERT_EQ(modLanguage::GetUserLocaleId(), 2057);
  ASSERT_TRUE(modLanguage::LoadLanguage("qx6jeflt"));
  // A search would have loaded a second module (1033 or 0265 matches).
  EXPECT_EQ(modLanguage::CurrentLibrary(), modLanguage::EnglishLibrary());
  EXPECT_EQ(modLanguage::GetLangString(3), "Details");
}

TEST_F(LanguageTest, LocaleIdSettingOverridesTheUsersLocale) {
  product.BuildLanguage("1033", EnglishTexts);
  product.BuildLanguage("1036", FrenchTexts);
  EXPECT_EQ(modLanguage::ReadLocaleIdSetting().LongValue(), -1);

  SetLocaleIdSetting(Variant::Long(1036));
  EXPECT_EQ(modLanguage::ReadLocaleIdSetting().LongValue(), 1036);
  EXPECT_EQ(modLanguage::GetUserLocaleId(), 1036);
  ASSERT_TRUE(modLanguage::LoadLanguage("qx6jeflt"));
  EXPECT_EQ(modLanguage::GetLangString(3), "Détails");

  // The other way round: a French user who asked for English.
  Locale::SetUser("fr_FR");
  SetLocaleIdSetting(Variant::Long(1033));
  ASSERT_TRUE(modLanguage::LoadLanguage("qx6jeflt"));
  EXPECT_EQ(modLanguage::CurrentLibrary(), modLanguage::EnglishLibrary());
  EXPECT_EQ(modLanguage::GetLangString(3), "Details");
}

TEST_F(LanguageTest, EmptyLocaleIdSettingMeansTheUsersLocale) {
  Locale::SetUser("fr_FR");
  SetLocaleIdSetting(Variant::String(""), platform::REG_SZ);
  EXPECT_EQ(modLanguage::ReadLocaleIdSetting().LongValue(), -1);
  EXPECT_EQ(modLanguage::GetUserLocaleId(), 1036);
}

TEST_F(LanguageTest, LookupsRetryTheLoadUntilTheEnglishLibraryAppears) {
  product.MakeFolder("lang");
  EXPECT_FALSE(modLanguage::LoadLanguage("qx6jeflt"));
  EXPECT_EQ(modLanguage::CurrentLibrary(), nullptr);
  EXPECT_EQ(modLanguage::GetLangString(3), "");
  EXPECT_EQ(modLanguage::GetLangString(47, {Variant("Quorvex 6")}), "");

  product.BuildLanguage("1033", EnglishTexts);
  EXPECT_EQ(modLanguage::GetLangString(3), "Details");
  EXPECT_NE(modLanguage::CurrentLibrary(), nullptr);
}

TEST_F(LanguageTest, NothingIsLoadedWithoutAnApplicationName) {
  product.BuildLanguage("1033", EnglishTexts);
  EXPECT_EQ(modLanguage::GetLangString(3), "");
  EXPECT_EQ(modLanguage::CurrentLibrary(), nullptr);
}

TEST_F(LanguageTest, LibraryTextsAreCutAt511Characters) {
  const std::string accented = [] {
    std::string s;
    for (int i = 0; i < 600; ++i) s += "é";
    return s;
  }();
  product.BuildLanguage("1033", {{1, std::string(511, 'x')}, {2, std::string(600, 'y')}, {3, accented},
                                 {4, std::string(509, 'z') + "%s"}});
  ASSERT_TRUE(modLanguage::LoadLanguage("qx6jeflt"));
  EXPECT_EQ(modLanguage::GetLangString(1), std::string(511, 'x'));
  EXPECT_EQ(modLanguage::GetLangString(2), std::string(511, 'y'));
  // Characters, not UTF-8 bytes.
  EXPECT_EQ(Strings::Len(modLanguage::GetLangString(3)), 511);
  EXPECT_EQ(modLanguage::GetLangString(3), accented.substr(0, 2 * 511));
  // The cut comes before the placeholders are filled.
  EXPECT_EQ(modLanguage::GetLangString(4, {Variant("long argument")}), std::string(509, 'z') + "long argument");
}

TEST_F(LanguageTest, FetchedTextsHaveTheirPlaceholdersFilled) {
  product.BuildLanguage("1033", EnglishTexts);
  ASSERT_TRUE(modLanguage::LoadLanguage("qx6jeflt"));
  EXPECT_EQ(modLanguage::GetLangString(47, {Variant("Quorvex 6")}), "Quorvex 6 Flat File Export");
  EXPECT_EQ(modLanguage::GetLangString(47), "%s Flat File Export");
}

std::string Fill(std::string_view text, std::vector<Variant> args) {
  return modLanguage::ReplacePlaceholders(text, &args);
}

TEST(ReplacePlaceholders, ArgumentsFillPlaceholdersInOrder) {
  EXPECT_EQ(Fill("from %s to %s.", {Variant(3), Variant(7)}), "from 3 to 7.");
  EXPECT_EQ(Fill("from %s to %s.", {Variant(3)}), "from 3 to %s.");
  EXPECT_EQ(Fill("from %s to %s.", {Variant(3), Variant(7), Variant(9)}), "from 3 to 7.");
  EXPECT_EQ(Fill("no placeholder", {Variant(3)}), "no placeholder");
  EXPECT_EQ(Fill("%s%s", {Variant("a"), Variant("b")}), "ab");
  EXPECT_EQ(modLanguage::ReplacePlaceholders("from %s", nullptr), "from %s");
}

TEST(ReplacePlaceholders, UpperCaseMarkCountsAndOtherMarksDoNot) {
  EXPECT_EQ(Fill("%S and %s", {Variant(1), Variant(2)}), "1 and 2");
  EXPECT_EQ(Fill("100%d %s", {Variant("x")}), "100%d x");
  EXPECT_EQ(Fill("50%", {Variant("x")}), "50%");
}

TEST(ReplacePlaceholders, InsertedTextIsNeverSearched) {
  EXPECT_EQ(Fill("\"%s\" then %s", {Variant("a%sb"), Variant(7)}), "\"a%sb\" then 7");
  EXPECT_EQ(Fill("%s|%s", {Variant("%S"), Variant("%s")}), "%S|%s");
}

TEST(ReplacePlaceholders, NumbersAreWrittenInPlainDecimal) {
  EXPECT_EQ(Fill("Error %s: %s", {Variant(static_cast<int32_t>(-2147467259)), Variant("Unspecified error")}),
            "Error -2147467259: Unspecified error");
  EXPECT_EQ(Fill("%s", {Variant(1234567.5)}), "1234567.5");
}

}  // namespace
}  // namespace qx6
