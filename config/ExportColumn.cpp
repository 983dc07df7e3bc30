#include "config/ExportColumn.h"

#include "config/ExportConfig.h"
#include "config/RowLayout.h"
#include "runtime/Strings.h"

namespace qx6 {

void ExportColumn::SetPadChar(std::string_view value) { padChar_ = Strings::Trim(value); }

void ExportColumn::SetFieldName(std::string_view value) { fieldName_ = Strings::Trim(value); }

Variant ExportColumn::FinishColumn(const ExportConfig& pinsConfig, std::string_view pstrValue) const {
  std::string text;
  AppendFinishedColumn(text, pstrValue, ColumnLayout::Of(*this), RowLayout::Of(pinsConfig));
  return Variant::String(text);
}

}  // namespace qx6
