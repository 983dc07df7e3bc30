// The page log reader on hand-written logs: the lines of a format, the
// rotated files in their order, compressed ones, jobs that span a rotation
// or are still printing, and lines that cannot be read.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <tuple>

#include "host/CupsPageLog.h"
#include "tests/host/HostTestSupport.h"

namespace qx6::host {
namespace {

using qx6::test::WriteFile;

std::string Show(const PageLogLine& l) {
  std::string text = l.printer + "|" + l.user + "|" + std::to_string(l.jobId) + "|" +
                     (l.time ? std::to_string(*l.time) : "-") + "|" + l.page + "|" +
                     (l.copies ? std::to_string(*l.copies) : "-");
  for (const auto& [name, value] : l.attributes) text += "|" + name + "=" + value;
  return text;
}

std::string ParseLine(std::string_view format, std::string_view line) {
  PageLogLine out;
  std::string why;
  if (!PageLogFormat(format).Parse(line, out, why)) return "error: " + why;
  return Show(out);
}

TEST(CupsPageLogFormat, SplitsLinesOfTheStandardAndOtherFormats) {
  const std::string_view standard = PageLogFormat::Standard;
  const std::tuple<std::string_view, std::string_view, std::string> cases[] = {  // {format, line, expected}
      {standard, "q root 1 [07/Dec/2026:14:29:15 +0000] total 8 ACME-7 localhost Quarterly report a4 two-sided-long-edge",
       "q|root|1|1796653755|total|8|job-billing=ACME-7|job-name=Quarterly report|job-originating-host-name=localhost|"
       "media=a4|sides=two-sided-long-edge"},
      // "-" is an attribute the job does not have; names keep quotes and backslashes as cupsd wrote them.
      {standard, R"(raw ann 12 [01/Jan/2027:00:00:00 +0100] 3 2 - 10.0.0.7 He said "hi" \ back - -)",
       "raw|ann|12|1798758000|3|2|job-name=He said \"hi\" \\ back|job-originating-host-name=10.0.0.7"},
      // A user name with a space: the job id after it decides.
      {standard, "q John Smith 5 [29/Feb/2028:23:59:59 -0500] 1 1 - h x - -",
       "q|John Smith|5|1835499599|1|1|job-name=x|job-originating-host-name=h"},
      // An empty job name leaves two spaces.
      {standard, "q u 5 [07/Dec/2026:14:29:15 +0000] total 1 - h  a4 one-sided",
       "q|u|5|1796653755|total|1|job-name=|job-originating-host-name=h|media=a4|sides=one-sided"},
      {"%p:%j:%T:%{time-at-creation}:%{copies} 100%%", "lp1:7:[07/Dec/2026:14:29:15 +0000]:1796653700:3 100%",
       "lp1||7|1796653755||-|copies=3|time-at-creation=1796653700"},
      {standard, "q root x1 [07/Dec/2026:14:29:15 +0000] 1 1 - h n - -", "error: the job id \"x1\" is no number"},
      {standard, "q root 1 [32/Dec/2026:14:29:15 +0000] 1 1 - h n - -",
       "error: the time \"[32/Dec/2026:14:29:15 +0000]\" is no date [dd/Mon/yyyy:hh:mm:ss +zzzz]"},
      {standard, "q root 1 [07/Dec/2026:14:29:15 +0000] first 1 - h n - -",
       "error: the page \"first\" is neither a number nor \"total\""},
      {standard, "q root 1 [07/Dec/2026:14:29:15 +0000] 1 1 - h", "error: the line does not fit the page log format \"" +
                                                                       std::string(standard) + "\""},
  };
  for (const auto& [format, line, expected] : cases) EXPECT_EQ(ParseLine(format, line), expected) << line;
}

TEST(CupsPageLogFormat, RefusesAFormatThatNamesNoJobAndComesFromCupsdConf) {
  for (const char* format : {"%u %T %P", "%p %T", "%p %j %P", "%p %j %{job-name"})
    EXPECT_THROW(PageLogFormat{format}, std::runtime_error) << format;
  EXPECT_NO_THROW(PageLogFormat{"%p %j %{time-at-creation}"});
  // The format of cupsd.conf.
  qx6::test::TempFolder folder;
  const std::string conf = folder / "cupsd.conf";
  WriteFile(conf, "LogLevel warn\n# PageLogFormat %p\nPageLogFormat %p %j %T %P %C %{copies}\n");
  EXPECT_EQ(PageLogFormatOf(conf), "%p %j %T %P %C %{copies}");
  WriteFile(conf, "LogLevel warn\nPageLogFormat\n");
  EXPECT_EQ(PageLogFormatOf(conf), std::nullopt);  // page logging off, as Debian ships it
  WriteFile(conf, "LogLevel warn\n");
  EXPECT_EQ(PageLogFormatOf(conf), std::string(PageLogFormat::Standard));
  EXPECT_THROW(PageLogFormatOf(folder / "missing.conf"), std::runtime_error);
}

void WriteGzip(const std::string& path, const std::string& text) {
  gzFile file = gzopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(gzwrite(file, text.data(), static_cast<unsigned>(text.size())), static_cast<int>(text.size()));
  gzclose(file);
}

std::string Line(const std::string& printer, int id, const std::string& time, const std::string& page, int copies,
                 const std::string& name = "doc") {
  return printer + " ann " + std::to_string(id) + " [07/Dec/2026:" + time + " +0000] " + page + " " +
         std::to_string(copies) + " - host " + name + " a4 one-sided\n";
}

std::string Describe(const CupsJob& job) {
  std::string text = job.printer + "/" + std::to_string(job.id) + " t" + std::to_string(job.time % 86400) + " k" +
                     std::to_string(job.identityTime % 86400);
  for (const char* name : {"job-impressions-completed", "copies", "job-name"})
    if (const std::string* value = job.Attribute(name)) text += std::string(" ") + name + "=" + *value;
  if (job.pagesPerCopy) text += " pages=" + std::to_string(*job.pagesPerCopy);
  return text;
}

// The jobs the logs from `path` on give, one line each, then a line "pending P, skipped S" and the reports.
std::vector<std::string> ReadLogs(const std::string& path) {
  std::vector<std::string> lines, reports;
  const PageLogJobs read = ReadPageLogs(PageLogFiles(path), PageLogFormat(PageLogFormat::Standard), "srv",
                                        [&](const std::string& message) { reports.push_back(message); });
  for (const CupsJob& job : read.jobs) lines.push_back(Describe(job));
  lines.push_back("pending " + std::to_string(read.pendingJobs) + ", skipped " + std::to_string(read.skippedLines));
  lines.insert(lines.end(), reports.begin(), reports.end());
  return lines;
}

class CupsPageLogRead : public ::testing::Test {
 protected:
  qx6::test::TempFolder folder;
  const std::string log = folder / "page_log";
};

TEST_F(CupsPageLogRead, FollowsRotationInOrderAndJoinsAJobAcrossIt) {
  // Oldest first: .2.gz, .1, .O, the log. Job 3's pages begin in .O and end in the log.
  WriteGzip(log + ".2.gz", Line("q", 1, "08:00:00", "total", 2, "first"));
  WriteFile(log + ".1", Line("q", 2, "09:00:00", "total", 5, "second"));
  WriteFile(log + ".O", Line("q", 3, "10:00:00", "1", 2) + Line("q", 3, "10:00:01", "2", 2));
  WriteFile(log, Line("q", 3, "10:00:02", "3", 2) + Line("q", 3, "10:00:03", "total", 6));
  WriteFile(log + ".bak", Line("q", 9, "10:00:00", "total", 1));  // no rotated log of ours
  EXPECT_EQ(PageLogFiles(log), (std::vector<std::string>{log + ".2.gz", log + ".1", log + ".O", log}));
  // Job 3: its time from its first page, its key from its last line, three pages of two copies.
  EXPECT_EQ(ReadLogs(log), (std::vector<std::string>{
                               "q/1 t28800 k28800 job-impressions-completed=2 job-name=first",
                               "q/2 t32400 k32400 job-impressions-completed=5 job-name=second",
                               "q/3 t36000 k36003 job-impressions-completed=6 copies=2 job-name=doc pages=3",
                               "pending 0, skipped 0"}));
}

TEST_F(CupsPageLogRead, LeavesAJobStillPrintingAndATornLastLineForLater) {
  std::string text = Line("q", 1, "08:00:00", "total", 1) + Line("r", 2, "08:00:01", "1", 1);
  const std::string torn = Line("q", 3, "08:00:02", "total", 4);
  WriteFile(log, text + torn.substr(0, torn.size() - 10));
  EXPECT_EQ(ReadLogs(log), (std::vector<std::string>{"q/1 t28800 k28800 job-impressions-completed=1 job-name=doc",
                                                      "pending 1, skipped 0"}));
  // Written whole, and job 2 ended: all three come.
  WriteFile(log, text + torn + Line("r", 2, "08:00:05", "total", 1));
  EXPECT_EQ(ReadLogs(log), (std::vector<std::string>{
                               "q/1 t28800 k28800 job-impressions-completed=1 job-name=doc",
                               "q/3 t28802 k28802 job-impressions-completed=4 job-name=doc",
                               "r/2 t28801 k28805 job-impressions-completed=1 copies=1 job-name=doc pages=1",
                               "pending 0, skipped 0"}));
}

TEST_F(CupsPageLogRead, ReportsWhatCannotBeReadWithItsPlaceAndGoesOn) {
  // A compressed log cut off in the middle; a line that fits no format, and one too long.
  WriteGzip(log + ".1.gz", Line("q", 1, "08:00:00", "total", 1) + Line("q", 2, "08:00:01", "total", 1));
  std::string bytes = qx6::test::ReadFile(log + ".1.gz");
  bytes.resize(bytes.size() - 12);
  WriteFile(log + ".1.gz", bytes);
  WriteFile(log, Line("q", 3, "09:00:00", "total", 1) + "garbage\n\n" + Line("q", 4, "09:00:01", "total", 1) +
                     std::string(70000, 'x') + "\n" + Line("q", 5, "09:00:02", "total", 1));
  const std::vector<std::string> read = ReadLogs(log);
  ASSERT_GE(read.size(), 7u) << ::testing::PrintToString(read);  // at least jobs 3 to 5, a summary, three reports
  const auto end = read.end();
  EXPECT_STARTS(end[-5], "q/5 ");
  EXPECT_EQ(end[-4], "pending 0, skipped 3");  // the compressed file's last line counts too
  EXPECT_HAS(end[-3], log + ".1.gz:");
  EXPECT_HAS(end[-3], "the compressed file is damaged");
  EXPECT_STARTS(end[-2], log + ":2: the line does not fit the page log format");
  EXPECT_EQ(end[-1], log + ":5: the line is longer than 64 KiB");
}

TEST_F(CupsPageLogRead, PageLinesWithoutTotalsEndWhenThePrinterStartsAnotherJob) {
  // An older scheduler: one line a page, a copy at a time.
  WriteFile(log, Line("q", 1, "08:00:00", "1", 1) + Line("q", 1, "08:00:01", "2", 1) + Line("q", 1, "08:00:02", "1", 1) +
                     Line("q", 1, "08:00:03", "2", 1) + Line("q", 2, "08:01:00", "1", 1));
  EXPECT_EQ(ReadLogs(log), (std::vector<std::string>{
                               "q/1 t28800 k28803 job-impressions-completed=4 copies=2 job-name=doc pages=2",
                               "pending 1, skipped 0"}));
}

}  // namespace
}  // namespace qx6::host
