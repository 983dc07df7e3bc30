// Any bytes as a CSV file for `jobs import`, into a job database in memory:
// the import either stores every row or reports the fault and keeps none,
// never a crash; what it stored reads back, as many jobs as it counted.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "host/CsvImport.h"
#include "host/JobDatabase.h"
#include "runtime/RuntimeError.h"

using namespace qx6;
using namespace qx6::host;

namespace {

// Small enough that the record limit is reached within the inputs explored.
constexpr size_t kMaxRecordBytes = 4096;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  JobDatabase database(":memory:", OpenMode::Create);
  std::istringstream input(std::string(reinterpret_cast<const char*>(data), size));
  int64_t imported = -1;
  try {
    imported = CsvImport::Import(database, input, "fuzz.csv", kMaxRecordBytes);
  } catch (const RuntimeError& e) {
    // A refused file names itself and keeps nothing.
    if (e.Description().find("fuzz.csv") == std::string::npos) std::abort();
    if (database.CountJobs() != 0) std::abort();
    return 0;
  }
  auto job = MakeHostColumns();
  int64_t read = 0;
  database.ForEachJob({{12, true}, {2, false}}, {}, *job, [&] { return ++read, true; });
  if (read != imported || database.CountJobs() != imported) std::abort();
  return 0;
}
