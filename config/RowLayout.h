// How a configuration completes its fields and rows: the derived delimiters
// and options, read once per run so that the per-job path needs no property
// calls. ExportColumn::FinishColumn and ExportConfig::FinishRow use it too.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qx6 {

class ExportColumn;
class ExportConfig;

struct RowLayout {
  int32_t outputType = 0;
  bool stringsInQuotes = true;
  bool beginningDelimiter = false;
  bool trailingDelimiter = false;
  std::string fieldDelimiter;  // converted
  std::string rowDelimiter;    // converted

  static RowLayout Of(const ExportConfig& config);
};

struct ColumnLayout {
  int16_t width = -1;
  bool rightJustify = false;
  std::string padChar;  // the first character of PadChar, or a space

  static ColumnLayout Of(const ExportColumn& column);
};

// Appends the value fitted to the column: cut or padded to the width in
// fixed-width output (error 5 for a negative width), quoted in delimited
// output with quotes. Widths count characters.
void AppendFinishedColumn(std::string& out, std::string_view value, const ColumnLayout& column,
                          const RowLayout& row);

// The same for a value already at the end of `out`, from `start` on: cut or
// padded in place to the column's width (error 5 for a negative width).
void FitColumnInPlace(std::string& out, size_t start, const ColumnLayout& column);

// Adds the leading delimiter, drops a one-character trailing delimiter
// unless wanted, and appends the row delimiter.
void FinishRowInPlace(std::string& row, const RowLayout& layout);

}  // namespace qx6
