// Any bytes as a CUPS page log for `jobs import-cups`: its first line is the
// PageLogFormat when that is one (else the standard format is used), the
// rest the log. Lines that cannot be read are reported and skipped, never a
// crash; every job read maps to host values and is stored once.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

#include "fuzz/FuzzFile.h"
#include "host/CupsImport.h"
#include "host/CupsPageLog.h"
#include "host/JobDatabase.h"

using namespace qx6;
using namespace qx6::host;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const size_t newline = text.find('\n');
  std::string formatText(PageLogFormat::Standard);
  std::string log = text;
  if (newline != std::string::npos && text.compare(0, 2, "%p") == 0) {
    formatText = text.substr(0, newline);
    log = text.substr(newline + 1);
  }
  std::unique_ptr<PageLogFormat> format;
  try {
    format = std::make_unique<PageLogFormat>(formatText);
  } catch (const std::runtime_error&) {
    format = std::make_unique<PageLogFormat>(PageLogFormat::Standard);
  }
  const std::string path = fuzz::WriteScratch("page_log", reinterpret_cast<const uint8_t*>(log.data()), log.size());
  int64_t reports = 0;
  const PageLogJobs read = ReadPageLogs({path}, *format, "fuzz", [&](const std::string& message) {
    if (message.rfind(path + ":", 0) != 0) std::abort();  // every report names the file and line
    ++reports;
  });
  std::remove(path.c_str());
  if (reports != read.skippedLines || read.skippedLines > read.lines) std::abort();
  JobDatabase database(":memory:", OpenMode::Create);
  const CupsImport::Counts counts = CupsImport::ImportJobs(database, read.jobs, [](const std::string&) {});
  if (counts.imported + counts.known + counts.skipped != static_cast<int64_t>(read.jobs.size())) std::abort();
  if (database.CountJobs() != counts.imported) std::abort();
  // Again: every job is known.
  const CupsImport::Counts again = CupsImport::ImportJobs(database, read.jobs, [](const std::string&) {});
  if (again.imported != 0 || database.CountJobs() != counts.imported) std::abort();
  return 0;
}
