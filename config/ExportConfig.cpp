#include "config/ExportConfig.h"

#include "config/RowLayout.h"
#include "runtime/Strings.h"

namespace qx6 {

ExportConfig::ExportConfig() : columns_(std::make_shared<ExportColumns>()) {}

void ExportConfig::SetOutputFile(std::string_view value) { outputFile_ = Strings::Trim(value); }
void ExportConfig::SetName(std::string_view value) { name_ = Strings::Trim(value); }
void ExportConfig::SetDateFormat(std::string_view value) { dateFormat_ = Strings::Trim(value); }
void ExportConfig::SetCustomRowDelimiter(std::string_view value) { customRowDelimiter_ = Strings::Trim(value); }
void ExportConfig::SetStripChars(std::string_view value) { stripChars_ = Strings::Trim(value); }

void ExportConfig::SetColumns(std::shared_ptr<ExportColumns> value) {
  columns_ = value ? std::move(value) : std::make_shared<ExportColumns>();
}

std::string ExportConfig::NumericFormat() const {
  std::string format = "0.";
  if (numDecimalPlaces_ > 0) format.append(static_cast<size_t>(numDecimalPlaces_), '0');
  return format;
}

std::string ExportConfig::ConvertedFieldDelimiter() const {
  if (outputType_ != Delimited) return {};
  if (Strings::UCase(fieldDelimiter_) == "<TAB>") return "\t";
  return fieldDelimiter_;
}

std::string ExportConfig::ConvertedRowDelimiter() const {
  switch (rowDelimiter_) {
    case RowCrLf: return "\r\n";
    case RowCr: return "\r";
    case RowLf: return "\n";
    case RowCustom: return customRowDelimiter_;
    default: return {};
  }
}

std::string ExportConfig::FinishRow(std::string_view pstrRow) const {
  std::string row(pstrRow);
  FinishRowInPlace(row, RowLayout::Of(*this));
  return row;
}

}  // namespace qx6
