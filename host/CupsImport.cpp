#include "host/CupsImport.h"

#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <charconv>
#include <ctime>
#include <limits>
#include <stdexcept>

#include "host/CupsIpp.h"
#include "host/CupsPageLog.h"
#include "host/HostColumns.h"
#include "runtime/DateTime.h"
#include "runtime/RuntimeError.h"

namespace qx6::host::CupsImport {
namespace {

std::optional<int64_t> Number(const CupsJob& job, std::string_view name) {
  const std::string* text = job.Attribute(name);
  int64_t value = 0;
  if (!text || text->empty()) return std::nullopt;
  const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (ec != std::errc() || end != text->data() + text->size() || value < 0 ||
      value > std::numeric_limits<int32_t>::max())
    return std::nullopt;
  return value;
}

Variant Text(const CupsJob& job, std::string_view name) {
  const std::string* text = job.Attribute(name);
  return text ? Variant::String(*text) : Variant::Null();
}

Variant Whole(std::optional<int64_t> value) {
  return value ? Variant::Long(static_cast<int32_t>(*value)) : Variant::Null();
}

bool Printed(const CupsJob& job) { return job.state == 9; }

std::optional<int64_t> Impressions(const CupsJob& job) { return Number(job, "job-impressions-completed"); }

std::optional<bool> IsColour(const CupsJob& job) {
  const std::string* mode = job.Attribute("print-color-mode");
  if (!mode) return std::nullopt;
  return *mode == "color";
}

// Unix time as a date serial of local time, as the job database keeps dates.
double LocalSerial(int64_t unixTime) {
  const std::time_t t = static_cast<std::time_t>(unixTime);
  std::tm local{};
  localtime_r(&t, &local);
  return DateTime::Combine(DateTime::DateSerial(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
                           DateTime::TimeSerial(local.tm_hour, local.tm_min, local.tm_sec));
}

// A media name as people write it: "iso_a4_210x297mm" and "a4" are "A4",
// "na_letter_8.5x11in" is "Letter"; a name of no known form stays as it is.
std::string PaperSize(std::string media) {
  media = media.substr(0, media.find(','));
  const size_t first = media.find('_'), last = media.rfind('_');
  if (first != std::string::npos && last != first) {
    const std::string size = media.substr(last + 1);
    if (size.size() > 2 && (size.ends_with("mm") || size.ends_with("in")) && size.find('x') != std::string::npos)
      media = media.substr(first + 1, last - first - 1);
  }
  if (!media.empty()) media[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(media[0])));
  return media;
}

// Impressions of one copy: counted from the page log's pages, else the
// impressions over the copies, rounded up (a cancelled copy still printed).
std::optional<int64_t> PagesPerCopy(const CupsJob& job) {
  if (job.pagesPerCopy) return job.pagesPerCopy;
  const auto impressions = Impressions(job);
  const auto copies = Number(job, "copies");
  if (!impressions || !copies || *copies == 0) return std::nullopt;
  return (*impressions + *copies - 1) / *copies;
}

}  // namespace

const std::vector<ColumnRule>& MappingTable() {
  using U = WhenUnknown;
  static const std::vector<ColumnRule> table = {
      {1, "(none: CUPS ids restart)", [](const CupsJob&) { return Variant::Null(); }, U::NextFreeId},
      {2, "%u, job-originating-user-name",
       [](const CupsJob& j) { return Text(j, "job-originating-user-name"); }, U::Null},
      {5, "%{job-billing}, job-billing", [](const CupsJob& j) { return Text(j, "job-billing"); }, U::Null},
      {6, "%p, job-printer-uri (its last part)", [](const CupsJob& j) { return Variant::String(j.printer); }, U::Null},
      {7, "%{job-name}, job-name", [](const CupsJob& j) { return Text(j, "job-name"); }, U::Null},
      {8, "%{job-originating-host-name}, job-originating-host-name",
       [](const CupsJob& j) { return Text(j, "job-originating-host-name"); }, U::Null},
      {9, "the server (--print-server, else its host name)",
       [](const CupsJob& j) { return Variant::String(j.server); }, U::Null},
      {10, "job-state: completed 0 Printed, canceled or aborted 1 Cancelled; a page log 0",
       [](const CupsJob& j) { return Variant::Long(Printed(j) ? 0 : 1); }, U::Null},
      {11, "%p, job-printer-uri (its last part)", [](const CupsJob& j) { return Variant::String(j.printer); }, U::Null},
      {12, "%{time-at-creation}, else the job's first %T; time-at-creation",
       [](const CupsJob& j) { return Variant::Date(LocalSerial(j.time)); }, U::Null},
      {15, "%{media}, media (PWG names shortened: iso_a4_210x297mm is A4)",
       [](const CupsJob& j) {
         const std::string* media = j.Attribute("media");
         return media ? Variant::String(PaperSize(*media)) : Variant::Null();
       },
       U::Null},
      {20, "%{sides}, sides: two-sided-* is Yes",
       [](const CupsJob& j) {
         const std::string* sides = j.Attribute("sides");
         return sides ? Variant::Boolean(sides->starts_with("two-sided")) : Variant::Null();
       },
       U::No},
      {21, "%{print-color-mode}, print-color-mode: color is Yes",
       [](const CupsJob& j) {
         const auto colour = IsColour(j);
         return colour ? Variant::Boolean(*colour) : Variant::Null();
       },
       U::No},
      {23, "page lines counted, else impressions / copies", [](const CupsJob& j) { return Whole(PagesPerCopy(j)); },
       U::Zero},
      {24, "%{copies}, copies; page lines (impressions / pages)",
       [](const CupsJob& j) { return Whole(Number(j, "copies")); }, U::Zero},
      {25, "%C of the total line, %{job-impressions-completed}, job-impressions-completed",
       [](const CupsJob& j) { return Whole(Impressions(j)); }, U::Zero},
      {26, "%{job-media-sheets-completed}, job-media-sheets-completed",
       [](const CupsJob& j) { return Whole(Number(j, "job-media-sheets-completed")); }, U::Zero},
      {27, "Yes for a printed job", [](const CupsJob& j) { return Variant::Boolean(Printed(j)); }, U::No},
      {28, "%{job-k-octets}, job-k-octets / 1024",
       [](const CupsJob& j) {
         const auto k = Number(j, "job-k-octets");
         return k ? Variant::Double(static_cast<double>(*k) / 1024.0) : Variant::Null();
       },
       U::Zero},
      {29, "Total Pages when Colour",
       [](const CupsJob& j) { return Variant::Long(IsColour(j).value_or(false) ? static_cast<int32_t>(Impressions(j).value_or(0)) : 0); },
       U::Zero},
      {30, "Total Pages when not Colour",
       [](const CupsJob& j) { return Variant::Long(IsColour(j).value_or(false) ? 0 : static_cast<int32_t>(Impressions(j).value_or(0))); },
       U::Zero},
      {31, "%j, job-id",
       [](const CupsJob& j) {
         return j.id <= std::numeric_limits<int32_t>::max() ? Variant::Long(static_cast<int32_t>(j.id)) : Variant::Null();
       },
       U::Null},
      {32, "(CUPS has no prices)", [](const CupsJob&) { return Variant::Null(); }, U::Zero},
      {33, "(CUPS has no prices)", [](const CupsJob&) { return Variant::Null(); }, U::Zero},
      {34, "(CUPS has no prices)", [](const CupsJob&) { return Variant::Null(); }, U::Zero},
      {35, "(CUPS has no prices)", [](const CupsJob&) { return Variant::Null(); }, U::Zero},
      {36, "Yes for a printed job (CUPS holds no job for release)",
       [](const CupsJob& j) { return Variant::Boolean(Printed(j)); }, U::No},
  };
  return table;
}

std::vector<Variant> HostValues(const CupsJob& job) {
  std::vector<Variant> values(HostColumnCount, Variant::Null());
  for (const ColumnRule& rule : MappingTable()) {
    Variant value = rule.value(job);
    if (value.Type() == VarType::Null) {
      switch (rule.whenUnknown) {
        case WhenUnknown::Zero:
          value = HostColumnTable()[rule.column - 1].kind == ColumnKind::Number ? Variant::Double(0) : Variant::Long(0);
          break;
        case WhenUnknown::No: value = Variant::Boolean(false); break;
        default: break;
      }
    }
    values[rule.column - 1] = value;
  }
  return values;
}

Counts ImportJobs(JobDatabase& database, const std::vector<CupsJob>& jobs, const CupsReport& report) {
  Counts counts;
  JobInserter inserter = database.BeginInsert();
  for (const CupsJob& job : jobs) {
    try {
      const std::vector<Variant> values = HostValues(job);
      for (int32_t column = 1; column <= HostColumnCount; ++column) inserter.SetValue(column, values[column - 1]);
      if (inserter.InsertOnce(OriginKey(job))) ++counts.imported;
      else ++counts.known;
    } catch (const RuntimeError& e) {
      // Every column is set again for the next job, so nothing of this one stays.
      report(job.where + ": " + e.Description() + "; the job is skipped");
      ++counts.skipped;
    }
  }
  inserter.Commit();
  return counts;
}

std::string PrintServerName(const std::string& server) {
  std::string host = server;
  if (!host.empty() && host[0] != '/') {
    const size_t colon = host.rfind(':');
    if (colon != std::string::npos && host.find(':') == colon) host.resize(colon);
  }
  if (host.empty() || host[0] == '/' || host == "localhost" || host == "127.0.0.1" || host == "::1" ||
      host == "[::1]") {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) == 0 && name[0]) return name;
    return "localhost";
  }
  return host;
}

Gathered Gather(const Request& request, const CupsReport& report) {
  Gathered gathered;
  if (!request.pageLogs.empty()) {
    std::string formatText = request.pageLogFormat;
    if (formatText.empty()) {
      std::error_code ec;
      if (std::filesystem::exists(request.cupsdConf, ec)) {
        const auto configured = PageLogFormatOf(request.cupsdConf);
        if (!configured)
          throw std::runtime_error(request.cupsdConf +
                                   " turns page logging off (an empty PageLogFormat): set it there, for example to \"" +
                                   std::string(PageLogFormat::Standard) +
                                   "\", and restart cupsd; or give the format of your logs with --page-log-format");
        formatText = *configured;
      } else {
        formatText = PageLogFormat::Standard;
      }
    }
    const PageLogFormat format(formatText);
    const std::string server = PrintServerName(request.printServer);
    for (const std::string& log : request.pageLogs) {
      std::error_code ec;
      if (std::filesystem::is_directory(log, ec))
        throw std::runtime_error(log + " is a folder; name the page log in it (" + log + "/page_log)");
      const std::vector<std::string> files = PageLogFiles(log);
      if (files.empty()) throw std::runtime_error("there is no page log " + log + " (nor any rotated one beside it)");
      PageLogJobs read = ReadPageLogs(files, format, server, report);
      gathered.skippedLines += read.skippedLines;
      gathered.pendingJobs += read.pendingJobs;
      for (CupsJob& job : read.jobs) gathered.jobs.push_back(std::move(job));
    }
  }
  if (request.ipp) {
    const std::string name = PrintServerName(!request.printServer.empty() ? request.printServer
                                                : request.server.empty() ? CupsIpp::DefaultServer()
                                                                         : request.server);
    for (CupsJob& job : CupsIpp::CompletedJobs(request.server, name, report)) gathered.jobs.push_back(std::move(job));
  }
  return gathered;
}

std::string SummaryText(const Gathered& gathered, const Counts& counts) {
  auto plural = [](int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  std::string text = plural(counts.imported, "job", "jobs") + " imported, " + std::to_string(counts.known) +
                     " known already, " + plural(gathered.skippedLines, "line", "lines") + " skipped";
  if (counts.skipped) text += ", " + plural(counts.skipped, "job", "jobs") + " skipped";
  if (gathered.pendingJobs)
    text += "; " + plural(gathered.pendingJobs, "job is", "jobs are") + " still printing and will come next time";
  return text;
}

}  // namespace qx6::host::CupsImport
