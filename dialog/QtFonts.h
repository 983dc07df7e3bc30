// The dialog font on Qt: the system's fonts as Qt's font database reports
// them, and the widgets of a form as targets of the font rules. A Qt font
// has no Windows character set, so a widget keeps the one it was given in
// a property, and takes one only when its face covers that set's script.
#pragma once

#include <QWidget>

#include <string>

#include "ui/modFonts.h"

namespace qx6::dialog {

class QtFontCatalog : public modFonts::FontCatalog {
 public:
  modFonts::UIFont Realize(const modFonts::UIFont& requested) const override;
};

// True when the installed face `family` covers the character set's script.
bool FaceCoversCharSet(const std::string& family, int16_t charSet);

class WidgetFontTarget : public modFonts::FontTarget {
 public:
  explicit WidgetFontTarget(QWidget* widget) : widget_(widget) {}
  std::string TypeName() const override;
  std::optional<modFonts::UIFont> Font() const override;
  void SetFontName(const std::string& name) override;
  void SetFontCharSet(int16_t charSet) override;
  void SetFontSize(int16_t size) override;

 private:
  QWidget* widget_;
};

// The character set a widget's font carries (the new-font default when it
// was never given one).
int16_t WidgetCharSet(const QWidget& widget);

// Pushes `font` (none: nothing happens) into the form and its named controls.
void ApplyDialogFont(QWidget& form, const modFonts::UIFont* font);

}  // namespace qx6::dialog
