// The settings dialog reached the way a host reaches it: the component is
// created through the registry and EditConfiguration opens its dialog,
// which the test drives by the names of its widgets.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>

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

TEST_F(ComponentDialog, ASaveAsIsListedUnderTheIdentifierHandedBackAndClosingUnchangedKeepsIt) {
  test::WriteFile(env.ConfigFolder() + "zeta.cfg",
                  "<?xml version=\"1.0\"?>\r\n<root>\r\n<Name>Zeta</Name>\r\n<Version>4</Version>\r\n"
                  "<NumDecimalPlaces>2</NumDecimalPlaces>\r\n<Column>\r\n<Index>1</Index>\r\n</Column>\r\n");
  EXPECT_EQ(Initialize(), (std::vector<std::string>{"<Default>", "Zeta"}));
  int32_t id = 2;
  EXPECT_FALSE(Edit(id, [](QWidget&) {})) << "closed unchanged";
  EXPECT_EQ(id, 2);
  ui->QueueInput(std::string("Alpha"));
  EXPECT_TRUE(Edit(id, [](QWidget& dialog) {
    QTest::mouseClick(dialog.findChild<QAbstractButton*>("cmdSaveAs"), Qt::LeftButton);
  }));
  EXPECT_TRUE(ui->Messages().empty());
  ASSERT_EQ(Initialize(), (std::vector<std::string>{"<Default>", "Alpha", "Zeta"}));
  EXPECT_EQ(id, 2) << "the identifier of Alpha in the new list";
}

}  // namespace
}  // namespace qx6
