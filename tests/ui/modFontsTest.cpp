// The dialog font rules over a font catalog and controls of the test's own.
#include <gtest/gtest.h>

#include <set>

#include "tests/platform/RegistryValues.h"
#include "tests/support/TestEnvironment.h"
#include "ui/modFonts.h"

namespace qx6 {
namespace {

using modFonts::UIFont;

// Faces installed with the character sets they cover; anything else comes
// back as "Fallback Sans" in the ANSI set.
class Catalog : public modFonts::FontCatalog {
 public:
  std::set<std::pair<std::string, int16_t>> faces;
  UIFont Realize(const UIFont& requested) const override {
    if (faces.count({requested.name, requested.charSet})) return requested;
    return UIFont{"Fallback Sans", requested.size, modFonts::ANSI_CHARSET};
  }
};

void SetFont(const char* name, const std::string& value) {
  ASSERT_EQ(test::PutText(platform::HKEY_CURRENT_USER, "Software\\Quorvex 6\\Font", name, value), 0);
}

// "name size charSet", or "none".
std::string Describe(const std::optional<UIFont>& font) {
  return font ? font->name + " " + std::to_string(font->size) + " " + std::to_string(font->charSet) : "none";
}

TEST(modFonts, TheRegistrySettingIsUsedAsSetWithDefaultsForTheMissingValues) {
  test::TestEnvironment env;
  Catalog catalog;
  EXPECT_FALSE(modFonts::ReadFontSetting());
  SetFont("FontName", "Not Installed Face");
  EXPECT_EQ(Describe(modFonts::LoadDialogFont(catalog)), "Not Installed Face 8 0");
  SetFont("FontCharSet", "204");
  SetFont("FontSize", "11");
  EXPECT_EQ(Describe(modFonts::LoadDialogFont(catalog)), "Not Installed Face 11 204");
}

TEST(modFonts, TheCodePageChoosesAStandardFaceOrItsFallback) {
  Catalog catalog;
  catalog.faces = {{"Arial", 0}, {"Tahoma", 0}};
  EXPECT_EQ(Describe(modFonts::ChooseUIFont(catalog, 1252)), "Arial 8 0");
  catalog.faces.insert({"MS Sans Serif", 0});
  EXPECT_EQ(modFonts::ChooseUIFont(catalog, 1252)->name, "MS Sans Serif");
  EXPECT_EQ(Describe(modFonts::ChooseUIFont(catalog, 932)), "\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF 9 128");
  catalog.faces.insert({"Tahoma", 128});
  EXPECT_EQ(modFonts::ChooseUIFont(catalog, 932)->name, "Tahoma");
  EXPECT_FALSE(modFonts::ChooseUIFont(catalog, 65001)) << "UTF-8 has no character set";
}

// A control of one type whose face takes only the character sets in `sets`.
struct Control : modFonts::FontTarget {
  Control(std::string type, UIFont font, std::set<int16_t> sets)
      : type(std::move(type)), font(std::move(font)), sets(std::move(sets)) {}
  std::string TypeName() const override { return type; }
  std::optional<UIFont> Font() const override { return font; }
  void SetFontName(const std::string& name) override { font.name = name; }
  void SetFontCharSet(int16_t charSet) override { font.charSet = sets.count(charSet) ? charSet : font.charSet; }
  void SetFontSize(int16_t size) override { font.size = size; }
  std::string type;
  UIFont font;
  std::set<int16_t> sets;
};

TEST(modFonts, ApplyFontKeepsOwnFacesThatFitAndOwnSizes) {
  UIFont form{"Form Face", 8, 0};
  const UIFont chosen{"New Face", 9, 204};
  Control plain("Label", {"Form Face", 8, 0}, {0, 204});
  Control ownFits("Label", {"Mono", 10, 0}, {0, 204});
  Control ownLacks("Label", {"Old Latin", 8, 0}, {0});
  Control bigger("Label", {"Form Face", 14, 0}, {0, 204});
  Control grid("ColumnsGrid", {"Grid Face", 12, 0}, {0, 204});
  modFonts::ApplyFont(form, {&plain, &ownFits, &ownLacks, &bigger, &grid}, chosen);
  std::string fonts = Describe(form);
  for (const Control* control : {&plain, &ownFits, &ownLacks, &bigger, &grid}) fonts += ", " + Describe(control->font);
  // The face that lacks the set gives way, its size being the form's.
  EXPECT_EQ(fonts, "New Face 9 204, New Face 9 204, Mono 10 204, New Face 9 0, New Face 14 204, New Face 9 204");
  modFonts::ApplyFont(form, {&plain}, std::nullopt);
  EXPECT_EQ(form.name, "New Face");
}

}  // namespace
}  // namespace qx6
