// The dialog font: the face the user set for the product in the registry,
// or one that suits the character set of the ANSI code page, and the
// pushing of that font into a form's controls with the per-control rules.
// The system's font database and the controls stand behind small
// interfaces, so the rules hold whatever toolkit draws the window.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qx6::modFonts {

// Windows character set numbers.
inline constexpr int16_t ANSI_CHARSET = 0, DEFAULT_CHARSET = 1, SHIFTJIS_CHARSET = 128, HANGUL_CHARSET = 129,
                         GB2312_CHARSET = 134, CHINESEBIG5_CHARSET = 136;

struct UIFont {
  std::string name;
  int16_t size = 8;  // points
  // What a new font carries when none is set.
  int16_t charSet = DEFAULT_CHARSET;
};

// The system's fonts: the face and character set a requested font ends up
// with (the requested face when it is installed and covers the character
// set, else whatever the system substitutes).
class FontCatalog {
 public:
  virtual ~FontCatalog() = default;
  virtual UIFont Realize(const UIFont& requested) const = 0;
};

// One control whose font can be read and changed. A setter may refuse a
// value (a face that lacks the character set keeps its old one).
class FontTarget {
 public:
  virtual ~FontTarget() = default;
  virtual std::string TypeName() const = 0;
  // No value for a control without a font.
  virtual std::optional<UIFont> Font() const = 0;
  virtual void SetFontName(const std::string& name) = 0;
  virtual void SetFontCharSet(int16_t charSet) = 0;
  virtual void SetFontSize(int16_t size) = 0;
};

// The character set of a code page; no value for one without (UTF-8).
std::optional<int16_t> CharSetOfCodePage(uint32_t codePage);

// "FontName", "FontCharSet" (default 0) and "FontSize" (default 8) of
// HKEY_CURRENT_USER\Software\Quorvex 6\Font; no value without a name.
std::optional<UIFont> ReadFontSetting();

// The registry setting as set, else ChooseUIFont.
std::optional<UIFont> LoadDialogFont(const FontCatalog& catalog);

// "MS Sans Serif", "Arial", "Tahoma" at 8 points in the code page's
// character set, the first that the catalog gives back unchanged; else the
// character set's fallback face. No value when the code page has no
// character set.
std::optional<UIFont> ChooseUIFont(const FontCatalog& catalog, uint32_t codePage);
std::optional<UIFont> ChooseUIFont(const FontCatalog& catalog);

// Pushes `newFont` into every control and then into the form's font.
void ApplyFont(UIFont& formFont, const std::vector<FontTarget*>& controls, const std::optional<UIFont>& newFont);

}  // namespace qx6::modFonts
