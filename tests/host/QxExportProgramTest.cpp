// qx6export as a user runs it: a process of the staged product against a
// private HOME and registry folder.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/TestEnvironment.h"

namespace qx6 {
namespace {

using test::ReadFile;
using test::WriteFile;

struct Result {
  int status;
  std::string out, err;
};

class QxExport : public ::testing::Test {
 protected:
  QxExport() {
    EXPECT_EQ(Run("register").status, 0);
    WriteFile(env.Root() + "/jobs.csv",
              "Job ID,User,Department,Date/Time,Document,Total Pages,Cost,Duplex,Status\n"
              "1,ann,Sales,2024-01-05 09:00:00,\"Offer, final.pdf\",3,0.3,1,0\n"
              "2,bob,Legal,2024-01-05 17:00:00,\"Contract \"\"B\"\".docx\",10,1.25,0,1\n"
              "3,cid,Sales,2024-01-06 08:30:00,,5,0.5,0,0\n");
    Result imported = Run("--db '" + Db() + "' jobs import '" + env.Root() + "/jobs.csv'");
    EXPECT_EQ(imported.status, 0) << imported.err;
  }
  std::string Db() const { return env.Root() + "/jobs.db"; }

  Result Run(const std::string& arguments, const std::string& environment = "") {
    const std::string out = env.Root() + "/stdout", err = env.Root() + "/stderr";
    const std::string command = environment + std::string(QX6_PRODUCT_DIR) + "/bin/qx6export " + arguments + " >'" + out +
                                "' 2>'" + err + "' </dev/null";
    int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(out), ReadFile(err)};
  }
  void Config(const std::string& file, const std::string& body) {
    WriteFile(env.ConfigFolder() + file, "<?xml version=\"1.0\"?>\r\n<root>\r\n" + body);
  }

  test::TestEnvironment env;
};

TEST_F(QxExport, ColumnsAndListAndUsage) {
  Result columns = Run("columns");
  EXPECT_EQ(columns.status, 0);
  EXPECT_EQ(columns.out.substr(0, 19), "1\tJob ID\n2\tUser\n3\tF");
  EXPECT_NE(columns.out.find("45\tNotes\n"), std::string::npos);
  Config("a.cfg", "<Name>Weekly</Name>\r\n");
  EXPECT_EQ(Run("list").out, "1\t<Default>\n2\tWeekly\n");
  EXPECT_EQ(Run("").status, 2);
  EXPECT_EQ(Run("run").status, 2);
  EXPECT_EQ(Run("frobnicate").status, 2);
  Result help = Run("run --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--silent"), std::string::npos);
}

TEST_F(QxExport, RunsAStoredConfigurationByteForByte) {
  const std::string out = env.Root() + "/details.txt";
  Config("d.cfg", "<Name>Details</Name>\r\n<Version>4</Version>\r\n<OutputFile>" + out +
                      "</OutputFile>\r\n<StringsInQuotes>False</StringsInQuotes>\r\n<FieldDelimiter>;</FieldDelimiter>\r\n"
                      "<ColumnNames>True</ColumnNames>\r\n<DateFormat>yyyy-mm-dd hh:nn</DateFormat>\r\n"
                      "<DecimalPlaces>2</DecimalPlaces>\r\n"
                      "<Column>\r\n<Index>1</Index>\r\n</Column>\r\n<Column>\r\n<Index>7</Index>\r\n</Column>\r\n"
                      "<Column>\r\n<Index>12</Index>\r\n</Column>\r\n<Column>\r\n<Index>34</Index>\r\n</Column>\r\n"
                      "<Column>\r\n<Index>20</Index>\r\n</Column>\r\n<Column>\r\n<Index>10</Index>\r\n</Column>\r\n");
  Result run = Run("--db '" + Db() + "' run details");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, out + "\n");
  EXPECT_EQ(ReadFile(out),
            "Job ID;Document;Date/Time;Cost;Duplex;Status\r\n"
            "1;Offer, final.pdf;2024-01-05 09:00;0.30;Yes;Printed\r\n"
            "2;Contract \"B\".docx;2024-01-05 17:00;1.25;No;Cancelled\r\n"
            "3;;2024-01-06 08:30;0.50;No;Printed\r\n");
  // A date range keeps only the jobs of 5 January.
  Result range = Run("--db '" + Db() + "' run 2 --from 2024-01-05 --to 2024-01-05");
  ASSERT_EQ(range.status, 0) << range.err;
  EXPECT_EQ(ReadFile(out).find("2024-01-06"), std::string::npos);
}

TEST_F(QxExport, SummaryRunTotalsPerGroup) {
  const std::string out = env.Root() + "/summary.txt";
  Config("s.cfg", "<Name>Per department</Name>\r\n<Version>4</Version>\r\n<OutputFile>" + out +
                      "</OutputFile>\r\n<ExportType>1</ExportType>\r\n"
                      "<Column>\r\n<Index>4</Index>\r\n<Action>1</Action>\r\n</Column>\r\n"
                      "<Column>\r\n<Index>25</Index>\r\n<Action>3</Action>\r\n</Column>\r\n");
  Result run = Run("--db '" + Db() + "' run 'per DEPARTMENT'");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFile(out), "\"Legal\",\"10\"\r\n\"Sales\",\"8\"\r\n");
}

TEST_F(QxExport, SilentRunWithoutOutputFileFails) {
  Result run = Run("--db '" + Db() + "' run '<default>' --silent");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("No output file name was entered"), std::string::npos) << run.err;
  // Without a terminal the file dialog counts as cancelled.
  EXPECT_EQ(Run("--db '" + Db() + "' quick").status, 1);
}

TEST_F(QxExport, ScheduledTaskRunsFromTheFolderItWasScheduledFrom) {
  const std::string out = env.Root() + "/nightly.txt";
  Config("n.cfg", "<Name>Nightly</Name>\r\n<Version>4</Version>\r\n<OutputFile>" + out +
                      "</OutputFile>\r\n<Column>\r\n<Index>2</Index>\r\n</Column>\r\n");
  Result added = Run("--db '" + Db() + "' schedule add night Nightly");
  ASSERT_EQ(added.status, 0) << added.err;
  EXPECT_NE(added.out.find("schedule run 'night'"), std::string::npos) << added.out;
  EXPECT_NE(Run("schedule list").out.find("night\tNightly\t"), std::string::npos);
  // Run as the scheduler would, with another HOME whose documents hold no
  // configurations: the task reads them from the folder it was scheduled from.
  const std::string otherHome = env.Root() + "/other-home";
  std::filesystem::create_directories(otherHome + "/Documents");
  Result ran = Run("schedule run night", "HOME='" + otherHome + "' XDG_CONFIG_HOME='" + otherHome + "/.config' ");
  ASSERT_EQ(ran.status, 0) << ran.err;
  EXPECT_EQ(ran.out, out + "\n");
  EXPECT_EQ(ReadFile(out), "\"ann\"\r\n\"bob\"\r\n\"cid\"\r\n");
  EXPECT_EQ(Run("list", "HOME='" + otherHome + "' XDG_CONFIG_HOME='" + otherHome + "/.config' ").out,
            "1\t<Default>\n");
  EXPECT_EQ(Run("schedule remove night").status, 0);
  EXPECT_EQ(Run("schedule run night").status, 1);
  EXPECT_EQ(Run("schedule remove night").status, 1);
}

TEST_F(QxExport, BadInputGetsClearErrors) {
  WriteFile(env.Root() + "/bad.csv", "User,Pages\nann,3\nbob,many\n");
  Result bad = Run("--db '" + Db() + "' jobs import '" + env.Root() + "/bad.csv'");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("3"), std::string::npos) << bad.err;
  WriteFile(env.Root() + "/not.db", "this is not a database");
  Result notDb = Run("--db '" + env.Root() + "/not.db' run 1");
  EXPECT_EQ(notDb.status, 1);
  EXPECT_NE(notDb.err.find("not a Quorvex job database"), std::string::npos) << notDb.err;
  Result dates = Run("--db '" + Db() + "' run 1 --from yesterday");
  EXPECT_EQ(dates.status, 2);
}

}  // namespace
}  // namespace qx6

namespace qx6 {
namespace {

TEST(QxExportEdit, WithoutADisplayTheDialogIsRefusedWithStatusTwo) {
  test::TestEnvironment env;
  const std::string err = env.Root() + "/stderr";
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + std::string(QX6_PRODUCT_DIR) +
                              "/bin/qx6export edit >/dev/null 2>'" + err + "' </dev/null";
  const int raw = std::system(command.c_str());
  EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 2);
  EXPECT_NE(ReadFile(err).find("needs a display"), std::string::npos) << ReadFile(err);
}

}  // namespace
}  // namespace qx6
