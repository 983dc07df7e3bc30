#include "config/ExportColumn.h"

#include "runtime/Strings.h"

namespace qx6 {

void ExportColumn::SetPadChar(std::string_view value) { padChar_ = Strings::Trim(value); }

void ExportColumn::SetFieldName(std::string_view value) { fieldName_ = Strings::Trim(value); }

}  // namespace qx6
