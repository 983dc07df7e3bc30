// One export as the host runs it: start the exporter, ask it for the order,
// read the jobs in that order from the database, hand them over one by one
// and finish, with a progress bar on a terminal for long runs.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "host/ExporterSession.h"
#include "host/JobDatabase.h"

namespace qx6::host {

struct RunOptions {
  DateRange range;
  bool progress = false;  // draw a progress bar on standard error
  // Once the export has started, SIGINT and SIGTERM stop it before the next
  // job with error 18 (the file closed, RunFailed saying where); a second
  // signal ends the program at once, as without.
  bool stopOnSignals = false;
};

struct RunResult {
  bool started = false;
  int64_t jobs = 0;
  std::string path;       // EmailableResultsPath after a started run
  std::string lastError;  // GetLastError after a run that did not start
};

// A run that failed after its output was opened: the failure as ErrorText
// tells it, and where the run stopped, since the output holds the rows of
// the jobs before that point only (for a summary, a last row whose totals
// stop there too).
class RunFailed : public std::runtime_error {
 public:
  RunFailed(const std::string& error, std::string output, int64_t jobs)
      : std::runtime_error(error), output_(std::move(output)), jobs_(jobs) {}
  // "PATH is incomplete: the export stopped after 2 jobs".
  std::string Note() const;
  // Standard output, say, instead of the path the exporter wrote to.
  void ShowOutputAs(std::string name) { output_ = std::move(name); }

 private:
  std::string output_;
  int64_t jobs_;
};

// "error 57: ... (detail)" for the runtime's errors, the message otherwise.
std::string ErrorText(const std::exception& error);

// `start` calls StartExport or QuickStartExport and returns its result.
// Once it has returned True, every failure ends the run with DoneExport and
// comes out as RunFailed.
RunResult RunExport(ExporterSession& session, const JobDatabase& database, const std::function<bool()>& start,
                    const RunOptions& options);

}  // namespace qx6::host
