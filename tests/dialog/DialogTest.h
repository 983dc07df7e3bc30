// The world of a settings-dialog test: the configurations Alpha (with an
// output file) and Beta in a private store, a Qt application (offscreen, or a
// real X display under Xvfb), and helpers that drive the widgets by name.
#pragma once

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QLineEdit>
#include <QTabBar>
#include <QTest>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "config/modFlatFile.h"
#include "dialog/ColumnsGrid.h"
#include "dialog/frmExportSettings.h"
#include "tests/config/ConfigTestFixture.h"
#include "tests/exporter/ExporterTestSupport.h"
#include "tests/platform/RegistryValues.h"

namespace qx6::test {

inline QApplication& TestApplication() {
  static int argc = 1;
  static char name[] = "qx6dialog_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

// A face that the machine need not have, shipped beside the tests.
inline QString ShippedFamily() {
  static const QString family = [] {
    const int id = QFontDatabase::addApplicationFont(QX6_SOURCE_DIR "/tests/dialog/fonts/NotoMono-Regular.ttf");
    return id < 0 ? QString() : QFontDatabase::applicationFontFamilies(id).value(0);
  }();
  return family;
}

class DialogTest : public ConfigTest {
 protected:
  DialogTest() {
    TestApplication();
    std::filesystem::create_directories(env.ConfigFolder());
    SaveConfig("Alpha", env.Root() + "/alpha.txt");
    SaveConfig("Beta");
  }

  // Writes a configuration file as the store writes it.
  void SaveConfig(const std::string& name, const std::string& outputFile = "") {
    ExportConfig config;
    config.SetName(name);
    config.SetNumDecimalPlaces(2);
    for (int16_t index : {1, 2, 23}) config.Columns()->Add(Col(index));
    config.SetOutputFile(outputFile);
    config.Save();
  }

  std::shared_ptr<ExportConfigs> LoadConfigs() {
    auto configs = std::make_shared<ExportConfigs>();
    int32_t id = 0;
    modFlatFile::LoadConfigurations(*configs, 2, "", "", id);
    return configs;
  }

  dialog::frmExportSettings& Open(int32_t configId, std::shared_ptr<ExportConfigs> configs = nullptr) {
    configs_ = configs ? configs : LoadConfigs();
    form_ = std::make_unique<dialog::frmExportSettings>();
    form_->BeginSettings(configs_, configId);
    form_->show();
    // Active, as the window a user works in is: keys reach it and its shortcuts.
    form_->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(form_.get(), 5000));
    return *form_;
  }

  template <typename T>
  T* W(const char* name) {
    T* widget = form_->findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  dialog::ColumnsGrid& Grid() { return *W<dialog::ColumnsGrid>("grdColumns"); }

  // The user drops list `list` down and clicks entry `index`.
  void Choose(const char* list, int index) { ChooseInList(W<QComboBox>(list), index); }
  static void ChooseInList(QComboBox* combo, int index) {
    ASSERT_NE(combo, nullptr);
    combo->showPopup();
    QAbstractItemView* view = combo->view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window(), 5000));
    view->scrollTo(view->model()->index(index, 0));
    const QRect item = view->visualRect(view->model()->index(index, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
    QCoreApplication::processEvents();
  }
  // A key as the window system delivers it: to an open list, else to the dialog.
  void Press(Qt::Key key) {
    QWidget* popup = QApplication::activePopupWidget();
    QTest::keyClick(popup ? popup->windowHandle() : form_->windowHandle(), key);
    QCoreApplication::processEvents();
  }
  void ShowPage(int page) {
    W<QTabBar>("tabOptions")->setCurrentIndex(page);
    QCoreApplication::processEvents();
  }
  // Clicks a button as a user would, on the page that holds it.
  void Click(const char* button) {
    auto* widget = W<QAbstractButton>(button);
    for (int page : {0, 1})
      if (W<QWidget>(page ? "picTab_2" : "picTab_1")->isAncestorOf(widget)) ShowPage(page);
    QTest::mouseClick(widget, Qt::LeftButton);
  }
  // Clicks a button with the answer to the question it asks queued.
  void ClickAnswering(const char* button, platform::MessageAnswer answer) {
    ui->QueueAnswer(answer);
    Click(button);
  }
  void Type(const char* box, const std::string& text) {
    auto* edit = W<QLineEdit>(box);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, QString::fromStdString(text));
  }

  // Edits grid cell (row, col) by typing, or by choosing list item `item`.
  void TypeInCell(int row, int col, const std::string& text) {
    QWidget* target = KeyTarget(StartEdit(row, col));
    ASSERT_NE(target, nullptr);
    if (auto* line = qobject_cast<QLineEdit*>(target)) line->selectAll();
    QTest::keyClick(target, Qt::Key_Delete);
    QTest::keyClicks(target, QString::fromStdString(text));
    QTest::keyClick(target, Qt::Key_Return);
  }
  void ChooseInCell(int row, int col, int item) { ChooseInList(qobject_cast<QComboBox*>(StartEdit(row, col)), item); }
  // The items of the list a cell offers when it is edited.
  std::vector<std::string> CellList(int row, int col) {
    QWidget* target = KeyTarget(StartEdit(row, col));
    std::vector<std::string> items;
    for (int i = 0; i < Grid().ComboCount(); ++i)
      items.push_back(std::to_string(Grid().ComboData(i)) + ":" + Grid().ComboItem(i));
    if (target) QTest::keyClick(target, Qt::Key_Escape);
    return items;
  }
  // Where typed keys go in a cell's editor: an editable list's line, else the editor.
  static QWidget* KeyTarget(QWidget* editor) {
    auto* combo = qobject_cast<QComboBox*>(editor);
    return combo && combo->lineEdit() ? combo->lineEdit() : editor;
  }
  QWidget* StartEdit(int row, int col) {
    ShowPage(1);
    Grid().setCurrentCell(row - 1, col);
    Grid().editItem(Grid().item(row - 1, col));
    QCoreApplication::processEvents();
    return Grid().Editor();
  }

  // The string IDs of the messages shown, in order.
  std::vector<int> MessageIds() {
    std::vector<int> ids;
    for (const auto& shown : ui->Messages()) {
      int id = 0;
      for (int candidate = 30; candidate <= 48 && id == 0; ++candidate)
        if (shown.text == modLanguage::GetLangString(candidate)) id = candidate;
      ids.push_back(id);
    }
    return ids;
  }
  static std::string Lang(int id) { return modLanguage::GetLangString(id); }

  std::string ShownName() { return W<QComboBox>("cmbConfiguration")->currentText().toStdString(); }
  std::string Stored(const std::string& file) { return ReadFile(env.ConfigFolder() + file); }
  // Whether each named control is enabled, as "1" or "0" each.
  std::string EnabledOf(std::initializer_list<const char*> names) {
    std::string flags;
    for (const char* name : names) flags += W<QWidget>(name)->isEnabled() ? '1' : '0';
    return flags;
  }
  // Closes the dialog: the name EndSettings hands back, after "-" when it reports no change.
  std::string CloseAndEnd() {
    EXPECT_TRUE(form_->close());
    std::string name = "unchanged";
    return form_->EndSettings(name) ? name : "-" + name;
  }
  // The cells of grid row `row` from column 0, joined by "|".
  std::string RowText(int row, int columns = 4) {
    std::string text;
    for (int col = 0; col < columns; ++col) text += (col ? "|" : "") + Grid().TextMatrix(row, col);
    return text;
  }

  std::shared_ptr<ExportConfigs> configs_;
  std::unique_ptr<dialog::frmExportSettings> form_;
};

}  // namespace qx6::test
