#include "config/RowLayout.h"

#include "config/ExportConfig.h"
#include "runtime/RuntimeError.h"
#include "runtime/Strings.h"

namespace qx6 {

RowLayout RowLayout::Of(const ExportConfig& config) {
  RowLayout layout;
  layout.outputType = config.OutputType();
  layout.stringsInQuotes = config.StringsInQuotes();
  layout.beginningDelimiter = config.BeginningDelimiter();
  layout.trailingDelimiter = config.TrailingDelimiter();
  layout.fieldDelimiter = config.ConvertedFieldDelimiter();
  layout.rowDelimiter = config.ConvertedRowDelimiter();
  return layout;
}

ColumnLayout ColumnLayout::Of(const ExportColumn& column) {
  ColumnLayout layout;
  layout.width = column.Width();
  layout.rightJustify = column.RightJustify();
  layout.padChar = column.PadChar().empty() ? std::string(" ") : std::string(Strings::Left(column.PadChar(), 1));
  return layout;
}

void FitColumnInPlace(std::string& out, size_t start, const ColumnLayout& column) {
  const std::string_view value(out.data() + start, out.size() - start);
  const int32_t width = column.width;
  const int32_t length = Strings::IsAscii(value) ? static_cast<int32_t>(value.size()) : Strings::Len(value);
  if (length > width) {
    // Cutting to a negative width is an invalid argument, as the original's Left was.
    if (width < 0) Raise(RuntimeErrorNumber::InvalidProcedureCall);
    out.resize(start + Strings::Left(value, width).size());
  } else if (length < width) {
    const auto count = static_cast<size_t>(width - length);
    const size_t at = column.rightJustify ? start : out.size();
    if (column.padChar.size() == 1) {
      out.insert(at, count, column.padChar.front());
    } else {
      std::string pad;
      pad.reserve(count * column.padChar.size());
      for (size_t i = 0; i < count; ++i) pad += column.padChar;
      out.insert(at, pad);
    }
  }
}

void AppendFinishedColumn(std::string& out, std::string_view value, const ColumnLayout& column,
                          const RowLayout& row) {
  if (row.outputType == ExportConfig::FixedWidth) {
    const size_t start = out.size();
    out.append(value);
    FitColumnInPlace(out, start, column);
    return;
  }
  if (row.outputType == ExportConfig::Delimited && row.stringsInQuotes) {
    out += '"';
    out.append(value);
    out += '"';
    return;
  }
  out.append(value);
}

void FinishRowInPlace(std::string& row, const RowLayout& layout) {
  if (layout.outputType == ExportConfig::Delimited) {
    if (layout.beginningDelimiter) row.insert(0, layout.fieldDelimiter);
    // Only a one-character delimiter is dropped after the last field.
    if (!layout.trailingDelimiter && Strings::Len(layout.fieldDelimiter) == 1 && !row.empty()) {
      size_t last = row.size() - 1;
      while (last > 0 && (static_cast<unsigned char>(row[last]) & 0xC0) == 0x80) --last;
      row.erase(last);
    }
  }
  row += layout.rowDelimiter;
}

}  // namespace qx6
