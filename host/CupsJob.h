// A print job as the print system (CUPS) tells of it, from its page log or
// from its scheduler, before it becomes a row of the job database.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace qx6::host {

struct CupsJob {
  std::string where;    // for messages: "PATH:LINE" of its last line, or "job N at SERVER"
  std::string server;   // the print server's name
  std::string printer;  // the queue that printed it
  int64_t id = 0;       // the scheduler's job id, which restarts when the spool is cleared
  int64_t time = 0;     // Unix time of the job's Date/Time
  int64_t identityTime = 0;  // Unix time that tells it from an earlier job of the same id
  int32_t state = 9;    // IPP job-state: 7 canceled, 8 aborted, 9 completed
  std::optional<int64_t> pagesPerCopy;  // counted from the page log's page lines
  // IPP job attributes by name, each value as the scheduler writes it (several
  // values comma separated); an attribute CUPS did not give is absent.
  std::map<std::string, std::string, std::less<>> attributes;

  const std::string* Attribute(std::string_view name) const {
    auto found = attributes.find(name);
    return found == attributes.end() ? nullptr : &found->second;
  }
};

// The key that names the job where it came from, so that a second import
// skips it: "cups:<server>/<printer>/<job id>/<identity time>".
inline std::string OriginKey(const CupsJob& job) {
  return "cups:" + job.server + "/" + job.printer + "/" + std::to_string(job.id) + "/" +
         std::to_string(job.identityTime);
}

// Receives a message about a line or job that is skipped ("PATH:LINE: why").
using CupsReport = std::function<void(const std::string& message)>;

}  // namespace qx6::host
