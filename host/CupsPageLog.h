// The print system's page log (cupsd's page_log): its lines split by the
// PageLogFormat that wrote them, its rotated files found and read in order,
// plain or gzip-compressed, and its lines gathered into finished jobs.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/CupsJob.h"

namespace qx6::host {

// One line of the page log, split by its format.
struct PageLogLine {
  std::string printer;           // %p
  std::string user;              // %u
  int64_t jobId = -1;            // %j
  std::optional<int64_t> time;   // %T, as Unix time
  std::string page;              // %P: a page number, or "total" on the line that ends a job
  std::optional<int64_t> copies; // %C: the copies of that page, or on a "total" line the job's impressions
  std::map<std::string, std::string, std::less<>> attributes;  // %{name}; "-" (none) left out
};

class PageLogFormat {
 public:
  // What cupsd writes when told to log pages with the standard items.
  static constexpr std::string_view Standard =
      "%p %u %j %T %P %C %{job-billing} %{job-originating-host-name} %{job-name} %{media} %{sides}";

  // std::runtime_error for a format that cannot name a job: it must log the
  // printer (%p), the job id (%j) and a time (%T or %{time-at-creation}).
  explicit PageLogFormat(std::string_view format);

  // False, with the reason, when the line does not fit the format. The user
  // and the attributes of free text (job-name, job-billing, ...) may hold
  // spaces, keywords and numbers not; where that leaves a choice, the later
  // field of free text takes them.
  bool Parse(std::string_view line, PageLogLine& out, std::string& why) const;

  const std::string& Text() const { return text_; }
  bool LogsPages() const { return logsPages_; }  // has %P

 private:
  enum class Kind { Literal, Printer, User, JobId, Time, Page, Copies, Attribute };
  struct Item {
    Kind kind;
    std::string text;     // the literal, or the attribute's name
    bool spaces = false;  // an attribute whose values may hold spaces
  };
  bool Match(std::string_view line, size_t item, size_t at, std::vector<std::string_view>& values,
             int& budget) const;
  bool Fits(const Item& item, std::string_view value) const;

  std::string text_;
  std::vector<Item> items_;
  bool logsPages_ = false;
};

// The page log format of a cupsd.conf: its PageLogFormat, or the standard one
// when it names none; nullopt when it turns page logging off (an empty
// PageLogFormat, as Debian's default file does). std::runtime_error when the
// file cannot be read.
std::optional<std::string> PageLogFormatOf(const std::string& cupsdConf);

// "[07/Dec/2026:14:05:33 +0000]" as Unix time.
std::optional<int64_t> ParseLogTime(std::string_view text);

// The page log at `path` and its rotated files, oldest first: logrotate's
// with a date (`path-YYYYMMDD`, `.gz`) by date, its numbered ones
// (`path.N`, `path.N.gz`) from the highest number down, then cupsd's own
// `path.O`, then `path` itself. Only those that exist.
std::vector<std::string> PageLogFiles(const std::string& path);

struct PageLogJobs {
  std::vector<CupsJob> jobs;  // finished jobs, in the order they finished
  int64_t lines = 0;          // lines read
  int64_t skippedLines = 0;   // lines reported and skipped
  int64_t pendingJobs = 0;    // jobs still printing: no line has ended them yet
};

// Reads `files` in order as one log. A job ends with its "total" line (or,
// in a log without them, when its printer starts another job); a job not
// ended yet is left for a later run, as is a last line still being written
// (no line feed yet). A line that cannot be read is reported as
// "PATH:LINE: why" and skipped; a damaged compressed file is reported and
// read no further. std::runtime_error when a file cannot be opened.
PageLogJobs ReadPageLogs(const std::vector<std::string>& files, const PageLogFormat& format,
                         const std::string& server, const CupsReport& report);

}  // namespace qx6::host
