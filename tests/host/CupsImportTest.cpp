// From a CUPS job to a row of the job database: the mapping table, the
// defaults that keep every export working, and imports that run again.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

#include "host/CupsImport.h"
#include "host/HostColumns.h"
#include "tests/host/HostTestSupport.h"
#include "tests/support/TestEnvironment.h"

namespace qx6::host {
namespace {

using test::Describe;

// Dates in the database are local time; the tests fix the zone.
class CupsMapping : public ::testing::Test {
 protected:
  CupsMapping() : zone_("TZ", "UTC") { tzset(); }
  ~CupsMapping() override { tzset(); }
  // The counts of importing `jobs`: "IMPORTED KNOWN SKIPPED".
  std::string Import(const std::vector<CupsJob>& jobs) {
    const CupsImport::Counts c =
        CupsImport::ImportJobs(database, jobs, [&](const std::string& m) { reports.push_back(m); });
    return std::to_string(c.imported) + " " + std::to_string(c.known) + " " + std::to_string(c.skipped);
  }

  qx6::test::ScopedEnv zone_;
  qx6::test::TempFolder folder;
  JobDatabase database{folder / "jobs.db", OpenMode::Create};
  std::vector<std::string> reports;
};

CupsJob Job(int64_t id, int64_t created) {
  CupsJob job;
  job.where = "job " + std::to_string(id);
  job.server = "printhost";
  job.printer = "office";
  job.id = id;
  job.time = job.identityTime = created;
  job.attributes = {{"job-originating-user-name", "ann"}, {"job-billing", "ACME-7"}, {"job-name", "Quarterly report"},
                    {"job-originating-host-name", "pc12"}, {"media", "iso_a4_210x297mm"},
                    {"sides", "two-sided-long-edge"}, {"print-color-mode", "color"}, {"copies", "2"},
                    {"job-impressions-completed", "8"}, {"job-media-sheets-completed", "4"}, {"job-k-octets", "512"}};
  return job;
}

TEST_F(CupsMapping, MapsEveryKnownFieldToItsColumn) {
  const std::vector<Variant> values = CupsImport::HostValues(Job(42, 1796653755));
  auto at = [&](int32_t column) { return Describe(values[column - 1]); };
  const std::pair<int32_t, std::string> expected[] = {
      {1, "null"},  {2, "s:ann"},  {5, "s:ACME-7"}, {6, "s:office"},  {7, "s:Quarterly report"}, {8, "s:pc12"},
      {9, "s:printhost"}, {10, "l:0"}, {11, "s:office"}, {15, "s:A4"}, {20, "b:1"}, {21, "b:1"}, {23, "l:4"},
      {24, "l:2"},  {25, "l:8"},   {26, "l:4"},     {27, "b:1"},      {28, "d:0.500000"}, {29, "l:8"}, {30, "l:0"},
      {31, "l:42"}, {34, "d:0.000000"}, {35, "d:0.000000"}, {36, "b:1"}, {3, "null"}, {45, "null"}};
  for (const auto& [column, text] : expected) EXPECT_EQ(at(column), text) << "column " << column;
  // 2026-12-07 14:29:15 as a date serial.
  EXPECT_EQ(at(12), "t:" + std::to_string(46363.0 + (14 * 3600 + 29 * 60 + 15) / 86400.0));
}

TEST_F(CupsMapping, WhatCupsDoesNotSayTakesTheDocumentedDefaults) {
  CupsJob job = Job(7, 1796653755);
  job.attributes = {{"job-impressions-completed", "3"}};
  job.state = 7;  // canceled
  const std::vector<Variant> values = CupsImport::HostValues(job);
  for (const HostColumn& column : HostColumnTable()) {
    const std::string value = Describe(values[column.id - 1]);
    EXPECT_TRUE(column.kind != ColumnKind::Boolean || value.substr(0, 2) == "b:") << column.title << ": " << value;
    if (column.id == 1 || column.kind == ColumnKind::Text) continue;
    EXPECT_NE(value, "null") << column.title << " must not be Null";
  }
  // Cancelled; Duplex unknown: No; Pages unknown without copies; Total Pages; Mono Pages, not known as colour;
  // not billable; no account.
  const std::pair<int32_t, std::string> expected[] = {{10, "l:1"}, {20, "b:0"}, {23, "l:0"}, {25, "l:3"},
                                                      {30, "l:3"}, {27, "b:0"}, {5, "null"}};
  for (const auto& [column, text] : expected) EXPECT_EQ(Describe(values[column - 1]), text) << "column " << column;
  // Paper sizes as people write them.
  for (const auto& [media, paper] : std::vector<std::pair<std::string, std::string>>{
           {"na_letter_8.5x11in", "s:Letter"}, {"a4", "s:A4"}, {"iso_a3_297x420mm,tray-1", "s:A3"}, {"Legal", "s:Legal"}}) {
    job.attributes["media"] = media;
    EXPECT_EQ(Describe(CupsImport::HostValues(job)[14]), paper) << media;
  }
}

TEST_F(CupsMapping, AJobIsImportedOnceARestartedIdIsAnotherJobAndABadOneIsPassedOver) {
  const std::vector<CupsJob> first = {Job(1, 1796653755), Job(2, 1796653800)};
  EXPECT_EQ(Import(first), "2 0 0");
  EXPECT_EQ(Import(first), "0 2 0");
  // The spool cleared: job 1 again, made later.
  std::vector<CupsJob> restarted = {Job(1, 1796740000)};
  restarted[0].attributes["job-name"] = "Minutes";
  EXPECT_EQ(Import(restarted), "1 0 0");
  EXPECT_TRUE(reports.empty());
  // A job that cannot be written is reported, and the others kept.
  CupsJob bad = Job(4, 1796653755);
  bad.time = -70000000000;  // before the year 100
  EXPECT_EQ(Import({Job(3, 1796653755), bad, Job(5, 1796653755)}), "2 0 1");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_STARTS(reports[0], "job 4: ");
  const auto rows = test::DumpJobs(database);
  ASSERT_EQ(rows.size(), 5u);
  // The host numbers the jobs; the CUPS id is the Sequence.
  EXPECT_STARTS(rows[2], "l:3|s:ann|");
  EXPECT_HAS(rows[2], "|s:Minutes|");
  EXPECT_HAS(rows[4], "|l:5|");  // job 5's Sequence, nothing of job 4
}

// Run before each export: the log rotates between runs, a job spans the
// rotation, and every job comes in once.
TEST_F(CupsMapping, ImportsRunAgainAcrossARotationTakeEachJobOnce) {
  const std::string log = folder / "page_log";
  CupsImport::Request request;
  request.pageLogs = {log};
  request.pageLogFormat = "%p %u %j %T %P %C %{job-name}";
  request.printServer = "printhost";
  auto run = [&] {
    const CupsImport::Gathered gathered = CupsImport::Gather(request, [&](const std::string& m) { reports.push_back(m); });
    return CupsImport::SummaryText(gathered, CupsImport::ImportJobs(database, gathered.jobs, [](const std::string&) {}));
  };
  auto line = [](int id, const std::string& time, const std::string& page, int copies) {
    return "q ann " + std::to_string(id) + " [07/Dec/2026:" + time + " +0000] " + page + " " + std::to_string(copies) +
           " Report " + std::to_string(id) + "\n";
  };
  qx6::test::WriteFile(log, line(1, "08:00:00", "total", 2) + line(2, "09:00:00", "1", 1));
  EXPECT_EQ(run(), "1 job imported, 0 known already, 0 lines skipped; 1 job is still printing and will come next time");
  // Rotated by logrotate, job 2 going on in the new log.
  std::filesystem::rename(log, log + ".1");
  qx6::test::WriteFile(log, line(2, "09:00:05", "2", 1) + line(2, "09:00:06", "total", 2) + line(1, "10:00:00", "total", 1));
  EXPECT_EQ(run(), "2 jobs imported, 1 known already, 0 lines skipped");
  EXPECT_EQ(run(), "0 jobs imported, 3 known already, 0 lines skipped");
  // The oldest file gone: what is left of its jobs is known.
  std::filesystem::remove(log + ".1");
  EXPECT_EQ(run(), "0 jobs imported, 2 known already, 0 lines skipped");
  const auto rows = test::DumpJobs(database);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_NE(rows[1].find("|s:Report 2|"), std::string::npos);
  EXPECT_HAS(rows[1], "|l:2|l:1|l:2|l:0|");  // pages, copies, total, sheets
  EXPECT_TRUE(reports.empty());
  // A folder stops before anything is read (a missing log is a case of the qx6export tests).
  request.pageLogs = {folder.Path()};
  EXPECT_THROW(run(), std::runtime_error);
  // Nor is anything read where cupsd.conf turns page logging off.
  request.pageLogs = {log};
  request.pageLogFormat.clear();
  request.cupsdConf = folder / "cupsd.conf";
  qx6::test::WriteFile(request.cupsdConf, "PageLogFormat\n");
  EXPECT_THROW(run(), std::runtime_error);
}

}  // namespace
}  // namespace qx6::host
