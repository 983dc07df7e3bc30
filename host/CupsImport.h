// `qx6export jobs import-cups`: finished jobs from the print system (CUPS)
// into the job database, from its page log or from its scheduler over IPP,
// each job once however often the import runs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/CupsJob.h"
#include "host/JobDatabase.h"
#include "runtime/Variant.h"

namespace qx6::host::CupsImport {

// What a host column holds when CUPS does not say.
enum class WhenUnknown {
  Null,
  Zero,        // a column that configurations total
  No,          // a Yes/No column
  NextFreeId,  // the job id: the host gives the next free one
};

// One row of the mapping from CUPS to the host columns; the same table is
// in docs/cups.md.
struct ColumnRule {
  int32_t column;
  std::string_view cupsField;  // the page log's sequence and the IPP attribute it comes from
  Variant (*value)(const CupsJob& job);  // Null when the job does not say
  WhenUnknown whenUnknown;
};
const std::vector<ColumnRule>& MappingTable();

// The values of one job's host columns in host order (index 0 is column 1),
// with the defaults of the table filled in.
std::vector<Variant> HostValues(const CupsJob& job);

struct Counts {
  int64_t imported = 0;  // new jobs written
  int64_t known = 0;     // jobs imported before, by their origin key
  int64_t skipped = 0;   // jobs that could not be written, reported
};

// Writes the jobs new to the database, all in one transaction; a job that
// cannot be written is reported and skipped.
Counts ImportJobs(JobDatabase& database, const std::vector<CupsJob>& jobs, const CupsReport& report);

struct Request {
  std::vector<std::string> pageLogs;  // page logs to read, each with its rotated files
  std::string pageLogFormat;          // empty: from cupsd.conf
  std::string cupsdConf = "/etc/cups/cupsd.conf";
  bool ipp = false;                   // ask the scheduler too
  std::string server;                 // the scheduler; empty: libcups's default
  std::string printServer;            // the Print Server column and the origin keys; empty: see PrintServerName
};

// The name a server goes by in the Print Server column and in the origin
// keys: this machine's host name for a local scheduler (a socket path,
// localhost, 127.0.0.1, ::1) and for page logs, else the host named.
std::string PrintServerName(const std::string& server);

struct Gathered {
  std::vector<CupsJob> jobs;
  int64_t skippedLines = 0;
  int64_t pendingJobs = 0;
};

// Reads every source of the request. std::runtime_error when a source
// cannot be read at all (no page log, page logging off, a scheduler out of
// reach), so that nothing is written.
Gathered Gather(const Request& request, const CupsReport& report);

// "N jobs imported, M known already, K lines skipped" and what else there is to say.
std::string SummaryText(const Gathered& gathered, const Counts& counts);

}  // namespace qx6::host::CupsImport
