// The default column set: every titled host column, the host's first eight
// first, then those from 40 on, then 9 to 39.
#include "config/ExportConfig.h"
#include "hostapi/JobColumns.h"
#include "runtime/RuntimeError.h"

namespace qx6 {

void ExportConfig::SetColumnsToDefault() {
  auto columns = std::make_shared<ExportColumns>();
  columns_ = columns;
  ComPtr<IJobColumns> host = SharedExportColumns();
  if (!host) Raise(91);
  auto visit = [&](int32_t from, int32_t to) {
    for (int32_t position = from; position <= to; ++position) {
      IJobColumn& hostColumn = ColumnAt(*host, position);
      if (hostColumn.DisplayName().empty()) continue;
      auto column = std::make_shared<ExportColumn>();
      int32_t id = hostColumn.ColumnId();
      if (id < -32768 || id > 32767) Raise(RuntimeErrorNumber::Overflow);
      column->SetIndex(static_cast<int16_t>(id));
      column->SetName(hostColumn.DisplayName());
      columns->Add(std::move(column));
    }
  };
  visit(1, 8);
  visit(40, host->Count());
  visit(9, 39);
}

}  // namespace qx6
