// One export as the host runs it: start the exporter, ask it for the order,
// read the jobs in that order from the database, hand them over one by one
// and finish, with a progress bar on a terminal for long runs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "host/ExporterSession.h"
#include "host/JobDatabase.h"

namespace qx6::host {

struct RunOptions {
  DateRange range;
  bool progress = false;  // draw a progress bar on standard error
};

struct RunResult {
  bool started = false;
  int64_t jobs = 0;
  std::string path;       // EmailableResultsPath after a started run
  std::string lastError;  // GetLastError after a run that did not start
};

// `start` calls StartExport or QuickStartExport and returns its result.
// ExportError from WriteJob or DoneExport passes through.
RunResult RunExport(ExporterSession& session, const JobDatabase& database, const std::function<bool()>& start,
                    const RunOptions& options);

}  // namespace qx6::host
