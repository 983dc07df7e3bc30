#include "host/ExportRun.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>

#include "runtime/Conversion.h"
#include "runtime/RuntimeError.h"

namespace qx6::host {
namespace {

constexpr int64_t ProgressFrom = 20000;  // jobs; shorter runs need no bar

class ProgressBar {
 public:
  ProgressBar(bool enabled, int64_t total)
      : enabled_(enabled && total >= ProgressFrom), total_(total), start_(std::chrono::steady_clock::now()) {}
  ~ProgressBar() {
    if (enabled_ && drawn_) std::fputs("\r\033[K", stderr);
  }
  void Update(int64_t done) {
    if (!enabled_ || (done & 0x3FFF) != 0) return;
    const int width = 30;
    const int filled = static_cast<int>(width * done / total_);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    const long left = rate > 0 ? std::lround(static_cast<double>(total_ - done) / rate) : 0;
    std::fprintf(stderr, "\r[%.*s%*s] %3d%% %lld/%lld jobs, %.0f jobs/s, %ld:%02ld left\033[K", filled,
                 "##############################", width - filled, "", static_cast<int>(100 * done / total_),
                 static_cast<long long>(done), static_cast<long long>(total_), rate, left / 60, left % 60);
    std::fflush(stderr);
    drawn_ = true;
  }

 private:
  bool enabled_;
  int64_t total_;
  std::chrono::steady_clock::time_point start_;
  bool drawn_ = false;
};

std::atomic<int> interruptedBy{0};  // the signal that asked the run to stop

// While it lives, SIGINT and SIGTERM only note themselves in interruptedBy
// (once: the next one has its default effect again).
class SignalsStopTheRun {
 public:
  explicit SignalsStopTheRun(bool enabled) : enabled_(enabled) {
    if (!enabled_) return;
    interruptedBy.store(0);
    struct sigaction action {};
    action.sa_handler = [](int signal) { interruptedBy.store(signal, std::memory_order_relaxed); };
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, &previousInt_);
    sigaction(SIGTERM, &action, &previousTerm_);
  }
  ~SignalsStopTheRun() {
    if (!enabled_) return;
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
    interruptedBy.store(0);
  }
  SignalsStopTheRun(const SignalsStopTheRun&) = delete;
  SignalsStopTheRun& operator=(const SignalsStopTheRun&) = delete;

 private:
  bool enabled_;
  struct sigaction previousInt_ {}, previousTerm_ {};
};

// Closes the exporter's file after a failure; the file's path, or "" when
// closing failed too (the first failure is the one to report).
std::string CloseAfterFailure(ExporterSession& session) {
  try {
    session.DoneExport();
    return session.EmailableResultsPath();
  } catch (...) {
    return {};
  }
}

// "job 1234, the 57th of the run": which job the exporter refused.
std::string JobContext(const IJobColumns& job, int64_t position) {
  const Variant& id = ColumnAt(job, 1).Value();
  std::string text = "job ";
  try {
    text += id.Type() == VarType::Null ? std::string("without a Job ID") : Convert::ToText(id);
  } catch (const RuntimeError&) {
    text += "?";
  }
  const int64_t lastTwo = position % 100;
  const char* suffix = (lastTwo >= 11 && lastTwo <= 13) ? "th"
                       : position % 10 == 1             ? "st"
                       : position % 10 == 2             ? "nd"
                       : position % 10 == 3             ? "rd"
                                                        : "th";
  return text + ", the " + std::to_string(position) + suffix + " of the run";
}

}  // namespace

std::string RunFailed::Note() const {
  const std::string where = jobs_ == 0 ? std::string("before its first job")
                                       : "after " + std::to_string(jobs_) + (jobs_ == 1 ? " job" : " jobs");
  return output_ + " is incomplete: the export stopped " + where;
}

std::string ErrorText(const std::exception& error) {
  if (const auto* runtime = dynamic_cast<const RuntimeError*>(&error))
    return "error " + std::to_string(runtime->Number()) + ": " + runtime->Description() +
           (runtime->Detail().empty() ? "" : " (" + runtime->Detail() + ")");
  return error.what();
}

RunResult RunExport(ExporterSession& session, const JobDatabase& database, const std::function<bool()>& start,
                    const RunOptions& options) {
  RunResult result;
  result.started = start();
  if (!result.started) {
    result.lastError = session.GetLastError();
    return result;
  }
  ComPtr<IJobColumns> job = MakeHostColumns();
  IJobColumns* jobPointer = job.Get();
  const SignalsStopTheRun signals(options.stopOnSignals);
  try {
    std::vector<SortKey> order;
    for (const SortColumn& column : session.GetSortCols()) order.push_back({column.columnId, column.ascending});
    const int64_t total = options.progress ? database.CountJobs(options.range) : 0;
    ProgressBar bar(options.progress, total);
    database.ForEachJob(order, options.range, *job, [&] {
      if (const int signal = interruptedBy.load(std::memory_order_relaxed)) [[unlikely]] {
        RuntimeError stop(RuntimeErrorNumber::UserInterrupt);
        stop.SetDetail(signal == SIGINT ? "SIGINT" : "SIGTERM");
        throw stop;
      }
      try {
        session.WriteJob(jobPointer);
      } catch (ExportError& error) {
        error.AddContext(JobContext(*jobPointer, result.jobs + 1));
        throw;
      }
      bar.Update(++result.jobs);
      return true;
    });
  } catch (const std::exception& error) {
    // Close the file with what was written, then report the first failure
    // and where the run stopped.
    const std::string output = CloseAfterFailure(session);
    throw RunFailed(ErrorText(error), output.empty() ? std::string("the output file") : output, result.jobs);
  } catch (...) {
    CloseAfterFailure(session);
    throw;
  }
  session.DoneExport();
  result.path = session.EmailableResultsPath();
  return result;
}

}  // namespace qx6::host
