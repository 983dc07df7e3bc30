// The dialog font on Qt's font database and widgets.
#include <QFontDatabase>
#include <QLabel>

#include "dialog/QtFonts.h"
#include "tests/dialog/DialogTest.h"

namespace qx6::test {
namespace {

// On the face shipped beside the tests, whatever the machine has installed.
TEST(QtFonts, AnInstalledFaceIsRealizedAndReachesTheControlsAndTheGrid) {
  TestApplication();
  ASSERT_FALSE(ShippedFamily().isEmpty());
  const dialog::QtFontCatalog catalog;
  const modFonts::UIFont font{ShippedFamily().toStdString(), 13, modFonts::ANSI_CHARSET};
  EXPECT_EQ(catalog.Realize(font).name, font.name);
  const modFonts::UIFont missing{"No Such Face 1234", 8, modFonts::ANSI_CHARSET};
  EXPECT_NE(catalog.Realize(missing).name, missing.name);

  QWidget form;
  auto* label = new QLabel("x", &form);
  label->setObjectName("lblCaption_0");
  auto* grid = new dialog::ColumnsGrid(&form);
  grid->setObjectName("grdColumns");
  dialog::ApplyDialogFont(form, &font);
  for (QWidget* widget : {static_cast<QWidget*>(label), static_cast<QWidget*>(grid)}) {
    EXPECT_EQ(widget->font().family(), ShippedFamily());
    EXPECT_EQ(widget->font().pointSize(), 13);
  }
  EXPECT_EQ(dialog::WidgetCharSet(*grid), modFonts::ANSI_CHARSET);
  dialog::ApplyDialogFont(form, nullptr);  // none: nothing changes
  EXPECT_EQ(label->font().pointSize(), 13);
}

}  // namespace
}  // namespace qx6::test
