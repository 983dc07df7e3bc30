// The settings dialog reached the way a host reaches it: the component is
// created through the registry and EditConfiguration opens its dialog,
// which the test drives by the names of its widgets.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>

#include "config/ExportConfig.h"
#include "tests/exporter/RegisteredExporter.h"

namespace qx6 {
namespace {

QApplication& HostApplication() {
  static int argc = 1;
  static char name[] = "qx6component_dialog_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

class ComponentDialog : public test::RegisteredExporter {
 protected:
  ComponentDialog() {
    HostApplication();
    std::filesystem::create_directories(env.ConfigFolder());
  }

  // Runs `drive` on the dialog once EditConfiguration has shown it.
  bool Edit(int32_t& configId, const std::function<void(QWidget&)>& drive) {
    QTimer::singleShot(0, [&] {
      QWidget* dialog = nullptr;
      for (QWidget* top : QApplication::topLevelWidgets())
        if (top->objectName() == "frmExportSettings" && top->isVisible()) dialog = top;
      ASSERT_NE(dialog, nullptr) << "no settings dialog shown";
      drive(*dialog);
      if (dialog->isVisible()) dialog->close();
    });
    bool changed = false;
    EXPECT_EQ(exporter->EditConfiguration(nullptr, &configId, &changed), S_OK);
    return changed;
  }
};

TEST_F(ComponentDialog, ASaveAsInTheDialogIsListedUnderTheIdentifierHandedBack) {
  test::WriteFile(env.ConfigFolder() + "zeta.cfg",
                  "<?xml version=\"1.0\"?>\r\n<root>\r\n<Name>Zeta</Name>\r\n<Version>4</Version>\r\n"
                  "<NumDecimalPlaces>2</NumDecimalPlaces>\r\n<Column>\r\n<Index>1</Index>\r\n</Column>\r\n");
  EXPECT_EQ(Initialize(), (std::vector<std::string>{"<Default>", "Zeta"}));
  int32_t id = 2;
  ui->QueueInput(std::string("Alpha"));
  const bool changed = Edit(id, [](QWidget& dialog) {
    auto* strip = dialog.findChild<QLineEdit*>("txtStripChars");
    ASSERT_NE(strip, nullptr);
    QTest::keyClicks(strip, "#");
    QTest::mouseClick(dialog.findChild<QAbstractButton*>("cmdSaveAs"), Qt::LeftButton);
  });
  EXPECT_TRUE(changed);
  EXPECT_TRUE(ui->Messages().empty());
  const auto names = Initialize();
  ASSERT_EQ(names, (std::vector<std::string>{"<Default>", "Alpha", "Zeta"}));
  EXPECT_EQ(id, 2) << "the identifier of Alpha in the new list";

  // The edit made before the Save As is in the new file (the file's exact
  // form is the settings dialog tests' concern).
  ExportConfig reread;
  ASSERT_TRUE(reread.Load(env.ConfigFolder() + "alpha.cfg"));
  EXPECT_EQ(reread.StripChars(), "#");
}

TEST_F(ComponentDialog, ClosingUnchangedLeavesTheIdentifierAlone) {
  Initialize();
  int32_t id = 1;
  EXPECT_FALSE(Edit(id, [](QWidget&) {}));
  EXPECT_EQ(id, 1);
}

}  // namespace
}  // namespace qx6
