#include "dialog/frmExportSettings.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QKeyEvent>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

#include "dialog/ColumnsGrid.h"
#include "dialog/DialogIcons.h"
#include "dialog/QtFonts.h"
#include "hostapi/JobColumns.h"
#include "platform/UserInteraction.h"
#include "runtime/Conversion.h"
#include "runtime/DateTime.h"
#include "runtime/Format.h"
#include "runtime/RuntimeError.h"
#include "runtime/Strings.h"
#include "system/modShellFunctions.h"
#include "ui/clsCommonDialog.h"
#include "ui/clsQX6Branding.h"
#include "ui/modCaptionTable.h"
#include "ui/modFonts.h"
#include "ui/modHelp.h"
#include "ui/modLanguage.h"

namespace qx6::dialog {
namespace {

using namespace Strings;
using platform::MessageAnswer;
using platform::MessageButtons;
using platform::MessageIcon;

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string S(const QString& s) { return s.toStdString(); }
std::string Lang(int32_t id) { return modLanguage::GetLangString(id); }

MessageAnswer Message(int32_t id, MessageButtons buttons, MessageIcon icon = MessageIcon::Exclamation) {
  return platform::CurrentUserInteraction().MessageBox(Lang(id), buttons, icon, SharedBranding().ProductName());
}

// Host column numbers whose values are totalled in a summary.
bool IsTotallingField(int16_t field) {
  switch (field) {
    case 23: case 24: case 25: case 26: case 28: case 29: case 30: case 34: case 35: return true;
    default: return false;
  }
}

// Grid columns.
constexpr int32_t ColIndex = 0, ColAction = 1, ColName = 2, ColActionText = 3, ColWidth = 4, ColRight = 5,
                  ColPad = 6;

template <typename Widget>
Widget* Named(Widget* widget, const char* name, int index = -1) {
  widget->setObjectName(index < 0 ? QString(name) : QString("%1_%2").arg(name).arg(index));
  return widget;
}

}  // namespace

frmExportSettings::frmExportSettings(QWidget* parent) : QWidget(parent, Qt::Dialog) {
  setObjectName("frmExportSettings");
  setWindowTitle("*Quorvex Flat File Configurations");
  setAttribute(Qt::WA_DeleteOnClose, false);
  BuildControls();
  ConnectHandlers();
}

frmExportSettings::~frmExportSettings() = default;

// ---------------------------------------------------------------------------
// Controls and layout

void frmExportSettings::BuildControls() {
  auto label = [this](int index, const char* caption) {
    lblCaption[index] = Named(new QLabel(caption), "lblCaption", index);
    return lblCaption[index];
  };
  auto picture = [](const char* name, const QIcon& icon) {
    auto* button = Named(new QToolButton, name);
    button->setIcon(icon);
    button->setAutoRaise(false);
    button->setIconSize(QSize(16, 16));
    return button;
  };

  // Configuration row.
  label(0, "*Configuration:");
  cmbConfiguration = Named(new QComboBox, "cmbConfiguration");
  cmbConfiguration->setEditable(false);
  // The lists' widths do not follow their entries, which come after the
  // window's size is recorded; an open list shows the entries whole.
  cmbConfiguration->setMinimumContentsLength(28);
  cmbConfiguration->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  lblCaption[0]->setBuddy(cmbConfiguration);

  cmdOK = Named(new QPushButton("*&Save"), "cmdOK");
  cmdSaveAs = Named(new QPushButton("*Sa&ve As..."), "cmdSaveAs");
  cmdDelete = Named(new QPushButton("*D&elete"), "cmdDelete");
  cmdCancel = Named(new QPushButton("*Close"), "cmdCancel");
  cmdHelp = Named(new QPushButton("*&Help"), "cmdHelp");
  for (QPushButton* b : {cmdOK, cmdSaveAs, cmdDelete, cmdCancel, cmdHelp}) b->setAutoDefault(false);

  // The frame with the tab area and the file options.
  fraConfig = Named(new QGroupBox, "fraConfig");
  tabOptions = Named(new QTabBar, "tabOptions");
  tabOptions->setDrawBase(true);
  tabOptions->setExpanding(false);
  tabOptions->addTab(DialogIcons::FormatOptions(), "*Format Options");
  tabOptions->addTab(DialogIcons::Columns(), "*Columns");
  Named(new QWidget, "imlTabs")->setParent(this);  // the tabs' images live in DialogIcons

  // Page 1: format options.
  picTab[1] = Named(new QWidget, "picTab", 1);
  optOutputType[0] = Named(new QRadioButton("*Delimited output"), "optOutputType", 0);
  optOutputType[1] = Named(new QRadioButton("*Fixed width output"), "optOutputType", 1);
  grpOutputType = new QButtonGroup(this);
  grpOutputType->addButton(optOutputType[0], 0);
  grpOutputType->addButton(optOutputType[1], 1);
  optOutputType[0]->setChecked(true);

  fraDelimiter = Named(new QGroupBox("*Delimited Options"), "fraDelimiter");
  label(3, "*Field delimiter:");
  txtFieldDelim = Named(new QLineEdit, "txtFieldDelim");
  txtFieldDelim->setMaximumWidth(90);
  lblCaption[3]->setBuddy(txtFieldDelim);
  chkUseQuotes = Named(new QCheckBox("*Enclose strings in quotes"), "chkUseQuotes");
  chkColumnNames = Named(new QCheckBox("*Output column name row"), "chkColumnNames");
  chkDelimitRow[1] = Named(new QCheckBox("*Add on row start"), "chkDelimitRow", 1);
  chkDelimitRow[0] = Named(new QCheckBox("*Add on row end"), "chkDelimitRow", 0);
  chkAutoStrip = Named(new QCheckBox("*Automatically strip duplicate delimiters"), "chkAutoStrip");
  {
    auto* grid = new QGridLayout(fraDelimiter);
    auto* delimiterRow = new QHBoxLayout;
    delimiterRow->addWidget(lblCaption[3]);
    delimiterRow->addWidget(txtFieldDelim);
    delimiterRow->addStretch(1);
    grid->addLayout(delimiterRow, 0, 0, 1, 2);
    grid->addWidget(chkUseQuotes, 1, 0);
    grid->addWidget(chkColumnNames, 1, 1);
    grid->addWidget(chkDelimitRow[1], 2, 0);
    grid->addWidget(chkDelimitRow[0], 2, 1);
    grid->addWidget(chkAutoStrip, 3, 0, 1, 2);
  }

  label(2, "*Row delimiter type:");
  cmbRowDelimiter = Named(new QComboBox, "cmbRowDelimiter");
  cmbRowDelimiter->setEditable(false);
  cmbRowDelimiter->setMinimumContentsLength(12);
  cmbRowDelimiter->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  lblCaption[2]->setBuddy(cmbRowDelimiter);
  txtRowDelimCustom = Named(new QLineEdit, "txtRowDelimCustom");
  txtRowDelimCustom->setVisible(false);
  label(1, "*Strip characters:");
  txtStripChars = Named(new QLineEdit, "txtStripChars");
  lblCaption[1]->setBuddy(txtStripChars);
  label(6, "*Date format:");
  txtDateFormat = Named(new QLineEdit, "txtDateFormat");
  lblCaption[6]->setBuddy(txtDateFormat);
  cmdCheckDate = picture("cmdCheckDate", DialogIcons::CheckDate());
  label(7, "*Decimal places:");
  txtDecimalPlaces = Named(new QLineEdit, "txtDecimalPlaces");
  txtDecimalPlaces->setMaximumWidth(60);
  lblCaption[7]->setBuddy(txtDecimalPlaces);
  {
    auto* page = new QVBoxLayout(picTab[1]);
    auto* types = new QHBoxLayout;
    types->addWidget(optOutputType[0]);
    types->addSpacing(16);
    types->addWidget(optOutputType[1]);
    types->addStretch(1);
    page->addLayout(types);
    page->addWidget(fraDelimiter);
    auto* form = new QGridLayout;
    form->setColumnStretch(1, 1);
    form->addWidget(lblCaption[2], 0, 0);
    auto* rowDelimiter = new QHBoxLayout;
    rowDelimiter->addWidget(cmbRowDelimiter);
    rowDelimiter->addWidget(txtRowDelimCustom, 1);
    rowDelimiter->addStretch(0);
    form->addLayout(rowDelimiter, 0, 1);
    form->addWidget(lblCaption[1], 1, 0);
    form->addWidget(txtStripChars, 1, 1);
    form->addWidget(lblCaption[6], 2, 0);
    auto* date = new QHBoxLayout;
    date->addWidget(txtDateFormat, 1);
    date->addWidget(cmdCheckDate);
    form->addLayout(date, 2, 1);
    form->addWidget(lblCaption[7], 3, 0);
    auto* decimals = new QHBoxLayout;
    decimals->addWidget(txtDecimalPlaces);
    decimals->addStretch(1);
    form->addLayout(decimals, 3, 1);
    page->addLayout(form);
    page->addStretch(1);
  }

  // Page 2: columns and export type.
  picTab[2] = Named(new QWidget, "picTab", 2);
  grdColumns = Named(new ColumnsGrid, "grdColumns");
  grdColumns->setMinimumSize(420, 220);
  grdColumns->resize(460, 240);
  cmdAddRow = picture("cmdAddRow", DialogIcons::AddRow());
  cmdRemoveRow = picture("cmdRemoveRow", DialogIcons::RemoveRow());
  cmdRemoveAll = picture("cmdRemoveAll", DialogIcons::RemoveAll());
  cmdMoveUp = picture("cmdMoveUp", DialogIcons::MoveUp());
  cmdMoveDown = picture("cmdMoveDown", DialogIcons::MoveDown());
  cmdAddRow->setToolTip("Add column");
  cmdRemoveRow->setToolTip("Remove column");
  cmdRemoveAll->setToolTip("Remove all columns");
  cmdMoveUp->setToolTip("Move column up");
  cmdMoveDown->setToolTip("Move column down");
  label(8, "*Export type:");
  optExportType[0] = Named(new QRadioButton("*Details"), "optExportType", 0);
  optExportType[1] = Named(new QRadioButton("*Summary"), "optExportType", 1);
  grpExportType = new QButtonGroup(this);
  grpExportType->addButton(optExportType[0], 0);
  grpExportType->addButton(optExportType[1], 1);
  optExportType[0]->setChecked(true);
  {
    auto* page = new QGridLayout(picTab[2]);
    page->addWidget(grdColumns, 0, 0);
    auto* buttons = new QVBoxLayout;
    for (QToolButton* b : {cmdAddRow, cmdRemoveRow, cmdRemoveAll}) buttons->addWidget(b);
    buttons->addSpacing(12);
    buttons->addWidget(cmdMoveUp);
    buttons->addWidget(cmdMoveDown);
    buttons->addStretch(1);
    page->addLayout(buttons, 0, 1);
    auto* types = new QHBoxLayout;
    types->addWidget(lblCaption[8]);
    types->addWidget(optExportType[0]);
    types->addSpacing(16);
    types->addWidget(optExportType[1]);
    types->addStretch(1);
    page->addLayout(types, 1, 0, 1, 2);
  }
  picTab[2]->setVisible(false);

  // File options.
  label(4, "*File options:");
  picOptGroup = Named(new QWidget, "picOptGroup");
  optCreate[0] = Named(new QRadioButton("*Overwrite"), "optCreate", 0);
  optCreate[1] = Named(new QRadioButton("*Append"), "optCreate", 1);
  optCreate[2] = Named(new QRadioButton("*Create with date/time"), "optCreate", 2);
  grpCreate = new QButtonGroup(this);
  for (int i = 0; i < 3; ++i) grpCreate->addButton(optCreate[i], i);
  optCreate[0]->setChecked(true);
  {
    auto* options = new QHBoxLayout(picOptGroup);
    options->setContentsMargins(0, 0, 0, 0);
    for (QRadioButton* o : optCreate) {
      options->addWidget(o);
      options->addSpacing(12);
    }
    options->addStretch(1);
  }
  label(5, "*Output file:");
  txtAccountFile = Named(new QLineEdit, "txtAccountFile");
  txtAccountFile->setMinimumWidth(320);
  lblCaption[5]->setBuddy(txtAccountFile);
  cmdBrowse = picture("cmdBrowse", DialogIcons::Browse());

  {
    auto* frame = new QVBoxLayout(fraConfig);
    frame->addWidget(tabOptions);
    // Both pages share one cell and keep their size while hidden, so the
    // window is laid out for the larger of them and no tab resizes it.
    auto* pages = new QGridLayout;
    pages->setContentsMargins(0, 0, 0, 0);
    for (int page : {1, 2}) {
      QSizePolicy policy = picTab[page]->sizePolicy();
      policy.setRetainSizeWhenHidden(true);
      picTab[page]->setSizePolicy(policy);
      pages->addWidget(picTab[page], 0, 0);
    }
    frame->addLayout(pages, 1);
    auto* files = new QGridLayout;
    files->setColumnStretch(1, 1);
    files->addWidget(lblCaption[4], 0, 0);
    files->addWidget(picOptGroup, 0, 1, 1, 2);
    files->addWidget(lblCaption[5], 1, 0);
    files->addWidget(txtAccountFile, 1, 1);
    files->addWidget(cmdBrowse, 1, 2);
    frame->addLayout(files);
  }

  auto* top = new QHBoxLayout;
  top->addWidget(lblCaption[0]);
  top->addWidget(cmbConfiguration, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cmdHelp);
  buttons->addStretch(1);
  for (QPushButton* b : {cmdOK, cmdSaveAs, cmdDelete, cmdCancel}) buttons->addWidget(b);
  auto* main = new QVBoxLayout(this);
  main->addLayout(top);
  main->addWidget(fraConfig, 1);
  main->addLayout(buttons);

}

void frmExportSettings::ConnectHandlers() {
  // A list's click is a change of its selection: choosing the entry already
  // shown is no click, so it neither reloads a configuration nor marks dirty.
  connect(cmbConfiguration, &QComboBox::currentIndexChanged, this, [this] { cmbConfiguration_Click(); });
  connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
  connect(cmdSaveAs, &QPushButton::clicked, this, [this] { cmdSaveAs_Click(); });
  connect(cmdDelete, &QPushButton::clicked, this, [this] { cmdDelete_Click(); });
  connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
  connect(cmdHelp, &QPushButton::clicked, this, [this] { cmdHelp_Click(); });
  connect(tabOptions, &QTabBar::currentChanged, this, [this] { tabOptions_Click(); });

  // Option buttons raise their click when they become selected, also by
  // the dialog's own assignments; an option already selected raises none.
  for (int i = 0; i < 2; ++i) {
    connect(optOutputType[i], &QRadioButton::toggled, this, [this, i](bool on) {
      if (on) optOutputType_Click(i);
    });
    connect(optExportType[i], &QRadioButton::toggled, this, [this, i](bool on) {
      if (on) optExportType_Click(i);
    });
  }
  for (QRadioButton* option : optCreate)
    connect(option, &QRadioButton::toggled, this, [this](bool on) {
      if (on) MarkDirty();
    });
  for (QCheckBox* box : {chkUseQuotes, chkColumnNames, chkDelimitRow[0], chkDelimitRow[1], chkAutoStrip})
    connect(box, &QCheckBox::toggled, this, [this] { MarkDirty(); });
  for (QLineEdit* box : {txtFieldDelim, txtRowDelimCustom, txtStripChars, txtDateFormat, txtDecimalPlaces})
    connect(box, &QLineEdit::textChanged, this, [this] { MarkDirty(); });
  connect(txtAccountFile, &QLineEdit::textChanged, this, [this] { txtAccountFile_Change(); });
  connect(cmbRowDelimiter, &QComboBox::currentIndexChanged, this, [this] { cmbRowDelimiter_Click(); });
  connect(cmdCheckDate, &QToolButton::clicked, this, [this] { cmdCheckDate_Click(); });
  connect(cmdBrowse, &QToolButton::clicked, this, [this] { cmdBrowse_Click(); });
  // Entering the output file or the date format selects the whole text.
  for (QLineEdit* box : {txtAccountFile, txtDateFormat}) box->installEventFilter(this);

  grdColumns->BeforeEdit = [this](int32_t r, int32_t c, bool& cancel) { grdColumns_BeforeEdit(r, c, cancel); };
  grdColumns->KeyPressEdit = [this](int32_t r, int32_t c, int32_t& key) { grdColumns_KeyPressEdit(r, c, key); };
  grdColumns->AfterEdit = [this](int32_t r, int32_t c) { grdColumns_AfterEdit(r, c); };
  grdColumns->RowColChange = [this] { UpdateColumnButtons(); };
  grdColumns->ComboCloseUp = [](int32_t, int32_t, bool& finishEdit) { finishEdit = true; };
  connect(cmdAddRow, &QToolButton::clicked, this, [this] { cmdAddRow_Click(); });
  connect(cmdRemoveRow, &QToolButton::clicked, this, [this] { cmdRemoveRow_Click(); });
  connect(cmdRemoveAll, &QToolButton::clicked, this, [this] { cmdRemoveAll_Click(); });
  connect(cmdMoveUp, &QToolButton::clicked, this, [this] { cmdMoveUp_Click(); });
  connect(cmdMoveDown, &QToolButton::clicked, this, [this] { cmdMoveDown_Click(); });
}

// Escape closes the dialog as Close does, but only when no control took the
// key first: an open list closes itself and a cell's edit ends with it. A
// window shortcut would fire once the list had closed on the same key.
void frmExportSettings::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    cmdCancel->click();
    return;
  }
  QWidget::keyPressEvent(event);
}

bool frmExportSettings::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn) {
    if (auto* box = qobject_cast<QLineEdit*>(watched)) {
      // After the focus change has settled, so a mouse press does not undo it.
      QTimer::singleShot(0, box, [box] { box->setSelection(0, static_cast<int>(box->text().size())); });
    }
  }
  return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// Entry, load, lists

bool frmExportSettings::ShowSettings(std::shared_ptr<ExportConfigs> pcolConfigs, int32_t plngConfigId,
                                     std::string& pstrConfigName) {
  BeginSettings(std::move(pcolConfigs), plngConfigId);
  QEventLoop loop;
  closed_ = [&loop] { loop.quit(); };
  setWindowModality(Qt::ApplicationModal);
  show();
  raise();
  activateWindow();
  if (!unloaded_) loop.exec();
  closed_ = nullptr;
  return EndSettings(pstrConfigName);
}

void frmExportSettings::BeginSettings(std::shared_ptr<ExportConfigs> pcolConfigs, int32_t plngConfigId) {
  platform::CurrentUserInteraction().SetPointer(platform::MousePointer::Default);
  Form_Load();
  mcolConfigs = std::move(pcolConfigs);
  if (!mcolConfigs) mcolConfigs = std::make_shared<ExportConfigs>();
  LoadDialogFont();
  ApplyDialogFont(*this, mfntDialog.get());
  // A Qt window is laid out from its font, where a form of the original kept
  // its design size whatever the font: the size kept is the one the dialog
  // has once loaded with its font, and the grid's columns, sized when the
  // first configuration is shown, follow the grid laid out in that font.
  if (mfntDialog) RecordClientSize();
  FillLists(plngConfigId);
}

bool frmExportSettings::EndSettings(std::string& pstrConfigName) {
  pstrConfigName = mstrConfigName;
  mcolConfigs.reset();
  return mblnListChanged;
}

void frmExportSettings::Form_Load() {
  ApplyCaptions();
  RecordClientSize();
  mlngExportType = 0;
  ApplyDialogFont(*this, mfntDialog.get());
  modHelp::SetComponentHelpFile(modHelp::GetHelpFilePath("qx6jbman.chm"));
  setWindowTitle(Q(modLanguage::GetLangString(47, {Variant::String(SharedBranding().ProductName())})));
  loaded_ = true;
}

// The design size of the window is the size its layout asks for in the
// window's present fonts; it is never less than the layout needs.
void frmExportSettings::RecordClientSize() {
  // Every layout from the window down, the hidden columns page too, as the
  // grid's column widths follow the grid's width; a font change leaves the
  // inner layouts' sizes stale until the next pass of the event loop.
  QList<QWidget*> containers = findChildren<QWidget*>();
  containers.prepend(this);
  containers.removeIf([](QWidget* container) { return !container->layout(); });
  // Sizes are asked for from the inside out, geometry is handed out from the window in.
  for (QWidget* container : containers) container->layout()->invalidate();
  for (auto it = containers.rbegin(); it != containers.rend(); ++it) (*it)->layout()->activate();
  adjustSize();
  // A window not shown yet hands its children their sizes only when shown.
  for (QWidget* container : containers) {
    container->layout()->invalidate();
    container->layout()->activate();
  }
  mintClientWidth = width();
  mintClientHeight = height();
}

void frmExportSettings::ApplyCaptions() {
  modCaptionTable::ApplyCaptions([this](const modCaptionTable::CaptionEntry& entry, const std::string& text) {
    const QString value = Q(text);
    if (entry.control == "tabOptions") {
      tabOptions->setTabText(entry.index - 1, value);
      return;
    }
    const QString name =
        entry.index < 0 ? Q(entry.control) : QString("%1_%2").arg(Q(entry.control)).arg(entry.index);
    QWidget* control = findChild<QWidget*>(name);
    if (!control) return;
    if (entry.property == modCaptionTable::CaptionProperty::ToolTip) control->setToolTip(value);
    else if (auto* button = qobject_cast<QAbstractButton*>(control)) button->setText(value);
    else if (auto* text = qobject_cast<QLabel*>(control)) text->setText(value);
    else if (auto* frame = qobject_cast<QGroupBox*>(control)) frame->setTitle(value);
  });
}

void frmExportSettings::LoadDialogFont() {
  const QtFontCatalog catalog;
  if (auto font = modFonts::LoadDialogFont(catalog)) mfntDialog = std::make_unique<modFonts::UIFont>(*font);
  else mfntDialog.reset();
}

void frmExportSettings::FillLists(int32_t plngConfigId) {
  int32_t remembered = 0;
  {
    // Filling selects the first entry by itself; only the assignment below is a click.
    const QSignalBlocker configurations(cmbConfiguration), rowDelimiters(cmbRowDelimiter);
    cmbConfiguration->clear();
    for (int32_t k = 1; k <= mcolConfigs->Count(); ++k) {
      cmbConfiguration->addItem(Q(mcolConfigs->Item(k)->Name()), k);
      if (k == plngConfigId) remembered = cmbConfiguration->count() - 1;
    }
    for (int32_t id = 49; id <= 53; ++id) cmbRowDelimiter->addItem(Q(Lang(id)));
  }
  SetConfigurationIndex(remembered);
}

// Assigning a list index raises the list's click, as a choice of the user does.
void frmExportSettings::SetConfigurationIndex(int32_t index) {
  {
    const QSignalBlocker blocker(cmbConfiguration);
    cmbConfiguration->setCurrentIndex(index);
  }
  cmbConfiguration_Click();
}

void frmExportSettings::SetRowDelimiterIndex(int32_t index) {
  {
    const QSignalBlocker blocker(cmbRowDelimiter);
    cmbRowDelimiter->setCurrentIndex(index >= 0 && index < cmbRowDelimiter->count() ? index : -1);
  }
  cmbRowDelimiter_Click();
}

void frmExportSettings::cmbConfiguration_Click() {
  const bool named = cmbConfiguration->currentIndex() >= 1;
  cmdDelete->setEnabled(named);
  cmdOK->setEnabled(named);
  if (cmbConfiguration->currentIndex() < 0) return;
  LoadConfiguration(cmbConfiguration->currentData().toInt());
}

void frmExportSettings::LoadConfiguration(int32_t k) {
  if (k < 1 || k > mcolConfigs->Count()) return;
  mobjConfig = mcolConfigs->Item(k);
  ExportConfig& config = *mobjConfig;
  if (config.Columns()->Count() == 0 && config.IsDefault()) {
    Guarded([&] { config.SetColumnsToDefault(); });
  }
  ResetGrid();

  txtAccountFile->setText(Q(config.OutputFile()));
  if (config.CreateOption() >= 0 && config.CreateOption() <= 2) {
    optCreate[config.CreateOption()]->setChecked(true);
  } else {
    // A stored code outside the options shows none of them.
    grpCreate->setExclusive(false);
    for (QRadioButton* option : optCreate) option->setChecked(false);
    grpCreate->setExclusive(true);
  }
  optOutputType[0]->setChecked(true);
  if (config.OutputType() == ExportConfig::FixedWidth) optOutputType[1]->setChecked(true);
  txtFieldDelim->setText(Q(config.FieldDelimiter()));
  SetRowDelimiterIndex(config.RowDelimiter());
  txtRowDelimCustom->setText(Q(config.CustomRowDelimiter()));
  chkUseQuotes->setChecked(config.StringsInQuotes());
  chkDelimitRow[0]->setChecked(config.TrailingDelimiter());
  chkDelimitRow[1]->setChecked(config.BeginningDelimiter());
  chkColumnNames->setChecked(config.ColumnNames());
  chkAutoStrip->setChecked(config.AutoStripDelimiters());
  txtStripChars->setText(Q(config.StripChars()));
  txtDateFormat->setText(Q(config.DateFormat()));
  txtDecimalPlaces->setText(QString::number(config.NumDecimalPlaces()));
  optExportType[config.ExportType() == ExportConfig::Summary ? 1 : 0]->setChecked(true);

  grdColumns->SetRedraw(false);
  for (const ExportColumnPtr& column : *config.Columns())
    if (column) AddColumnRow(*column);
  grdColumns->SetRedraw(true);

  tabOptions->setCurrentIndex(0);
  tabOptions_Click();
  UpdateColumnButtons();
  mblnDirty = false;
  mblnFileConfirmed = true;
  cmdOK->setEnabled(false);
}

void frmExportSettings::MarkDirty() {
  mblnDirty = true;
  if (cmbConfiguration->currentIndex() >= 1) cmdOK->setEnabled(true);
}

void frmExportSettings::tabOptions_Click() {
  const int selected = tabOptions->currentIndex() + 1;
  if (selected < 1 || selected > 2) return;
  QWidget* shown = picTab[selected];
  QWidget* other = picTab[selected == 1 ? 2 : 1];
  if (!shown->isHidden()) return;
  shown->setVisible(true);
  other->setVisible(false);
}

void frmExportSettings::cmdHelp_Click() {
  modHelp::ShowHelpTopic(modHelp::SettingsDialogTopic, static_cast<intptr_t>(winId()), "");
}

void frmExportSettings::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Form_Resize();
}

void frmExportSettings::Form_Resize() {
  if (!loaded_ || resizing_) return;
  if (width() == mintClientWidth && height() == mintClientHeight) return;
  resizing_ = true;
  // Qt sizes the client area itself; the frame stays whatever it is.
  setGeometry(geometry().x(), geometry().y(), mintClientWidth, mintClientHeight);
  resizing_ = false;
}

void frmExportSettings::Form_Unload() {
  mobjConfig.reset();
  unloaded_ = true;
  if (closed_) closed_();
}

// ---------------------------------------------------------------------------
// Format page

void frmExportSettings::optOutputType_Click(int32_t index) {
  const bool enabled = index == 0;
  for (QWidget* control : std::initializer_list<QWidget*>{fraDelimiter, lblCaption[3], txtFieldDelim, chkUseQuotes,
                                                           chkDelimitRow[0], chkDelimitRow[1], chkColumnNames})
    control->setEnabled(enabled);
  grdColumns->SetRedraw(false);
  for (int32_t col : {ColWidth, ColRight, ColPad}) grdColumns->SetColHidden(col, enabled);
  if (enabled) {
    grdColumns->AutoSize(ColName, ColPad);
    grdColumns->SetColWidth(ColActionText, 1440);
  } else {
    const int32_t half = static_cast<int32_t>(std::lround(grdColumns->WidthTwips() - 400.0)) / 2;
    grdColumns->SetColWidth(ColName, half);
    grdColumns->SetColWidth(ColActionText, grdColumns->ColWidth(ColName));
  }
  grdColumns->SetRedraw(true);
  MarkDirty();
}

void frmExportSettings::cmbRowDelimiter_Click() {
  txtRowDelimCustom->setVisible(cmbRowDelimiter->currentIndex() == ExportConfig::RowCustom);
  MarkDirty();
}

void frmExportSettings::txtAccountFile_Change() {
  MarkDirty();
  mblnFileConfirmed = false;
}

void frmExportSettings::cmdCheckDate_Click() {
  std::string sample;
  try {
    sample = Format::FormatDate(DateTime::Now(), S(txtDateFormat->text()));
  } catch (const RuntimeError& e) {
    sample = e.Description();
  }
  platform::CurrentUserInteraction().MessageBox(modLanguage::GetLangString(35, {Variant::String(sample)}),
                                                MessageButtons::OK, MessageIcon::Information,
                                                SharedBranding().ProductName());
}

void frmExportSettings::cmdBrowse_Click() {
  const std::string current = S(txtAccountFile->text());
  const std::string path =
      ShowFileDialog(static_cast<int32_t>(winId()), Lang(43), true, Lang(44), current);
  if (path.empty()) return;
  if (EqualsText(path, current)) return;
  txtAccountFile->setText(Q(path));
  MarkDirty();
  mblnFileConfirmed = true;
}

// ---------------------------------------------------------------------------
// Columns page

std::string frmExportSettings::ActionName(int32_t exportType, int32_t code) {
  switch (code) {
    case 0: return Lang(100);
    case 1: return Lang(exportType == ExportConfig::Details ? 101 : 102);
    case 2: return Lang(exportType == ExportConfig::Details ? 103 : 104);
    case 3: return Lang(105);
    default: return {};
  }
}

std::string frmExportSettings::BuildActionList(int32_t exportType, int16_t field) {
  auto item = [exportType](int32_t code) { return "#" + std::to_string(code) + ";" + ActionName(exportType, code); };
  std::string list = item(0) + "|";
  if (field == ExportColumn::TextColumn) return list.substr(0, list.size() - 1);
  if (IsTotallingField(field) && exportType != ExportConfig::Details) return list + item(3);
  return list + item(1) + "|" + item(2);
}

void frmExportSettings::ResetGrid() {
  grdColumns->SetRows(0);
  grdColumns->SetRows(1);
  grdColumns->SetCols(7);
  grdColumns->SetColHidden(ColIndex, true);
  grdColumns->SetColHidden(ColAction, true);
  grdColumns->SetTextMatrix(0, ColName, Lang(54));
  grdColumns->SetColDataType(ColName, ColumnsGrid::DataType::Text);
  const int32_t half = static_cast<int32_t>(std::lround(grdColumns->WidthTwips() - 400.0)) / 2;
  grdColumns->SetColWidth(ColName, half);
  grdColumns->SetColWidth(ColActionText, half);
  grdColumns->SetTextMatrix(0, ColActionText, Lang(55));
  mstrFieldList.clear();
  if (mcolConfigs->Count() >= 1) {
    for (const ExportColumnPtr& column : *mcolConfigs->Item(1)->Columns())
      if (column) mstrFieldList += "|#" + std::to_string(column->Index()) + ";" + column->Name();
  }
  grdColumns->SetTextMatrix(0, ColWidth, Lang(56));
  grdColumns->SetColDataType(ColWidth, ColumnsGrid::DataType::Long);
  grdColumns->SetColHidden(ColWidth, true);
  grdColumns->SetTextMatrix(0, ColRight, Lang(57));
  grdColumns->SetColDataType(ColRight, ColumnsGrid::DataType::Boolean);
  grdColumns->SetColHidden(ColRight, true);
  grdColumns->SetTextMatrix(0, ColPad, Lang(58));
  grdColumns->SetColDataType(ColPad, ColumnsGrid::DataType::Text);
  grdColumns->SetColHidden(ColPad, true);
}

void frmExportSettings::AddColumnRow(const ExportColumn& column) {
  grdColumns->AddRow();
  const int32_t r = grdColumns->Rows() - 1;
  grdColumns->SetTextMatrix(r, ColIndex, std::to_string(column.Index()));
  grdColumns->SetTextMatrix(r, ColAction, std::to_string(column.Action()));
  grdColumns->SetTextMatrix(r, ColName, column.Name());
  grdColumns->SetTextMatrix(r, ColActionText, ActionName(mlngExportType, column.Action()));
  grdColumns->SetTextMatrix(r, ColWidth, column.Width() < 1 ? std::string() : std::to_string(column.Width()));
  grdColumns->SetCellChecked(r, ColRight, column.RightJustify());
  grdColumns->SetTextMatrix(r, ColPad, column.PadChar());
}

void frmExportSettings::UpdateColumnButtons() {
  const int32_t row = grdColumns->Row(), rows = grdColumns->Rows();
  cmdAddRow->setEnabled(true);
  cmdRemoveRow->setEnabled(row >= 1);
  cmdRemoveAll->setEnabled(rows >= 2);
  cmdMoveUp->setEnabled(row >= 2);
  cmdMoveDown->setEnabled(row >= 1 && row < rows - 1);
}

void frmExportSettings::grdColumns_BeforeEdit(int32_t row, int32_t col, bool&) {
  if (col == ColName) {
    grdColumns->SetComboList(mstrFieldList);
  } else if (col == ColActionText) {
    int16_t field = ExportColumn::TextColumn;
    try {
      field = Convert::ToInteger(Variant::String(grdColumns->TextMatrix(row, ColIndex)));
    } catch (const RuntimeError&) {
    }
    grdColumns->SetComboList(BuildActionList(mlngExportType, field));
  } else {
    grdColumns->SetComboList("");
  }
}

void frmExportSettings::grdColumns_KeyPressEdit(int32_t, int32_t col, int32_t& keyAscii) {
  if (col == ColWidth) {
    if (!((keyAscii >= '0' && keyAscii <= '9') || keyAscii == 8)) keyAscii = 0;
  } else if (col == ColPad) {
    if (Len(grdColumns->EditText()) == 1 && keyAscii != 8) keyAscii = 0;
  }
}

void frmExportSettings::grdColumns_AfterEdit(int32_t row, int32_t col) {
  if (col == ColActionText) {
    grdColumns->SetTextMatrix(row, ColAction, std::to_string(grdColumns->ComboData()));
  } else if (col == ColName) {
    if (grdColumns->ComboIndex() >= 0) {
      grdColumns->SetTextMatrix(row, ColIndex, std::to_string(grdColumns->ComboData()));
    } else {
      grdColumns->SetTextMatrix(row, ColIndex, "-1");
      const std::string typed = grdColumns->TextMatrix(row, ColName);
      for (int32_t i = 0; i < grdColumns->ComboCount(); ++i) {
        if (grdColumns->ComboItem(i) == typed) {
          grdColumns->SetTextMatrix(row, ColIndex, std::to_string(grdColumns->ComboData(i)));
          break;
        }
      }
    }
  }
  MarkDirty();
}

void frmExportSettings::cmdAddRow_Click() {
  const int32_t current = grdColumns->Row();
  {
    const QSignalBlocker blocker(grdColumns);
    grdColumns->AddRow();
    const int32_t r = grdColumns->Rows() - 1;
    grdColumns->SetTextMatrix(r, ColIndex, "-1");
    grdColumns->SetTextMatrix(r, ColAction, "0");
    grdColumns->SetTextMatrix(r, ColActionText, ActionName(mlngExportType, 0));
    // The current row does not move, and no change of it is reported.
    grdColumns->SetRow(current);
  }
  MarkDirty();
}

void frmExportSettings::cmdRemoveRow_Click() {
  if (grdColumns->Row() < 1) return;
  grdColumns->RemoveItem(grdColumns->Row());
  MarkDirty();
}

void frmExportSettings::cmdRemoveAll_Click() {
  if (Message(36, MessageButtons::YesNo) != MessageAnswer::Yes) return;
  grdColumns->SetRows(1);
  MarkDirty();
}

void frmExportSettings::cmdMoveUp_Click() {
  const int32_t r = grdColumns->Row();
  if (r <= 1) return;
  MarkDirty();
  grdColumns->SetRowPosition(r, r - 1);
  grdColumns->SetRow(r - 1);
}

void frmExportSettings::cmdMoveDown_Click() {
  const int32_t r = grdColumns->Row();
  if (r < 1 || r >= grdColumns->Rows() - 1) return;
  MarkDirty();
  grdColumns->SetRowPosition(r, r + 1);
  grdColumns->SetRow(r + 1);
}

void frmExportSettings::optExportType_Click(int32_t index) {
  for (int32_t r = 1; r < grdColumns->Rows(); ++r) {
    grdColumns->SetTextMatrix(r, ColActionText, ActionName(mlngExportType, 0));
    grdColumns->SetTextMatrix(r, ColAction, "0");
  }
  mlngExportType = index;
  MarkDirty();
}

// ---------------------------------------------------------------------------
// Saving, copying, deleting, closing

template <typename Step>
bool frmExportSettings::Guarded(Step step) {
  try {
    step();
    return true;
  } catch (const RuntimeError& e) {
    platform::CurrentUserInteraction().MessageBox(e.Description(), MessageButtons::OK, MessageIcon::Critical,
                                                  SharedBranding().ProductName());
  } catch (const std::exception& e) {
    platform::CurrentUserInteraction().MessageBox(e.what(), MessageButtons::OK, MessageIcon::Critical,
                                                  SharedBranding().ProductName());
  }
  return false;
}

bool frmExportSettings::ValidateSettings() {
  txtAccountFile->setText(Q(Trim(S(txtAccountFile->text()))));
  const std::string path = S(txtAccountFile->text());
  if (!mblnFileConfirmed && !path.empty()) {
    bool existed = false;
    if (!modShellFunctions::IsValidFilePath(path, existed)) {
      Message(38, MessageButtons::OK);
      return false;
    }
    if (existed && Message(37, MessageButtons::YesNo) != MessageAnswer::Yes) return false;
  }

  txtDecimalPlaces->setText(Q(Trim(S(txtDecimalPlaces->text()))));
  const Variant places = Variant::String(S(txtDecimalPlaces->text()));
  bool placesValid = Convert::IsNumeric(places);
  if (placesValid) {
    try {
      const int32_t value = Convert::ToLong(places);
      placesValid = value >= 2 && value <= 4;
    } catch (const RuntimeError&) {
      placesValid = false;
    }
  }
  if (!placesValid) {
    Message(39, MessageButtons::OK);
    return false;
  }

  bool result = true;
  grdColumns->SetRedraw(false);
  if (grdColumns->Rows() < 2) {
    Message(41, MessageButtons::OK);
    result = false;
  }
  if (result && optOutputType[1]->isChecked()) {
    for (int32_t r = 1; r < grdColumns->Rows(); ++r) {
      if (!Convert::IsNumeric(Variant::String(grdColumns->TextMatrix(r, ColWidth)))) {
        Message(42, MessageButtons::OK);
        result = false;
        break;
      }
    }
  }
  grdColumns->SetRedraw(true);
  return result;
}

std::shared_ptr<ExportColumns> frmExportSettings::StoreGrid() const {
  auto columns = std::make_shared<ExportColumns>();
  const ComPtr<IJobColumns> host = SharedExportColumns();
  for (int32_t r = 1; r < grdColumns->Rows(); ++r) {
    auto column = std::make_shared<ExportColumn>();
    const std::string index = grdColumns->TextMatrix(r, ColIndex);
    if (index != "-1" && !index.empty()) {
      column->SetIndex(Convert::ToInteger(Variant::String(index)));
      // The name comes fresh from the host; a column the host no longer
      // offers keeps the text shown, so the row is not lost.
      IJobColumn* hostColumn = host ? host->Item(column->Index()) : nullptr;
      column->SetName(hostColumn ? hostColumn->DisplayName() : grdColumns->TextMatrix(r, ColName));
      column->SetAction(Convert::ToLong(Variant::String(grdColumns->TextMatrix(r, ColAction))));
    } else {
      column->SetIndex(ExportColumn::TextColumn);
      column->SetName(grdColumns->TextMatrix(r, ColName));
      column->SetAction(0);
    }
    const std::string width = grdColumns->TextMatrix(r, ColWidth);
    column->SetWidth(width.empty() ? int16_t{-1} : Convert::ToInteger(Variant::String(width)));
    column->SetRightJustify(grdColumns->CellChecked(r, ColRight));
    column->SetPadChar(grdColumns->TextMatrix(r, ColPad));
    columns->Add(std::move(column));
  }
  return columns;
}

void frmExportSettings::StoreConfiguration() {
  ExportConfig& config = *mobjConfig;
  config.SetOutputFile(S(txtAccountFile->text()));
  config.SetOutputType(optOutputType[0]->isChecked() ? ExportConfig::Delimited : ExportConfig::FixedWidth);
  config.SetFieldDelimiter(S(txtFieldDelim->text()));
  config.SetRowDelimiter(cmbRowDelimiter->currentIndex());
  config.SetCustomRowDelimiter(S(txtRowDelimCustom->text()));
  config.SetStringsInQuotes(chkUseQuotes->isChecked());
  config.SetBeginningDelimiter(chkDelimitRow[1]->isChecked());
  config.SetTrailingDelimiter(chkDelimitRow[0]->isChecked());
  config.SetColumnNames(chkColumnNames->isChecked());
  config.SetDateFormat(Trim(S(txtDateFormat->text())));
  config.SetExportType(optExportType[0]->isChecked() ? ExportConfig::Details : ExportConfig::Summary);
  config.SetAutoStripDelimiters(chkAutoStrip->isChecked());
  config.SetStripChars(Trim(S(txtStripChars->text())));
  config.SetNumDecimalPlaces(Convert::ToInteger(Variant::String(Trim(S(txtDecimalPlaces->text())))));
  int32_t create = 0;
  if (optCreate[1]->isChecked()) create = 1;
  else if (optCreate[2]->isChecked()) create = 2;
  config.SetCreateOption(create);
  // The grid is read completely before the configuration's columns change.
  std::shared_ptr<ExportColumns> columns = StoreGrid();
  config.SetColumns(nullptr);
  config.SetColumns(std::move(columns));
  config.Save();
  mblnDirty = false;
  cmdOK->setEnabled(false);
}

bool frmExportSettings::SaveConfiguration() {
  if (!ValidateSettings()) return false;
  if (!Guarded([this] { StoreConfiguration(); })) return false;
  mstrConfigName = S(cmbConfiguration->currentText());
  return true;
}

bool frmExportSettings::SaveConfigurationAs() {
  if (!ValidateSettings()) return false;
  const std::optional<std::string> answer = platform::CurrentUserInteraction().InputBox(Lang(30), Lang(31), "");
  const std::string name = answer.value_or("");
  if (name.empty()) return false;
  if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos) {
    Message(32, MessageButtons::OK);
    return false;
  }
  // Surrounding spaces are compared away too, so a copy never takes the
  // file of an existing configuration.
  bool taken = EqualsText(name, "<Default>") || EqualsText(Trim(name), "<Default>");
  for (int i = 0; i < cmbConfiguration->count() && !taken; ++i) {
    const std::string entry = S(cmbConfiguration->itemText(i));
    taken = UCase(entry) == UCase(name) || UCase(entry) == UCase(Trim(name));
  }
  if (taken) {
    Message(33, MessageButtons::OK);
    return false;
  }
  auto created = std::make_shared<ExportConfig>();
  created->SetName(name);
  const ExportConfigPtr previous = mobjConfig;
  mobjConfig = created;
  if (!Guarded([this] { StoreConfiguration(); })) {
    mobjConfig = previous;
    return false;
  }
  mcolConfigs->Add(created);
  cmbConfiguration->addItem(Q(created->Name()), mcolConfigs->Count());
  SetConfigurationIndex(cmbConfiguration->count() - 1);
  mstrConfigName = created->Name();
  return true;
}

void frmExportSettings::cmdOK_Click() { SaveConfiguration(); }

void frmExportSettings::cmdSaveAs_Click() {
  if (SaveConfigurationAs()) mblnListChanged = true;
}

void frmExportSettings::cmdDelete_Click() {
  if (cmbConfiguration->count() == 1) {
    Message(45, MessageButtons::OK);
    return;
  }
  if (!mobjConfig || mobjConfig->IsDefault()) return;
  if (Message(46, MessageButtons::YesNo) != MessageAnswer::Yes) return;
  bool deleted = false;
  if (!Guarded([&] { deleted = mobjConfig->Delete(); }) || !deleted) return;
  {
    const QSignalBlocker blocker(cmbConfiguration);
    cmbConfiguration->removeItem(cmbConfiguration->currentIndex());
  }
  SetConfigurationIndex(0);
  mstrConfigName = S(cmbConfiguration->itemText(0));
  mblnListChanged = true;
}

void frmExportSettings::cmdCancel_Click() { close(); }

void frmExportSettings::closeEvent(QCloseEvent* event) {
  if (!Form_QueryUnload()) {
    event->ignore();
    return;
  }
  event->accept();
  Form_Unload();
}

bool frmExportSettings::Form_QueryUnload() {
  if (!mblnDirty) return true;
  switch (Message(48, MessageButtons::YesNoCancel)) {
    case MessageAnswer::Yes: {
      const bool saved = mobjConfig && mobjConfig->IsDefault() ? SaveConfigurationAs() : SaveConfiguration();
      if (!saved) return false;
      mblnListChanged = true;
      return true;
    }
    case MessageAnswer::No: return true;
    default: return false;
  }
}

}  // namespace qx6::dialog
