// One named export configuration: the output file, the delimited or
// fixed-width format, the row delimiter, stripping, date and number formats
// and the output columns. The derived delimiters are what a run writes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "config/ExportColumn.h"

namespace qx6 {

class ExportConfig {
 public:
  // Output types, export types, create options and row delimiter codes.
  static constexpr int32_t Delimited = 0, FixedWidth = 1;
  static constexpr int32_t Details = 0, Summary = 1;
  static constexpr int32_t CreateNew = 0, AppendRows = 1, CreateWithDateTime = 2;
  static constexpr int32_t RowCrLf = 0, RowCr = 1, RowLf = 2, RowNone = 3, RowCustom = 4;
  static constexpr int16_t CurrentVersion = 4;

  ExportConfig();

  // Trimmed.
  const std::string& OutputFile() const noexcept { return outputFile_; }
  void SetOutputFile(std::string_view value);
  int32_t OutputType() const noexcept { return outputType_; }
  void SetOutputType(int32_t value) noexcept { outputType_ = value; }
  int16_t NumDecimalPlaces() const noexcept { return numDecimalPlaces_; }
  void SetNumDecimalPlaces(int16_t value) noexcept { numDecimalPlaces_ = value; }
  // "0." followed by NumDecimalPlaces zeros.
  std::string NumericFormat() const;
  // As entered; "<TAB>" in any letter case stands for a tab.
  const std::string& FieldDelimiter() const noexcept { return fieldDelimiter_; }
  void SetFieldDelimiter(std::string_view value) { fieldDelimiter_ = value; }
  // Empty unless delimited; a tab for "<TAB>"; else FieldDelimiter.
  std::string ConvertedFieldDelimiter() const;
  bool StringsInQuotes() const noexcept { return stringsInQuotes_; }
  void SetStringsInQuotes(bool value) noexcept { stringsInQuotes_ = value; }
  bool TrailingDelimiter() const noexcept { return trailingDelimiter_; }
  void SetTrailingDelimiter(bool value) noexcept { trailingDelimiter_ = value; }
  int32_t RowDelimiter() const noexcept { return rowDelimiter_; }
  void SetRowDelimiter(int32_t value) noexcept { rowDelimiter_ = value; }
  // CR LF, CR, LF, nothing, CustomRowDelimiter; any other code nothing.
  std::string ConvertedRowDelimiter() const;
  // Trimmed.
  const std::string& Name() const noexcept { return name_; }
  void SetName(std::string_view value);
  bool ColumnNames() const noexcept { return columnNames_; }
  void SetColumnNames(bool value) noexcept { columnNames_ = value; }
  // Trimmed.
  const std::string& DateFormat() const noexcept { return dateFormat_; }
  void SetDateFormat(std::string_view value);
  // Trimmed; no "<TAB>" conversion.
  const std::string& CustomRowDelimiter() const noexcept { return customRowDelimiter_; }
  void SetCustomRowDelimiter(std::string_view value);
  bool BeginningDelimiter() const noexcept { return beginningDelimiter_; }
  void SetBeginningDelimiter(bool value) noexcept { beginningDelimiter_ = value; }
  // The collection itself, not a copy.
  const std::shared_ptr<ExportColumns>& Columns() const noexcept { return columns_; }
  void SetColumns(std::shared_ptr<ExportColumns> value);
  int32_t ExportType() const noexcept { return exportType_; }
  void SetExportType(int32_t value) noexcept { exportType_ = value; }
  bool AutoStripDelimiters() const noexcept { return autoStripDelimiters_; }
  void SetAutoStripDelimiters(bool value) noexcept { autoStripDelimiters_ = value; }
  // Trimmed.
  const std::string& StripChars() const noexcept { return stripChars_; }
  void SetStripChars(std::string_view value);
  int32_t CreateOption() const noexcept { return createOption_; }
  void SetCreateOption(int32_t value) noexcept { createOption_ = value; }
  bool IsDefault() const noexcept { return isDefault_; }
  void SetIsDefault(bool value) noexcept { isDefault_ = value; }

  // The file format version the object was read from (4 once read), and the
  // file it was last read from or written to.
  int16_t Version() const noexcept { return version_; }
  const std::string& ConfigFile() const noexcept { return configFile_; }

  // Reads a configuration file into this new object. False when the file
  // cannot be opened; a value that cannot be converted raises its error
  // (13 or 6) with the properties read so far kept.
  bool Load(const std::string& pstrConfigFile);
  // Writes the configuration into the standard folder under its file name;
  // a file that cannot be opened is reported in a message box. Does
  // nothing for the built-in configuration.
  void Save();
  // Deletes the configuration's file; a failure is reported in a message
  // box. False for the built-in configuration.
  bool Delete();
  // The completed row: leading delimiter, trailing delimiter rule, row
  // delimiter.
  std::string FinishRow(std::string_view pstrRow) const;

  // Replaces Columns with every titled host column of the thread's shared
  // column collection: 1 to 8, then 40 onwards, then 9 to 39.
  void SetColumnsToDefault();

  // A host column number stored by an earlier format version, in today's
  // numbering (the object's Version decides).
  int16_t MapColumnIndex(int16_t index) const;

 private:
  void WriteContent(int16_t fileNumber) const;

  std::string outputFile_;
  int32_t outputType_ = Delimited;
  int16_t numDecimalPlaces_ = 0;
  std::string fieldDelimiter_ = ",";
  bool stringsInQuotes_ = true;
  bool trailingDelimiter_ = false;
  int32_t rowDelimiter_ = RowCrLf;
  std::string name_;
  bool columnNames_ = false;
  std::string dateFormat_ = "MMM dd, yyyy hh:mm:ss";
  std::string customRowDelimiter_;
  bool beginningDelimiter_ = false;
  std::shared_ptr<ExportColumns> columns_;
  int32_t exportType_ = Details;
  bool autoStripDelimiters_ = false;
  std::string stripChars_;
  int32_t createOption_ = CreateNew;
  bool isDefault_ = false;

  int16_t version_ = CurrentVersion;
  std::string configFile_;
};

using ExportConfigPtr = std::shared_ptr<ExportConfig>;
// The configurations an exporter offers, keyed by Name.
using ExportConfigs = Collection<ExportConfigPtr>;

}  // namespace qx6
