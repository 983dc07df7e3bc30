#include "host/ExporterSession.h"

#include <charconv>
#include <cstdio>

#include "host/RegistryMessages.h"
#include "hostapi/ElevateEntry.h"
#include "platform/ComponentModel.h"
#include "runtime/Strings.h"

namespace qx6::host {
namespace {

std::string StatusText(HRESULT status) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
  return text;
}

}  // namespace

ExportError::ExportError(std::string operation, HRESULT status, int32_t number, std::string description,
                         std::string, std::string detail)
    : std::runtime_error(operation),
      status_(status),
      number_(number),
      description_(std::move(description)),
      operation_(std::move(operation)) {
  if (!detail.empty()) context_.push_back(std::move(detail));
  Compose();
}

void ExportError::AddContext(const std::string& context) {
  context_.push_back(context);
  Compose();
}

// "WriteJob failed: error 94: Invalid use of Null (output column 3 "Pages";
// job 17, the 2nd of the run)": the component's number and text as they
// are, then where.
void ExportError::Compose() {
  message_ = operation_ + (number_ != 0 ? " failed: error " + std::to_string(number_) + ": " + description_
                                        : " failed with status " + StatusText(status_));
  for (size_t i = 0; i < context_.size(); ++i) message_ += (i == 0 ? " (" : "; ") + context_[i];
  if (!context_.empty()) message_ += ")";
}

ExporterSession::ExporterSession(const std::string& progId) {
  Guid clsid;
  HRESULT hr = platform::CLSIDFromProgID(progId, &clsid);
  if (Failed(hr)) throw std::runtime_error(ComponentUnavailable(progId, hr));
  hr = platform::CoCreateInstance(clsid, IID_IJobExporter, reinterpret_cast<void**>(exporter_.Put()));
  if (Failed(hr) || !exporter_) throw std::runtime_error(ComponentUnavailable(progId, Failed(hr) ? hr : E_NOINTERFACE));
}

void ExporterSession::Check(const char* operation, HRESULT status) {
  if (Succeeded(status)) return;
  auto info = platform::TakeErrorInfo();
  if (info) throw ExportError(operation, status, info->number, info->description, info->source, info->detail);
  throw ExportError(operation, status, 0, "", "");
}

std::string ExporterSession::ClassName() {
  std::string text;
  Check("ClassName", exporter_->get_ClassName(&text));
  return text;
}

std::string ExporterSession::Name() {
  std::string text;
  Check("Name", exporter_->get_Name(&text));
  return text;
}

std::vector<ConfigurationEntry> ExporterSession::Initialize(IJobColumns* columns, int16_t decimals) {
  Variant list;
  std::string componentCode;
  Check("Initialize", exporter_->Initialize(columns, decimals, &componentCode, &list));
  std::vector<ConfigurationEntry> entries;
  if (!list.IsArray()) return entries;
  auto rows = list.ArrayValue();
  for (int32_t r = rows.LowerBound(1); r <= rows.UpperBound(1); ++r) {
    const Variant& id = rows.At(r, 0);
    int32_t number = id.Type() == VarType::Integer ? id.IntegerValue() : id.LongValue();
    entries.push_back({number, std::string(rows.At(r, 1).StringValue())});
  }
  return entries;
}

bool ExporterSession::EditConfiguration(int32_t& configId) {
  bool changed = false;
  Check("EditConfiguration", exporter_->EditConfiguration(nullptr, &configId, &changed));
  return changed;
}

bool ExporterSession::StartExport(int32_t configId, bool silent) {
  bool started = false;
  Check("StartExport", exporter_->StartExport(configId, silent, &started));
  return started;
}

bool ExporterSession::QuickStartExport(IJobColumns* columns, bool silent) {
  bool started = false;
  Check("QuickStartExport", exporter_->QuickStartExport(columns, silent, &started));
  return started;
}

std::vector<SortColumn> ExporterSession::GetSortCols() {
  ComPtr<IJobColumns> columns;
  Check("GetSortCols", exporter_->GetSortCols(columns.Put()));
  std::vector<SortColumn> order;
  if (!columns) return order;
  for (int32_t i = 1; i <= columns->Count(); ++i) {
    IJobColumn* column = columns->Item(i);
    order.push_back({column->ColumnId(), column->Ascending()});
  }
  return order;
}

void ExporterSession::WriteJob(IJobColumns* job) {
  bool ok = false;
  Check("WriteJob", exporter_->WriteJob(job, &ok));
}

void ExporterSession::DoneExport() {
  bool ok = false;
  Check("DoneExport", exporter_->DoneExport(&ok));
}

std::string ExporterSession::GetLastError() {
  std::string text;
  Check("GetLastError", exporter_->GetLastError(&text));
  return text;
}

std::string ExporterSession::EmailableResultsPath() {
  std::string text;
  Check("EmailableResultsPath", exporter_->get_EmailableResultsPath(&text));
  return text;
}

void ExporterSession::LoadSchedulingInfo(const std::string& section) {
  bool ok = false;
  std::string message;
  Check("LoadSchedulingInfo", exporter_->LoadSchedulingInfo(section, &message, &ok));
}

bool ExporterSession::GetSchedulingEntries(int32_t configId, std::vector<Entry>& entries, std::string& error) {
  ComPtr<IUnknown> collection;
  bool ok = false;
  Check("GetSchedulingEntries", exporter_->GetSchedulingEntries(configId, collection.Put(), &error, &ok));
  if (!ok) return false;
  auto objects = collection.As<IObjectCollection>(IID_IObjectCollection);
  if (!objects) return false;
  for (int32_t i = 1; i <= objects->Count(); ++i) {
    auto entry = ComPtr<IUnknown>(objects->Item(i)).As<IElevateEntry>(IID_IElevateEntry);
    if (entry) entries.push_back({entry->SectionKey(), entry->ValueName(), entry->Value(), entry->ValueType()});
  }
  return true;
}

int32_t ExporterSession::FindConfiguration(const std::vector<ConfigurationEntry>& list, const std::string& nameOrId) {
  int32_t number = 0;
  auto [end, ec] = std::from_chars(nameOrId.data(), nameOrId.data() + nameOrId.size(), number);
  if (ec == std::errc() && end == nameOrId.data() + nameOrId.size()) {
    for (const auto& entry : list)
      if (entry.id == number) return number;
  }
  for (const auto& entry : list) {
    if (Strings::EqualsText(entry.name, nameOrId)) return entry.id;
  }
  return 0;
}

}  // namespace qx6::host
