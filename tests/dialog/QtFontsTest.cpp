// The dialog font on Qt's font database and widgets.
#include <QFontDatabase>
#include <QLabel>

#include "dialog/QtFonts.h"
#include "tests/dialog/DialogTest.h"

namespace qx6::test {
namespace {

// On the face shipped beside the tests, whatever the machine has installed.
TEST(QtFonts, AnInstalledFaceIsRealizedAsRequestedAndAMissingOneIsSubstituted) {
  TestApplication();
  ASSERT_FALSE(ShippedFamily().isEmpty());
  const dialog::QtFontCatalog catalog;
  const modFonts::UIFont installed{ShippedFamily().toStdString(), 8, modFonts::ANSI_CHARSET};
  EXPECT_EQ(catalog.Realize(installed).name, installed.name);
  const modFonts::UIFont missing{"No Such Face 1234", 8, modFonts::ANSI_CHARSET};
  EXPECT_NE(catalog.Realize(missing).name, missing.name);
}

TEST(QtFonts, TheDialogFontReachesTheControlsAndTheGrid) {
  TestApplication();
  ASSERT_FALSE(ShippedFamily().isEmpty());
  QWidget form;
  auto* label = new QLabel("x", &form);
  label->setObjectName("lblCaption_0");
  auto* grid = new dialog::ColumnsGrid(&form);
  grid->setObjectName("grdColumns");
  const modFonts::UIFont font{ShippedFamily().toStdString(), 13, modFonts::ANSI_CHARSET};
  dialog::ApplyDialogFont(form, &font);
  EXPECT_EQ(label->font().family(), ShippedFamily());
  EXPECT_EQ(label->font().pointSize(), 13);
  EXPECT_EQ(grid->font().family(), ShippedFamily());
  EXPECT_EQ(grid->font().pointSize(), 13);
  EXPECT_EQ(dialog::WidgetCharSet(*grid), modFonts::ANSI_CHARSET);
  dialog::ApplyDialogFont(form, nullptr);  // none: nothing changes
  EXPECT_EQ(label->font().pointSize(), 13);
}

}  // namespace
}  // namespace qx6::test
