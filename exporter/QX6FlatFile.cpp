#include "exporter/QX6FlatFile.h"

#include <new>

#include "config/modFlatFile.h"
#include "hostapi/ElevateEntry.h"
#include "platform/ComponentModel.h"
#include "platform/Registry.h"
#include "platform/UserInteraction.h"
#include "runtime/Conversion.h"
#include "runtime/DateTime.h"
#include "runtime/Format.h"
#include "runtime/RuntimeError.h"
#include "runtime/Strings.h"
#include "runtime/TextFile.h"
#include "system/QXElevateEntry.h"
#include "system/clsRegistry.h"
#include "ui/clsCommonDialog.h"
#include "ui/clsQX6Branding.h"
#include "ui/modLanguage.h"

namespace qx6 {

const Guid CLSID_QX6FlatFile = Guid::FromString("{279CFA71-F4A9-4630-BA2D-C1B21E8DDB03}");
const Guid IID__QX6FlatFile = Guid::FromString("{6DE626DA-57D7-4C27-8274-DA40D5FC1885}");
const Guid LIBID_QX6JobExportFlatFile = Guid::FromString("{2CA0BC44-EC3A-4747-874F-467F206C8DD5}");
const Guid LIBID_QX6JobExportInterface = Guid::FromString("{3477B33B-7476-49F3-9ABF-BD7F03E5E06F}");

namespace {

constexpr const char* SchedulingValueName = "QXFlatFileConfigs";

// Runs one operation; a runtime error becomes the call's failure with the
// error in the thread's error information, as the host expects.
template <class F>
HRESULT Guarded(F&& operation) {
  try {
    operation();
    return S_OK;
  } catch (const RuntimeError& e) {
    platform::SetErrorInfo({e.Number(), e.Description(), QX6FlatFileErrorSource, e.Detail()});
    return RuntimeErrorStatus(e.Number());
  } catch (const std::bad_alloc&) {
    platform::SetErrorInfo({7, RuntimeErrorDescription(7), QX6FlatFileErrorSource, {}});
    return E_OUTOFMEMORY;
  } catch (const std::exception& e) {
    platform::SetErrorInfo({51, std::string("Internal error: ") + e.what(), QX6FlatFileErrorSource, {}});
    return E_FAIL;
  }
}

// The job's date at midnight, as formatting it with "MMM dd, yyyy" and
// reading that back gives it.
Variant CalendarDay(const Variant& value) {
  const DateTime::Parts parts = DateTime::Split(Convert::ToDate(value));
  return Variant::Date(DateTime::DateSerial(parts.year, parts.month, parts.day));
}

void ShowMessage(const std::string& text, platform::MessageIcon icon) {
  platform::CurrentUserInteraction().MessageBox(text, platform::MessageButtons::OK, icon,
                                                SharedBranding().ProductName());
}

class ElevateEntryObject final : public Object<IElevateEntry> {
 public:
  explicit ElevateEntryObject(QXElevateEntry entry) : entry_(std::move(entry)) {}
  std::string SectionKey() const override { return entry_.SectionKey(); }
  std::string ValueName() const override { return entry_.ValueName(); }
  Variant Value() const override { return entry_.Value(); }
  int32_t ValueType() const override { return entry_.ValueType(); }

 private:
  QXElevateEntry entry_;
};

}  // namespace

QX6FlatFile::QX6FlatFile() { platform::ModuleLock::Lock(); }

QX6FlatFile::~QX6FlatFile() { platform::ModuleLock::Unlock(); }

HRESULT QX6FlatFile::get_ClassName(std::string* result) {
  if (!result) return E_POINTER;
  *result = QX6FlatFileProgId;
  return S_OK;
}

HRESULT QX6FlatFile::get_Name(std::string* result) {
  if (!result) return E_POINTER;
  *result = QX6FlatFileName;
  return S_OK;
}

HRESULT QX6FlatFile::Initialize(IJobColumns* pcolExportCols, int16_t pintNumDecimals, std::string* pstrComponentCode,
                                Variant* result) {
  if (!result) return E_POINTER;
  return Guarded([&] { *result = DoInitialize(pcolExportCols, pintNumDecimals, pstrComponentCode); });
}

HRESULT QX6FlatFile::EditConfiguration(IUnknown*, int32_t* plngConfigId, bool* result) {
  if (!result) return E_POINTER;
  return Guarded([&] { *result = DoEditConfiguration(plngConfigId); });
}

HRESULT QX6FlatFile::QuickStartExport(IJobColumns* pcolExportCols, bool pblnSilent, bool* result) {
  if (!result) return E_POINTER;
  return Guarded([&] { *result = DoQuickStartExport(pcolExportCols, pblnSilent); });
}

HRESULT QX6FlatFile::StartExport(int32_t plngConfig, bool pblnSilent, bool* result) {
  if (!result) return E_POINTER;
  return Guarded([&] { *result = DoStartExport(plngConfig, pblnSilent); });
}

template <class F>
void QX6FlatFile::WithOutputFileDetail(F&& operation) {
  try {
    operation();
  } catch (RuntimeError& e) {
    switch (e.Number()) {
      case RuntimeErrorNumber::BadFileNameOrNumber:
      case RuntimeErrorNumber::DeviceIoError:
      case RuntimeErrorNumber::DiskFull:
      case RuntimeErrorNumber::PermissionDenied:
      case RuntimeErrorNumber::PathFileAccessError:
      case RuntimeErrorNumber::PathNotFound: e.SetDetail("output file \"" + outputPath_ + "\""); break;
      default: break;
    }
    throw;
  }
}

HRESULT QX6FlatFile::DoneExport(bool* result) {
  if (!result) return E_POINTER;
  return Guarded([&] {
    WithOutputFileDetail([&] { DoDoneExport(); });
    *result = true;
  });
}

HRESULT QX6FlatFile::WriteJob(IJobColumns* pinsJobColumns, bool* result) {
  if (!result) return E_POINTER;
  return Guarded([&] {
    WithOutputFileDetail([&] { DoWriteJob(pinsJobColumns); });
    *result = true;
  });
}


HRESULT QX6FlatFile::LoadSchedulingInfo(const std::string& pstrSection, std::string*, bool* result) {
  if (!result) return E_POINTER;
  return Guarded([&] {
    DoLoadSchedulingInfo(pstrSection);
    *result = true;
  });
}

HRESULT QX6FlatFile::GetSchedulingEntries(int32_t plngConfigId, IUnknown** pinsEntries, std::string* pstrError,
                                          bool* result) {
  if (!result || !pinsEntries) return E_POINTER;
  return Guarded([&] { *result = DoGetSchedulingEntries(plngConfigId, pinsEntries, pstrError); });
}

HRESULT QX6FlatFile::GetSortCols(IJobColumns** result) {
  if (!result) return E_POINTER;
  *result = nullptr;
  return Guarded([&] { *result = DoGetSortCols().Detach(); });
}

HRESULT QX6FlatFile::GetLastError(std::string* result) {
  if (!result) return E_POINTER;
  *result = lastError_;
  return S_OK;
}

HRESULT QX6FlatFile::get_CanEmailResults(bool* result) {
  if (!result) return E_POINTER;
  *result = true;
  return S_OK;
}

HRESULT QX6FlatFile::get_EmailableResultsPath(std::string* result) {
  if (!result) return E_POINTER;
  *result = outputPath_;
  return S_OK;
}

HRESULT QX6FlatFile::CheckMigrateSettings() {
  modFlatFile::MigrateEarlierSettings();
  return S_OK;
}

Variant QX6FlatFile::DoInitialize(IJobColumns* columns, int16_t numDecimals, std::string* componentCode) {
  SetSharedExportColumns(ComPtr<IJobColumns>(columns));
  if (componentCode) componentCode->clear();
  configs_ = std::make_shared<ExportConfigs>();
  Variant list = modFlatFile::LoadConfigurations(*configs_, numDecimals, configFolderOverride_, configName_, configId_);
  numDecimals_ = numDecimals;
  return list;
}

bool QX6FlatFile::DoEditConfiguration(int32_t* configId) {
  auto& ui = platform::CurrentUserInteraction();
  const platform::MousePointer pointer = ui.Pointer();
  ui.SetPointer(platform::MousePointer::Default);
  bool changed = false;
  if (configs_) {
    // The dialog works on this exporter's own collection.
    platform::SettingsDialogRequest request;
    request.configs = configs_;
    request.configId = configId ? *configId : 0;
    request.configName = configName_;
    changed = platform::ShowSettingsDialog(request).value_or(false);
    configName_ = request.configName;
    if (changed) {
      DoInitialize(SharedExportColumns().Get(), numDecimals_, nullptr);
      if (configId) *configId = configId_;
    }
  }
  ui.SetPointer(pointer);
  return changed;
}

bool QX6FlatFile::DoQuickStartExport(IJobColumns* columns, bool silent) {
  if (!columns) return false;
  current_ = std::make_shared<ExportConfig>();
  for (int32_t i = 1; i <= columns->Count(); ++i) {
    IJobColumn& hostColumn = ColumnAt(*columns, i);
    auto column = std::make_shared<ExportColumn>();
    column->SetIndex(Convert::ToInteger(Variant::Long(hostColumn.ColumnId())));
    column->SetName(hostColumn.DisplayName());
    current_->Columns()->Add(std::move(column));
  }
  return StartRun(silent);
}

bool QX6FlatFile::DoStartExport(int32_t configId, bool silent) {
  if (!configs_) return false;
  if (configId < 1 || configId > configs_->Count()) return false;
  current_ = configs_->Item(configId);
  return StartRun(silent);
}

bool QX6FlatFile::StartRun(bool silent) {
  jobCount_ = 0;
  summaryPending_ = false;
  lastJob_.Reset();
  rows_.reset();
  const bool opened = OpenOutputFile(silent);
  if (opened) rows_ = std::make_unique<RowAssembler>(*current_);
  return opened;
}

bool QX6FlatFile::OpenOutputFile(bool silent) {
  bool result = true;
  if (current_->OutputFile().empty()) {
    if (silent) {
      result = false;
    } else {
      current_->SetOutputFile(ShowFileDialog(0, modLanguage::GetLangString(309), true,
                                             modLanguage::GetLangString(310), ""));
      if (current_->OutputFile().empty()) result = false;
    }
    if (!result) lastError_ = modLanguage::GetLangString(311);
  }
  std::string path = current_->OutputFile();
  if (current_->CreateOption() == ExportConfig::CreateWithDateTime) {
    const std::string stamp = Format::FormatDate(DateTime::Now(), "mmmddyyyyhhmmss");
    const int32_t dot = Strings::InStrRev(path, ".");
    if (dot > 0) {
      path = std::string(Strings::Left(path, dot - 1)) + stamp + std::string(Strings::Mid(path, dot));
    } else {
      path += stamp;
    }
  }
  if (result) {
    try {
      fileNumber_ = TextFile::FreeFile();
      if (current_->CreateOption() == ExportConfig::AppendRows) TextFile::OpenForAppend(fileNumber_, path);
      else TextFile::OpenForOutput(fileNumber_, path);
    } catch (const RuntimeError& e) {
      fileNumber_ = 0;
      const Variant number = Variant::Long(e.Number());
      // The standard text, then the file it is about.
      lastError_ = modLanguage::GetLangString(312, {number, Variant(e.Description())}) + " \"" + path + "\"";
      if (!silent) {
        if (e.Number() == RuntimeErrorNumber::FileNotFound) {
          ShowMessage(modLanguage::GetLangString(313, {Variant("\""), Variant(path), Variant("\"")}),
                      platform::MessageIcon::Exclamation);
        } else {
          ShowMessage(modLanguage::GetLangString(314, {number, Variant(e.Description())}),
                      platform::MessageIcon::Critical);
        }
      }
      return false;
    }
  }
  outputPath_ = path;
  return result;
}

RowAssembler& QX6FlatFile::Rows() {
  if (!rows_) {
    if (!current_) Raise(91);
    rows_ = std::make_unique<RowAssembler>(*current_);
  }
  return *rows_;
}

void QX6FlatFile::DoWriteJob(IJobColumns* job) {
  if (!job) Raise(91);
  if (!current_) Raise(91);
  RowAssembler& rows = Rows();
  if (jobCount_ == 0) {
    if (rows.IsSummary()) ResetGroup(*job);
    if (current_->ColumnNames()) rows.WriteColumnNames(fileNumber_);
  }
  if (rows.IsSummary()) SummaryStep(*job);
  else rows.WriteRow(*job, fileNumber_);
  ++jobCount_;
}

void QX6FlatFile::ResetGroup(const IJobColumns& job) {
  Rows().ForEachColumn([&](const RowAssembler::Column& column) {
    if (column.index == ExportColumn::TextColumn) return;
    IJobColumn& jobColumn = ColumnAt(job, column.index);
    if ((column.action == 1 || column.action == 2) && jobColumn.ColumnId() == 12) {
      column.column->SetLastValue(CalendarDay(jobColumn.Value()));
    } else {
      column.column->SetLastValue(jobColumn.Value());
    }
    column.column->SetAccumulate(0);
    column.column->SetChangedInGroup(false);
  });
}

void QX6FlatFile::SummaryStep(const IJobColumns& job) {
  RowAssembler& rows = Rows();
  bool groupChanged = false;
  rows.ForEachColumn([&](const RowAssembler::Column& column) {
    if (column.index == ExportColumn::TextColumn) return;
    const bool grouping = column.action == 1 || column.action == 2;
    // Only a group column's change, or the first change of a column that
    // shows its value, matters here: the others need no comparison.
    if (!grouping && (column.action != 0 || column.column->ChangedInGroup())) return;
    IJobColumn& jobColumn = ColumnAt(job, column.index);
    if (grouping && jobColumn.ColumnId() == 12) jobColumn.SetValue(CalendarDay(jobColumn.Value()));
    if (Convert::ValuesDiffer(column.column->LastValue(), jobColumn.Value())) {
      if (grouping) groupChanged = true;
      else if (column.action == 0) column.column->SetChangedInGroup(true);
    }
  });
  if (groupChanged) {
    rows.WriteRow(job, fileNumber_);
    ResetGroup(job);
  }
  summaryPending_ = true;
  rows.ForEachColumn([&](const RowAssembler::Column& column) {
    if (column.index == ExportColumn::TextColumn || column.action != 3) return;
    column.column->SetAccumulate(column.column->Accumulate() + Convert::ToDouble(ColumnAt(job, column.index).Value()));
  });
  if (lastJob_.Get() != &job) lastJob_ = ComPtr<IJobColumns>(const_cast<IJobColumns*>(&job));
}

void QX6FlatFile::DoDoneExport() {
  if (fileNumber_ == 0) return;
  if (summaryPending_ && lastJob_) Rows().WriteRow(*lastJob_, fileNumber_);
  const int16_t fileNumber = fileNumber_;
  fileNumber_ = 0;
  summaryPending_ = false;
  TextFile::Close(fileNumber);
}

void QX6FlatFile::DoLoadSchedulingInfo(const std::string& section) {
  clsRegistry registry;
  registry.SetClassKey(platform::HKEY_LOCAL_MACHINE);
  registry.SetSectionKey(section);
  Variant value = registry.GetValueOrDefault(SchedulingValueName, Variant::String(""));
  try {
    configFolderOverride_ = Convert::ToText(value);
  } catch (const RuntimeError&) {
    configFolderOverride_.clear();
  }
}

bool QX6FlatFile::DoGetSchedulingEntries(int32_t configId, IUnknown** entries, std::string* error) {
  if (!configs_ || configId < 1 || configId > configs_->Count()) {
    if (error) *error = modLanguage::GetLangString(301);
    return false;
  }
  if (configs_->Item(configId)->OutputFile().empty()) {
    if (error) *error = modLanguage::GetLangString(302);
    return false;
  }
  QXElevateEntry entry;
  entry.SetSectionKey("");
  entry.SetValueName(SchedulingValueName);
  entry.SetValue(Variant::String(modFlatFile::ConfigFolder("")));
  entry.SetValueType(platform::REG_SZ);
  auto collection = MakeObject<ObjectCollection>();
  auto object = MakeObject<ElevateEntryObject>(std::move(entry));
  collection->Add(object.Get());
  if (*entries) (*entries)->Release();
  *entries = collection.Detach();
  return true;
}

ComPtr<IJobColumns> QX6FlatFile::DoGetSortCols() {
  if (!current_) return nullptr;
  auto sortColumns = MakeObject<JobColumns>();
  bool sizeOrPages = false, sequence = false;
  auto addColumn = [&](int32_t id, bool ascending) {
    HRESULT status = S_OK;
    auto column = platform::CreateObject<IJobColumn>(CLSID_JobColumn, IID_JobColumn, &status);
    if (!column) Raise(429, RuntimeErrorDescription(429));
    column->SetColumnId(id);
    column->SetAscending(ascending);
    sortColumns->Add(column.Get());
  };
  for (const ExportColumnPtr& column : *current_->Columns()) {
    if (column->Action() != 1 && column->Action() != 2) continue;
    addColumn(column->Index(), column->Action() == 1);
    const int16_t index = column->Index();
    if (index == 28 || index == 29 || index == 30) sizeOrPages = true;
    else if (index == 31) sequence = true;
  }
  if (sizeOrPages && !sequence) addColumn(31, true);
  if (sortColumns->Count() == 0) return nullptr;
  return sortColumns;
}

}  // namespace qx6
