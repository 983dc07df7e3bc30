// The settings dialog: the one window of the component, in which the user
// chooses, edits, saves, copies and deletes export configurations. It works
// on the caller's own configuration objects and tells the caller whether
// the set of configurations changed. Every control carries its name as its
// objectName (members of a control array as name_0, name_1, ...).
#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "config/ExportConfig.h"
#include "ui/modFonts.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabBar;
class QToolButton;

namespace qx6::dialog {

class ColumnsGrid;

class frmExportSettings : public QWidget {
 public:
  explicit frmExportSettings(QWidget* parent = nullptr);
  ~frmExportSettings() override;

  // Shows the dialog modally on `pcolConfigs` with configuration
  // `plngConfigId` (1-based; anything else shows the first) and returns
  // when it has closed: True when configurations were created, deleted or
  // saved while closing. `pstrConfigName` receives the name of the last
  // configuration saved, created, or shown after a Delete.
  bool ShowSettings(std::shared_ptr<ExportConfigs> pcolConfigs, int32_t plngConfigId, std::string& pstrConfigName);

  // The two halves of ShowSettings around its modal wait, for a caller that
  // runs the event loop itself (the tests): loads and fills the dialog, then
  // after it has closed hands back the results.
  void BeginSettings(std::shared_ptr<ExportConfigs> pcolConfigs, int32_t plngConfigId);
  bool EndSettings(std::string& pstrConfigName);
  // True once the dialog has been unloaded.
  bool IsUnloaded() const { return unloaded_; }

  // State, read by the tests.
  bool Dirty() const { return mblnDirty; }
  bool FileConfirmed() const { return mblnFileConfirmed; }
  bool ListChanged() const { return mblnListChanged; }
  int32_t ExportTypeShown() const { return mlngExportType; }
  const std::string& FieldList() const { return mstrFieldList; }
  const ExportConfigPtr& ShownConfig() const { return mobjConfig; }
  QSize RecordedClientSize() const { return QSize(mintClientWidth, mintClientHeight); }
  const modFonts::UIFont* DialogFont() const { return mfntDialog.get(); }

  // The action text of a code under an export type, and the grid list of
  // the actions a row with host column `field` offers.
  static std::string ActionName(int32_t exportType, int32_t code);
  static std::string BuildActionList(int32_t exportType, int16_t field);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls();
  void ConnectHandlers();
  void Form_Load();
  void Form_Resize();
  void RecordClientSize();
  void Form_Unload();
  void ApplyCaptions();
  void LoadDialogFont();
  void FillLists(int32_t plngConfigId);
  void SetConfigurationIndex(int32_t index);
  void SetRowDelimiterIndex(int32_t index);
  void cmbConfiguration_Click();
  void LoadConfiguration(int32_t k);
  void MarkDirty();
  void tabOptions_Click();
  void cmdHelp_Click();

  // Format page.
  void optOutputType_Click(int32_t index);
  void cmbRowDelimiter_Click();
  void txtAccountFile_Change();
  void cmdCheckDate_Click();
  void cmdBrowse_Click();

  // Columns page.
  void ResetGrid();
  void AddColumnRow(const ExportColumn& column);
  void UpdateColumnButtons();
  void grdColumns_BeforeEdit(int32_t row, int32_t col, bool& cancel);
  void grdColumns_KeyPressEdit(int32_t row, int32_t col, int32_t& keyAscii);
  void grdColumns_AfterEdit(int32_t row, int32_t col);
  void cmdAddRow_Click();
  void cmdRemoveRow_Click();
  void cmdRemoveAll_Click();
  void cmdMoveUp_Click();
  void cmdMoveDown_Click();
  void optExportType_Click(int32_t index);

  // Saving, copying and deleting.
  bool ValidateSettings();
  void StoreConfiguration();
  std::shared_ptr<ExportColumns> StoreGrid() const;
  bool SaveConfiguration();
  bool SaveConfigurationAs();
  void cmdOK_Click();
  void cmdSaveAs_Click();
  void cmdDelete_Click();
  void cmdCancel_Click();
  bool Form_QueryUnload();
  // Runs a step that may raise, reporting an error instead of ending the host.
  template <typename Step>
  bool Guarded(Step step);

  // Dialog state.
  std::shared_ptr<ExportConfigs> mcolConfigs;
  ExportConfigPtr mobjConfig;
  bool mblnDirty = false;
  bool mblnListChanged = false;
  std::string mstrConfigName;
  std::string mstrFieldList;
  int32_t mlngExportType = 0;
  bool mblnFileConfirmed = false;
  std::unique_ptr<modFonts::UIFont> mfntDialog;
  int32_t mintClientWidth = 0, mintClientHeight = 0;
  bool resizing_ = false;
  bool unloaded_ = false;
  bool loaded_ = false;

  // Controls.
  QLabel* lblCaption[9] = {};
  QComboBox* cmbConfiguration = nullptr;
  QPushButton *cmdOK = nullptr, *cmdSaveAs = nullptr, *cmdDelete = nullptr, *cmdCancel = nullptr,
              *cmdHelp = nullptr;
  QWidget* fraConfig = nullptr;
  QTabBar* tabOptions = nullptr;
  QWidget* picTab[3] = {};  // pages 1 and 2
  QWidget* picOptGroup = nullptr;
  QRadioButton* optCreate[3] = {};
  QLineEdit* txtAccountFile = nullptr;
  QToolButton* cmdBrowse = nullptr;
  QRadioButton* optOutputType[2] = {};
  QGroupBox* fraDelimiter = nullptr;
  QLineEdit* txtFieldDelim = nullptr;
  QCheckBox* chkUseQuotes = nullptr;
  QCheckBox* chkColumnNames = nullptr;
  QCheckBox* chkDelimitRow[2] = {};
  QCheckBox* chkAutoStrip = nullptr;
  QComboBox* cmbRowDelimiter = nullptr;
  QLineEdit* txtRowDelimCustom = nullptr;
  QLineEdit* txtStripChars = nullptr;
  QLineEdit* txtDateFormat = nullptr;
  QToolButton* cmdCheckDate = nullptr;
  QLineEdit* txtDecimalPlaces = nullptr;
  ColumnsGrid* grdColumns = nullptr;
  QToolButton *cmdAddRow = nullptr, *cmdRemoveRow = nullptr, *cmdRemoveAll = nullptr, *cmdMoveUp = nullptr,
              *cmdMoveDown = nullptr;
  QRadioButton* optExportType[2] = {};
  QButtonGroup *grpCreate = nullptr, *grpOutputType = nullptr, *grpExportType = nullptr;
  std::function<void()> closed_;
};

}  // namespace qx6::dialog
