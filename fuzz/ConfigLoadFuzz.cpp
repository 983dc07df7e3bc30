// Any bytes as a configuration file: Load either reads them or reports a
// conversion error, never a crash. What it read must also be consistent
// enough to lay out a row.
#include <cstdint>

#include "config/ExportConfig.h"
#include "fuzz/FuzzFile.h"
#include "hostapi/JobColumn.h"
#include "hostapi/JobColumns.h"
#include "runtime/RuntimeError.h"

using namespace qx6;

namespace {

// The host's 45 columns, which the loader maps older column numbers onto.
void InstallHostColumns() {
  static const bool done = [] {
    auto columns = MakeObject<JobColumns>();
    for (int16_t id = 1; id <= 45; ++id) columns->Add(MakeObject<JobColumn>(id, "Column " + std::to_string(id)).Get());
    SetSharedExportColumns(columns);
    return true;
  }();
  (void)done;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InstallHostColumns();
  const std::string path = fuzz::WriteScratch("cfg", data, size);
  ExportConfig config;
  try {
    if (!config.Load(path)) return 0;
  } catch (const RuntimeError&) {
    return 0;  // a value that does not convert: the caller's error
  }
  // Whatever was read finishes a row without touching memory it does not own.
  (void)config.FinishRow("a,b");
  return 0;
}
