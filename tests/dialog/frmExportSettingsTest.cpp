// The settings dialog driven through its widgets on the offscreen platform,
// with every message box answered by the scripted user interaction; the
// dialog font on Qt's font database and widgets; the help window behind the
// Qt user interaction on the staged help file: the dialog's topic, links,
// history and contents, and missing files and topics shown in the window.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTest>
#include <QToolButton>

#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "config/modFlatFile.h"
#include "dialog/ColumnsGrid.h"
#include "dialog/HelpWindow.h"
#include "dialog/QtFonts.h"
#include "dialog/QtUserInteraction.h"
#include "dialog/frmExportSettings.h"
#include "runtime/DateTime.h"
#include "runtime/Format.h"
#include "tests/config/ConfigTestFixture.h"
#include "tests/exporter/ExporterTestSupport.h"
#include "tests/platform/RegistryValues.h"
#include "tests/runtime/RuntimeTesting.h"

namespace qx6::test {
namespace {

// Offscreen, or a real X display when the tests run under Xvfb.
QApplication& TestApplication() {
  static int argc = 1;
  static char name[] = "qx6dialog_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

// A face that the machine need not have, shipped beside the tests.
QString ShippedFamily() {
  static const QString family = [] {
    const int id = QFontDatabase::addApplicationFont(QX6_SOURCE_DIR "/tests/dialog/fonts/NotoMono-Regular.ttf");
    return id < 0 ? QString() : QFontDatabase::applicationFontFamilies(id).value(0);
  }();
  return family;
}

// The configurations Alpha (with an output file) and Beta in a private store,
// and helpers that drive the dialog's widgets by name as a user would.
class SettingsDialog : public ConfigTest {
 protected:
  SettingsDialog() {
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

  void Open(int32_t configId, std::shared_ptr<ExportConfigs> configs = nullptr) {
    configs_ = configs ? configs : LoadConfigs();
    form_ = std::make_unique<dialog::frmExportSettings>();
    form_->BeginSettings(configs_, configId);
    form_->show();
    // Active, as the window a user works in is: keys reach it and its shortcuts.
    form_->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(form_.get(), 5000));
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

using dialog::HelpWindow;
using platform::FileDialogResult;
using platform::MessageAnswer;
using platform::MessageButtons;
using platform::MessageIcon;

// An identifier of zero or past the end shows the default, as 1 does.
TEST_F(SettingsDialog, TheDefaultIsNeverSavedOrDeletedAndHelpAndTheDateSampleWork) {
  for (int32_t id : {0, 4, -1, 1}) {
    Open(id);
    EXPECT_EQ(ShownName(), "<Default>") << id;
    EXPECT_TRUE(form_->ShownConfig()->IsDefault());
  }
  EXPECT_EQ(EnabledOf({"cmdOK", "cmdDelete"}), "00") << "the default can never be saved or deleted";
  Type("txtStripChars", "x");
  EXPECT_TRUE(form_->Dirty());
  EXPECT_EQ(EnabledOf({"cmdOK", "cmdDelete", "cmdSaveAs"}), "001");
  Click("cmdHelp");
  ASSERT_EQ(ui->HelpTopics().size(), 1u);
  EXPECT_EQ(ui->HelpTopics()[0].helpFile + "#" + std::to_string(ui->HelpTopics()[0].contextId),
            QX6_PRODUCT_DIR "/help/qx6jbman.chm#11");
  Choose("cmbConfiguration", 1);
  EXPECT_EQ(EnabledOf({"cmdOK", "cmdDelete"}), "01") << "a configuration just shown is clean";
  Type("txtDateFormat", "yyyy");
  EXPECT_EQ(EnabledOf({"cmdOK"}), "1");
  Click("cmdOK");
  {
    NowScope clock(At(2031, 7, 4, 9, 30));
    Click("cmdCheckDate");
  }
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_EQ(ui->Messages()[0].icon, MessageIcon::Information);
  EXPECT_NE(ui->Messages()[0].text.find("2031"), std::string::npos) << ui->Messages()[0].text;
  EXPECT_FALSE(form_->Dirty());
}

// Every text a user reads comes from the language library: without one, the
// captions, the tooltips and the window title the dialog sets are all empty.
TEST_F(SettingsDialog, CaptionsComeFromTheLanguageLibrary) {
  for (const bool library : {true, false}) {
    if (!library) {
      modLanguage::ResetForTesting();
      platform::SetComponentFolderForTesting(env.Root());
      modLanguage::LoadLanguage("qx6jeflt");
    }
    Open(1);
    const std::string title = library ? Lang(47).replace(Lang(47).find("%s"), 2, "Quorvex 6") : "";
    EXPECT_EQ(form_->windowTitle().toStdString(), title);
    for (QWidget* widget : form_->findChildren<QWidget*>()) {
      QString text;
      if (auto* b = qobject_cast<QAbstractButton*>(widget)) text = b->text();
      if (auto* l = qobject_cast<QLabel*>(widget)) text = l->text();
      if (auto* g = qobject_cast<QGroupBox*>(widget)) text = g->title();
      EXPECT_FALSE(text.startsWith('*')) << widget->objectName().toStdString();
      EXPECT_TRUE(library || (text + widget->toolTip()).isEmpty()) << widget->objectName().toStdString();
    }
    EXPECT_EQ(W<QPushButton>("cmdOK")->text().toStdString(), Lang(28));
    EXPECT_EQ(W<QTabBar>("tabOptions")->tabText(1).toStdString(), Lang(22));
    EXPECT_EQ(W<QToolButton>("cmdMoveDown")->toolTip().toStdString(), Lang(63));
    EXPECT_EQ(W<QLineEdit>("txtFieldDelim")->toolTip(), "") << "the box has no tooltip of its own";
    EXPECT_EQ(W<QComboBox>("cmbRowDelimiter")->itemText(4).toStdString(), Lang(53));
  }
  EXPECT_EQ(Lang(28), "") << "the library was gone";
}

TEST_F(SettingsDialog, TheRowDelimiterAndOutputTypeControlsAndWhatOKRefuses) {
  Open(2);
  auto* custom = W<QLineEdit>("txtRowDelimCustom");
  EXPECT_TRUE(custom->isHidden());
  Choose("cmbRowDelimiter", 0);
  EXPECT_FALSE(form_->Dirty()) << "choosing the delimiter shown changes nothing";
  Choose("cmbRowDelimiter", 4);
  EXPECT_FALSE(custom->isHidden());
  QTest::keyClicks(custom, "~");
  Choose("cmbRowDelimiter", 2);
  EXPECT_TRUE(custom->isHidden());
  EXPECT_EQ(custom->text().toStdString(), "~") << "hidden, not cleared";
  // The delimited-only controls, the others, then whether the width, justify and pad columns show.
  const auto state = [this] {
    std::string s = EnabledOf({"fraDelimiter", "lblCaption_3", "txtFieldDelim", "chkUseQuotes", "chkDelimitRow_0",
                               "chkDelimitRow_1", "chkColumnNames"});
    s += "|" + EnabledOf({"cmbRowDelimiter", "txtStripChars", "txtDateFormat", "txtDecimalPlaces", "cmdCheckDate"});
    for (int col : {4, 5, 6}) s += Grid().ColHidden(col) ? "" : "|" + std::to_string(col);
    return s;
  };
  EXPECT_EQ(state(), "1111111|11111");
  Click("optOutputType_1");
  EXPECT_EQ(state(), "0000000|11111|4|5|6");
  EXPECT_FALSE(W<QWidget>("chkAutoStrip")->testAttribute(Qt::WA_ForceDisabled));
  EXPECT_EQ(Grid().ColWidth(2), Grid().ColWidth(3));
  Click("optOutputType_0");
  EXPECT_EQ(state(), "1111111|11111");
  // OK refuses decimal places outside two to four, and fixed width without widths.
  const std::pair<const char*, bool> cases[] = {{"1", false}, {"5", false}, {"", false}, {"x", false}, {" 2 ", true}, {"4", true}};
  for (const auto& [places, accepted] : cases) {
    ui->ClearRecord();
    Type("txtDecimalPlaces", places);
    Click("cmdOK");
    EXPECT_EQ(MessageIds(), accepted ? std::vector<int>{} : std::vector<int>{39}) << places;
    EXPECT_EQ(form_->Dirty(), !accepted) << places;
  }
  EXPECT_EQ(W<QLineEdit>("txtDecimalPlaces")->text().toStdString(), "4");
  Click("optOutputType_1");
  Click("cmdOK");
  EXPECT_EQ(MessageIds(), std::vector<int>{42}) << "delimited output, as above, needs no widths";
}

TEST_F(SettingsDialog, AnExistingOutputFileIsQuestionedOnlyWhenTyped) {
  Open(2);
  ui->QueueFile(FileDialogResult{env.Root() + "/ALPHA.TXT", 1});
  Click("cmdBrowse");
  ASSERT_EQ(ui->FileDialogs().size(), 1u);
  const auto& shown = ui->FileDialogs()[0];
  EXPECT_EQ(shown.title + "|" + shown.fileName + "|" + std::to_string(shown.save),
            Lang(43) + "|" + env.Root() + "/alpha.txt|1");
  EXPECT_FALSE(form_->Dirty());
  EXPECT_EQ(W<QLineEdit>("txtAccountFile")->text().toStdString(), env.Root() + "/alpha.txt");

  const std::string existing = env.Root() + "/other.txt";
  WriteFile(existing, "x");
  ui->QueueFile(FileDialogResult{existing, 1});
  Click("cmdBrowse");
  EXPECT_TRUE(form_->Dirty());
  Click("cmdOK");
  EXPECT_TRUE(ui->Messages().empty());
  EXPECT_FALSE(form_->Dirty());

  // A typed one is, on every save until the configuration is shown again.
  const std::string typed = env.Root() + "/exists.txt";
  WriteFile(typed, "x");
  Type("txtAccountFile", typed);
  ClickAnswering("cmdOK", MessageAnswer::No);
  EXPECT_EQ(MessageIds(), std::vector<int>{37});
  const auto& question = ui->Messages()[0];
  EXPECT_EQ(std::make_tuple(question.buttons, question.icon, question.title),
            std::make_tuple(MessageButtons::YesNo, MessageIcon::Exclamation, std::string("Quorvex 6")));
  EXPECT_TRUE(form_->Dirty()) << "No ends the save";
  ClickAnswering("cmdOK", MessageAnswer::Yes);
  EXPECT_FALSE(form_->Dirty());
  Type("txtStripChars", "z");
  ClickAnswering("cmdOK", MessageAnswer::Yes);
  EXPECT_EQ(MessageIds(), (std::vector<int>{37, 37, 37}));
  Choose("cmbConfiguration", 2);
  Choose("cmbConfiguration", 1);
  Type("txtStripChars", "q");
  Click("cmdOK");
  EXPECT_EQ(ui->Messages().size(), 3u) << "shown again: the file is confirmed";
  EXPECT_NE(Stored("alpha.cfg").find(typed), std::string::npos);
}

// The action lists follow the export type; a field name in its exact case makes a field column.
TEST_F(SettingsDialog, GridCellsAndTheirLists) {
  Open(3);  // rows: Job ID, User, Pages (a totalling field)
  const std::string none = "0:" + Lang(100);
  EXPECT_EQ(CellList(3, 3), (std::vector<std::string>{none, "1:" + Lang(101), "2:" + Lang(103)}));
  ChooseInCell(1, 3, 2);
  EXPECT_EQ(RowText(1), "1|2|Job ID|" + Lang(103));
  Click("optExportType_1");
  EXPECT_EQ(RowText(1), "1|0|Job ID|" + Lang(100));
  EXPECT_EQ(CellList(3, 3), (std::vector<std::string>{none, "3:" + Lang(105)}));
  EXPECT_EQ(CellList(2, 3), (std::vector<std::string>{none, "1:" + Lang(102), "2:" + Lang(104)}));
  Click("cmdAddRow");
  EXPECT_EQ(CellList(4, 3), std::vector<std::string>{none}) << "a text column offers nothing else";

  // Grid cells open with one click, filter keys read as their kind, and moves keep the name in view.
  Open(3);
  const auto clickCell = [this](int row, int col) {
    ShowPage(1);
    const QRect cell = Grid().visualRect(Grid().model()->index(row - 1, col));
    QTest::mouseClick(Grid().viewport(), Qt::LeftButton, {}, cell.center());
    QCoreApplication::processEvents();
  };
  clickCell(2, 3);
  auto* list = qobject_cast<QComboBox*>(Grid().Editor());
  ASSERT_TRUE(list && list->view()->isVisible()) << "one click drops the action list down";
  Press(Qt::Key_Escape);
  Press(Qt::Key_Escape);

  Click("optOutputType_1");
  TypeInCell(1, 4, "1a2-");  // keys are filtered in the width and pad cells
  EXPECT_EQ(Grid().TextMatrix(1, 4), "12");
  TypeInCell(1, 6, "xyz");
  EXPECT_EQ(Grid().TextMatrix(1, 6), "x");
  EXPECT_EQ(Grid().item(0, 4)->textAlignment(), Qt::AlignRight | Qt::AlignVCenter);
  clickCell(2, 5);  // the middle of the cell, where its box is
  EXPECT_TRUE(Grid().CellChecked(2, 5));

  Grid().setCurrentCell(2, 6);  // the pad cell of row 3 scrolls the names away
  ASSERT_GT(Grid().horizontalScrollBar()->value(), 0);
  Click("cmdMoveUp");
  EXPECT_EQ(Grid().TextMatrix(2, 2), "Pages");
  EXPECT_EQ(Grid().horizontalScrollBar()->value(), 0) << "the moved row is shown with its name";

  Open(3);
  TypeInCell(1, 2, "Pages");
  TypeInCell(2, 2, "pages");
  ChooseInCell(3, 2, 1);
  const std::string rows = RowText(1, 3) + "," + RowText(2, 3) + "," + RowText(3, 3);
  EXPECT_EQ(rows, "23|0|Pages,-1|0|pages,2|0|User");
  EXPECT_TRUE(form_->Dirty());
  Click("cmdOK");
  Open(3);
  EXPECT_EQ(RowText(1, 3) + "," + RowText(2, 3) + "," + RowText(3, 3), rows) << "as stored";
}

// The row buttons follow the current row; Delete refuses the only entry and shows the first afterwards.
TEST_F(SettingsDialog, RowButtonsAndDelete) {
  SaveConfig("Gamma");
  Open(3);
  ShowPage(1);
  EXPECT_EQ(EnabledOf({"cmdRemoveRow", "cmdMoveUp", "cmdRemoveAll"}), "001");
  Grid().setCurrentCell(0, 2);
  EXPECT_EQ(EnabledOf({"cmdMoveDown", "cmdMoveUp"}), "10");
  Click("cmdMoveDown");
  EXPECT_EQ(Grid().Row(), 2);
  EXPECT_EQ(Grid().TextMatrix(1, 2) + "," + Grid().TextMatrix(2, 2), "User,Job ID");
  Grid().setCurrentCell(2, 2);
  EXPECT_EQ(EnabledOf({"cmdMoveDown"}), "0");
  Click("cmdRemoveRow");
  EXPECT_EQ(Grid().Rows(), 3);
  EXPECT_TRUE(form_->Dirty());
  // Removal reports the current cell once the rows are gone; row 2 is now the last.
  EXPECT_EQ(Grid().Row(), 2);
  EXPECT_EQ(EnabledOf({"cmdMoveDown", "cmdMoveUp"}), "01");
  ClickAnswering("cmdRemoveAll", MessageAnswer::Yes);
  EXPECT_EQ(Grid().Rows(), 1);
  EXPECT_EQ(EnabledOf({"cmdRemoveRow", "cmdRemoveAll", "cmdMoveUp", "cmdMoveDown", "cmdAddRow"}), "00001");
  Click("cmdRemoveAll");
  EXPECT_EQ(MessageIds(), std::vector<int>{36}) << "an empty grid is not asked about again";
  Click("cmdOK");
  EXPECT_EQ(MessageIds(), (std::vector<int>{36, 41})) << "nor saved";
  ui->ClearRecord();
  ClickAnswering("cmdDelete", MessageAnswer::Yes);
  EXPECT_EQ(MessageIds(), std::vector<int>{46});
  EXPECT_FALSE(FileExists(env.ConfigFolder() + "beta.cfg"));
  EXPECT_EQ(ShownName(), "<Default>");
  EXPECT_EQ(W<QComboBox>("cmbConfiguration")->count(), 3);
  Choose("cmbConfiguration", 2);
  EXPECT_EQ(ShownName(), "Gamma");
  EXPECT_EQ(form_->ShownConfig()->Name(), "Gamma") << "the other entries keep their objects";
  EXPECT_EQ(CloseAndEnd(), "<Default>");

  auto single = std::make_shared<ExportConfigs>();
  single->Add(LoadConfigs()->Item(1));
  Open(1, single);
  ui->ClearRecord();
  EXPECT_EQ(EnabledOf({"cmdDelete"}), "0");
  // The handler guards itself as well, whatever reaches it.
  emit W<QPushButton>("cmdDelete")->clicked();
  EXPECT_EQ(MessageIds(), std::vector<int>{45});
}

// Switching the configuration shown drops pending changes without a question.
// Closing with changes asks: Cancel, or Yes whose checks fail, keeps the
// dialog open; No drops the changes; Yes on the default asks for a new name.
TEST_F(SettingsDialog, SwitchingEscapeAndClosing) {
  Open(2);
  const std::string before = Stored("alpha.cfg");
  Type("txtDateFormat", "yyyy");
  Choose("cmbConfiguration", 1);
  EXPECT_EQ(W<QLineEdit>("txtDateFormat")->text().toStdString(), "yyyy") << "the entry shown is no other choice";
  EXPECT_TRUE(form_->Dirty());
  Choose("cmbConfiguration", 2);
  Choose("cmbConfiguration", 1);
  EXPECT_EQ(W<QLineEdit>("txtDateFormat")->text().toStdString(), "MMM dd, yyyy hh:mm:ss");
  EXPECT_FALSE(form_->Dirty());
  // Escape closes an open list first, and the dialog only when no list is open.
  // The configurations, the row delimiters on the first page, a cell's actions on the second.
  for (const char* list : {"cmbConfiguration", "cmbRowDelimiter", ""}) {
    ShowPage(0);
    QComboBox* combo = *list ? W<QComboBox>(list) : qobject_cast<QComboBox*>(StartEdit(1, 3));
    ASSERT_NE(combo, nullptr);
    combo->showPopup();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(combo->view()->window(), 5000));
    const std::string name = combo->objectName().toStdString();
    Press(Qt::Key_Escape);
    EXPECT_FALSE(combo->view()->isVisible()) << name;
    EXPECT_TRUE(form_->isVisible()) << name;
  }
  Press(Qt::Key_Escape);  // ends the cell's edit
  EXPECT_EQ(Grid().Editor(), nullptr);
  EXPECT_TRUE(form_->isVisible());
  Press(Qt::Key_Escape);
  EXPECT_TRUE(form_->IsUnloaded()) << "Escape with no list open closes the dialog";
  EXPECT_TRUE(ui->Messages().empty()) << "a clean dialog closes without a question";

  Open(2);
  Type("txtDecimalPlaces", "9");
  ui->QueueAnswer(MessageAnswer::Cancel);
  EXPECT_FALSE(form_->close());
  ui->QueueAnswer(MessageAnswer::Yes);  // the checks fail: stays open
  EXPECT_FALSE(form_->close());
  EXPECT_EQ(MessageIds(), (std::vector<int>{48, 48, 39}));
  ui->QueueAnswer(MessageAnswer::No);
  EXPECT_TRUE(form_->close());
  EXPECT_EQ(Stored("alpha.cfg"), before);

  Open(1);
  Type("txtStripChars", "#");
  ui->ClearRecord();
  ui->QueueAnswer(MessageAnswer::Yes);
  ui->QueueInput(std::string("Copy of default"));
  EXPECT_EQ(CloseAndEnd(), "Copy of default");
  EXPECT_EQ(MessageIds(), std::vector<int>{48});
  EXPECT_EQ(ui->Messages()[0].buttons, MessageButtons::YesNoCancel);
  EXPECT_TRUE(FileExists(env.ConfigFolder() + "copy of default.cfg"));
}

TEST_F(SettingsDialog, SaveAsRefusesReservedTakenAndPathNamesAndCarriesUnsavedEdits) {
  Open(2);
  const std::pair<std::optional<std::string>, std::vector<int>> cases[] = {
      {"<DEFAULT>", {33}}, {"bETA", {33}}, {"a/b", {32}}, {"a\\b", {32}}, {"", {}}, {std::nullopt, {}}};
  for (const auto& [answer, messages] : cases) {
    ui->ClearRecord();
    ui->QueueInput(answer);
    Click("cmdSaveAs");
    EXPECT_EQ(MessageIds(), messages) << answer.value_or("(cancelled)");
  }
  ASSERT_EQ(ui->Inputs().size(), 1u);
  EXPECT_EQ(ui->Inputs()[0].prompt + "|" + ui->Inputs()[0].title, Lang(30) + "|" + Lang(31));
  EXPECT_EQ(W<QComboBox>("cmbConfiguration")->count(), 3);
  EXPECT_FALSE(form_->ListChanged());

  const std::string source = Stored("alpha.cfg");
  Type("txtFieldDelim", ";");
  Click("chkColumnNames");
  Click("optExportType_1");
  ui->QueueInput(std::string("Alpha copy"));
  Click("cmdSaveAs");
  EXPECT_TRUE(ui->Messages().empty());
  EXPECT_EQ(ShownName(), "Alpha copy");
  EXPECT_EQ(EnabledOf({"cmdDelete", "cmdOK"}), "10");
  EXPECT_EQ(Stored("alpha.cfg"), source);
  ASSERT_EQ(configs_->Count(), 4);
  EXPECT_EQ(configs_->Item(4).get(), form_->ShownConfig().get());

  // The file is what the store writes for the object the dialog filled, byte for byte.
  const std::string written = Stored("alpha copy.cfg");
  const auto copy = form_->ShownConfig();
  copy->Save();
  EXPECT_EQ(Stored("alpha copy.cfg"), written);
  EXPECT_EQ(copy->FieldDelimiter() + std::to_string(copy->ColumnNames()) + std::to_string(copy->ExportType()) +
                std::to_string(copy->Columns()->Count()) + copy->OutputFile(),
            ";1" + std::to_string(ExportConfig::Summary) + "3" + env.Root() + "/alpha.txt");

  ui->QueueInput(std::nullopt);
  Click("cmdSaveAs");
  EXPECT_EQ(CloseAndEnd(), "Alpha copy") << "a later cancelled Save As keeps the change";
}

// With the machine's own choice of face and with a face set for the product
// that is not the one the window was first laid out with.
TEST_F(SettingsDialog, TheWindowKeepsItsClientSizeAndTheGridFitsWhateverTheFont) {
  SaveConfig("Weekly");
  for (const bool shipped : {false, true}) {
    if (shipped) {
      ASSERT_EQ(PutText(platform::HKEY_CURRENT_USER, "Software\\Quorvex 6\\Font", "FontName",
                        ShippedFamily().toStdString()), 0);
      ASSERT_EQ(PutText(platform::HKEY_CURRENT_USER, "Software\\Quorvex 6\\Font", "FontSize", "11"), 0);
    }
    Open(2);
    const QString family = QFontInfo(W<QWidget>("cmdOK")->font()).family();
    EXPECT_TRUE(!shipped || family == ShippedFamily()) << family.toStdString();
    const QSize recorded = form_->RecordedClientSize();
    EXPECT_EQ(form_->size(), recorded) << "as loaded, shipped face " << shipped;
    EXPECT_EQ(recorded.expandedTo(form_->minimumSizeHint()), recorded) << "at least the minimum size";
    form_->resize(recorded.width() + 120, recorded.height() - 40);
    QCoreApplication::processEvents();
    EXPECT_EQ(form_->size(), recorded);
    // The name and action columns fill the grid when its page is first shown:
    // each is half of the grid's width less 400 twips, the grid as it is shown.
    ShowPage(1);
    EXPECT_LE(Grid().columnWidth(2) + Grid().columnWidth(3), Grid().viewport()->width());
    EXPECT_EQ(Grid().horizontalScrollBar()->maximum(), 0);
    EXPECT_NEAR(Grid().ColWidth(2) + Grid().ColWidth(3), Grid().WidthTwips() - 400, 30) << "shipped face " << shipped;
    // The size is laid out for both pages: showing the other page and a
    // fixed-width configuration's extra columns leaves it as it was.
    ShowPage(0);
    EXPECT_EQ(form_->size(), recorded) << "page 0";
    Click("optOutputType_1");
    ShowPage(1);
    EXPECT_EQ(form_->size(), recorded);
  }
}

// On the face shipped beside the tests, whatever the machine has installed.
TEST(QtFonts, AnInstalledFaceIsRealizedAndReachesTheGrid) {
  TestApplication();
  ASSERT_FALSE(ShippedFamily().isEmpty());
  const dialog::QtFontCatalog catalog;
  const modFonts::UIFont font{ShippedFamily().toStdString(), 13, modFonts::ANSI_CHARSET};
  EXPECT_EQ(catalog.Realize(font).name, font.name);
  EXPECT_NE(catalog.Realize({"No Such Face 1234", 8, modFonts::ANSI_CHARSET}).name, "No Such Face 1234");
  QWidget form;
  auto* grid = new dialog::ColumnsGrid(&form);
  grid->setObjectName("grdColumns");
  dialog::ApplyDialogFont(form, &font);
  EXPECT_EQ(grid->font().family() + " " + QString::number(grid->font().pointSize()), ShippedFamily() + " 13");
  EXPECT_EQ(dialog::WidgetCharSet(*grid), modFonts::ANSI_CHARSET);
  dialog::ApplyDialogFont(form, nullptr);  // none: nothing changes
  EXPECT_EQ(grid->font().pointSize(), 13);
}

const std::string StagedHelpFile = QX6_PRODUCT_DIR "/help/qx6jbman.chm";

class HelpWindowTest : public ::testing::Test {
 protected:
  HelpWindowTest() { TestApplication(); }

  HelpWindow& Window() {
    HelpWindow* window = HelpWindow::Current();
    if (!window) throw std::runtime_error("no help window");
    return *window;
  }
  QString Text() { return Window().Browser()->toPlainText(); }

  dialog::QtUserInteraction qt;
};

// Missing files and topics are shown in the one window; the dialog's topic
// follows, and the window moves by links, contents and history.
TEST_F(HelpWindowTest, MissingFilesAndTopicsThenTheDialogTopicLinksContentsAndHistory) {
  EXPECT_FALSE(qt.ShowHelp("/nonexistent/help/qx6jbman.chm", 11));
  HelpWindow* first = &Window();
  EXPECT_TRUE(first->isVisible());
  EXPECT_EQ(first->ShownPage(), "");
  EXPECT_TRUE(Text().contains("Help file not found"));
  EXPECT_TRUE(Text().contains("/nonexistent/help/qx6jbman.chm does not exist"));
  EXPECT_EQ(first->ContentsList()->topLevelItemCount(), 0);

  EXPECT_FALSE(qt.ShowHelp("", 11));
  EXPECT_TRUE(Text().contains("No help file is set"));

  EXPECT_FALSE(qt.ShowHelp(StagedHelpFile, 4242));
  EXPECT_EQ(&Window(), first);
  EXPECT_TRUE(Text().contains("has no topic 4242"));

  // The file that is there still opens in the same window afterwards.
  ASSERT_TRUE(qt.ShowHelp(StagedHelpFile, 11));
  HelpWindow& window = Window();
  EXPECT_EQ(&window, first);
  dialog::HelpBrowser* browser = window.Browser();
  EXPECT_EQ(window.ShownPage(), "/settings.html");
  EXPECT_TRUE(Text().startsWith("The settings dialog") && Text().contains("Save As..."));
  EXPECT_TRUE(window.windowTitle().startsWith("The settings dialog"));
  // The style sheet the page links to comes out of the help file.
  const QVariant css = browser->loadResource(QTextDocument::StyleSheetResource, QUrl("qx6help.css"));
  EXPECT_TRUE(css.toString().contains("font-family"));
  EXPECT_FALSE(browser->loadResource(QTextDocument::ImageResource, QUrl("missing.png")).isValid());
  EXPECT_EQ(window.ContentsList()->topLevelItemCount(), 3);
  ASSERT_NE(window.ContentsList()->currentItem(), nullptr);
  EXPECT_EQ(window.ContentsList()->currentItem()->text(0), "The settings dialog");

  emit browser->anchorClicked(QUrl("format.html"));
  EXPECT_EQ(window.ShownPage(), "/format.html");
  EXPECT_TRUE(Text().contains("Field delimiter:"));
  EXPECT_EQ(window.ContentsList()->currentItem()->text(0), "Format options");

  emit browser->anchorClicked(QUrl("columns.html#summary"));
  EXPECT_EQ(window.ShownPage(), "/columns.html");
  browser->backward();
  EXPECT_EQ(window.ShownPage(), "/format.html");
  browser->backward();
  EXPECT_EQ(window.ShownPage(), "/settings.html");

  QTreeWidgetItem* scheduling =
      window.ContentsList()->findItems("Scheduled exports", Qt::MatchExactly | Qt::MatchRecursive).value(0);
  ASSERT_NE(scheduling, nullptr);
  emit window.ContentsList()->itemClicked(scheduling, 0);
  EXPECT_EQ(window.ShownPage(), "/scheduling.html");
  EXPECT_TRUE(Text().contains("crontab -e"));

  // A link to a page the file lacks says so instead of showing a blank page.
  emit browser->anchorClicked(QUrl("nowhere.html"));
  EXPECT_EQ(window.ShownPage(), "");
  EXPECT_TRUE(Text().contains("nowhere.html"));
}

TEST_F(HelpWindowTest, WindowBelongsToTheModalDialogThatAsks) {
  auto dialog = std::make_unique<QDialog>();
  dialog->setModal(true);
  dialog->show();
  QApplication::processEvents();
  ASSERT_EQ(QApplication::activeModalWidget(), dialog.get());

  ASSERT_TRUE(qt.ShowHelp(StagedHelpFile, 11));
  QPointer<HelpWindow> window = &Window();
  EXPECT_EQ(window->parentWidget(), dialog.get());
  EXPECT_TRUE(window->isWindow());

  // Asking again from the help window itself keeps it where it is.
  EXPECT_EQ(&HelpWindow::Instance(window), window.data());
  EXPECT_EQ(window->parentWidget(), dialog.get());

  dialog.reset();
  EXPECT_TRUE(window.isNull());
  EXPECT_TRUE(qt.ShowHelp(StagedHelpFile, 11));
  EXPECT_EQ(Window().ShownPage(), "/settings.html");
}

}  // namespace
}  // namespace qx6::test
