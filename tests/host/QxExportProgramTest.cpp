// qx6export as a user runs it: a process of the staged product against a
// private HOME and registry folder.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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
  Result version = Run("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "qx6export " QX6_VERSION "\n");
  // Global options stand before or after the command.
  Result after = Run("run 1 --silent --db '" + Db() + "' --decimals 3");
  EXPECT_EQ(after.status, 1);
  EXPECT_NE(after.err.find("No output file name was entered"), std::string::npos) << after.err;
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

  // Departments that differ only in letter case are different groups, and
  // each arrives whole: "a", "A", "a" give one row for "a" and one for "A".
  WriteFile(env.Root() + "/more.csv",
            "Job ID,Department,Total Pages\n4,a,1\n5,A,2\n6,a,4\n7,,8\n8,sales,16\n");
  Result imported = Run("--db '" + Db() + "' jobs import '" + env.Root() + "/more.csv'");
  ASSERT_EQ(imported.status, 0) << imported.err;
  run = Run("--db '" + Db() + "' run 'per DEPARTMENT'");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFile(out),
            "\"\",\"8\"\r\n\"A\",\"2\"\r\n\"Legal\",\"10\"\r\n\"Sales\",\"8\"\r\n\"a\",\"5\"\r\n\"sales\",\"16\"\r\n");
}

TEST_F(QxExport, OutputFromTheCommandLine) {
  // A configuration without a file: --output answers the exporter's question.
  Config("p.cfg", "<Name>Plain</Name>\r\n<Version>4</Version>\r\n<StringsInQuotes>False</StringsInQuotes>\r\n"
                  "<Column>\r\n<Index>2</Index>\r\n</Column>\r\n");
  const std::string file = env.Root() + "/answered";
  Result run = Run("--db '" + Db() + "' run Plain --silent --output '" + file + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, file + "\n");  // as given: no extension added
  EXPECT_EQ(ReadFile(file), "ann\r\nbob\r\ncid\r\n");
  EXPECT_EQ(run.err, "qx6export: 3 jobs exported to " + file + "\n");
  // Standard output holds the rows and nothing else.
  Result piped = Run("--db '" + Db() + "' run Plain --output -");
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.out, "ann\r\nbob\r\ncid\r\n");
  EXPECT_EQ(piped.err, "qx6export: 3 jobs exported to standard output\n");
  // A quick export, with a date range too (sample jobs have every column).
  const std::string sample = env.Root() + "/sample.db";
  ASSERT_EQ(Run("--db '" + sample + "' jobs sample 30").status, 0);
  Result quick = Run("--db '" + sample + "' quick --output -");
  ASSERT_EQ(quick.status, 0) << quick.err;
  EXPECT_EQ(std::count(quick.out.begin(), quick.out.end(), '\n'), 30);  // no title row by default
  Result none = Run("--db '" + sample + "' quick --output - --from 9999-01-01");
  ASSERT_EQ(none.status, 0) << none.err;
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(none.err, "qx6export: 0 jobs exported to standard output\n");
  // A configuration that names its file refuses --output.
  Config("n.cfg", "<Name>Named</Name>\r\n<Version>4</Version>\r\n<OutputFile>" + env.Root() +
                      "/named.txt</OutputFile>\r\n<Column>\r\n<Index>2</Index>\r\n</Column>\r\n");
  Result named = Run("--db '" + Db() + "' run Named --output '" + file + "'");
  EXPECT_EQ(named.status, 2);
  EXPECT_NE(named.err.find("names its own output file"), std::string::npos) << named.err;
  EXPECT_FALSE(std::filesystem::exists(env.Root() + "/named.txt"));
  // A date and time cannot be added to standard output.
  Config("d.cfg", "<Name>Stamped</Name>\r\n<Version>4</Version>\r\n<AppendDateTime>True</AppendDateTime>\r\n"
                  "<Column>\r\n<Index>2</Index>\r\n</Column>\r\n");
  Result stamped = Run("--db '" + Db() + "' run Stamped --output -");
  EXPECT_EQ(stamped.status, 2);
  EXPECT_NE(stamped.err.find("date and time"), std::string::npos) << stamped.err;
  EXPECT_EQ(stamped.out, "");
}

TEST_F(QxExport, SampleConfigurationsToStartFrom) {
  const std::string exports = env.Root() + "/exports";
  Result added = Run("samples --output-folder '" + exports + "'");
  ASSERT_EQ(added.status, 0) << added.err;
  EXPECT_NE(added.out.find("added " + env.ConfigFolder() + "all jobs.cfg\n"), std::string::npos) << added.out;
  EXPECT_EQ(Run("list").out, "1\t<Default>\n2\tAll jobs\n3\tDaily printer report\n4\tPages and cost by department\n");
  ASSERT_EQ(Run("--db '" + env.Root() + "/s.db' jobs sample 40").status, 0);
  Result run = Run("--db '" + env.Root() + "/s.db' run 'all jobs'");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, exports + "/all-jobs.csv\n");
  const std::string rows = ReadFile(exports + "/all-jobs.csv");
  EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 41);  // the title row and 40 jobs
  // A configuration the user has already is kept.
  Config("all jobs.cfg", "<Name>Mine</Name>\r\n");
  Result again = Run("samples");
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_NE(again.out.find("kept " + env.ConfigFolder() + "all jobs.cfg"), std::string::npos) << again.out;
  EXPECT_NE(ReadFile(env.ConfigFolder() + "all jobs.cfg").find("Mine"), std::string::npos);
  // So is one whose file name differs only in letter case: to the exporter
  // it is the same file.
  Config("Daily Printer Report.cfg", "<Name>Also mine</Name>\r\n");
  std::filesystem::remove(env.ConfigFolder() + "daily printer report.cfg");
  again = Run("samples");
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_NE(again.out.find("kept " + env.ConfigFolder() + "Daily Printer Report.cfg"), std::string::npos) << again.out;
  EXPECT_FALSE(std::filesystem::exists(env.ConfigFolder() + "daily printer report.cfg"));
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

TEST_F(QxExport, AFreshWorldHasNoJobsUntilSomeAreMade) {
  const std::string defaultDb = env.Home() + "/.local/share/quorvex/qx6jobs.db";
  const std::string out = env.Root() + "/fresh.txt";
  Config("f.cfg", "<Name>Fresh</Name>\r\n<Version>4</Version>\r\n<OutputFile>" + out +
                      "</OutputFile>\r\n<Column>\r\n<Index>2</Index>\r\n</Column>\r\n");
  for (const char* command : {"run 2", "run 2 --silent", "quick --silent", "schedule add nightly 2"}) {
    Result run = Run(command);
    EXPECT_EQ(run.status, 1) << command;
    EXPECT_NE(run.err.find("there is no job database " + defaultDb), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("jobs import"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("jobs sample"), std::string::npos) << run.err;
  }
  EXPECT_FALSE(std::filesystem::exists(env.Home() + "/.local/share/quorvex")) << "a read created the folder";
  EXPECT_FALSE(std::filesystem::exists(out));
  // A database named but missing is not created either.
  EXPECT_EQ(Run("--db '" + env.Root() + "/none.db' run 2").status, 1);
  EXPECT_FALSE(std::filesystem::exists(env.Root() + "/none.db"));
  // An empty name is a usage error.
  Result empty = Run("--db '' run 2");
  EXPECT_EQ(empty.status, 2);
  EXPECT_NE(empty.err.find("--db"), std::string::npos) << empty.err;
  // What needs no jobs works as before.
  EXPECT_EQ(Run("list").status, 0);
  EXPECT_EQ(Run("columns").status, 0);
  // Asked for, sample jobs go into the default database; then runs work.
  Result made = Run("jobs sample 25");
  ASSERT_EQ(made.status, 0) << made.err;
  EXPECT_NE(made.out.find(defaultDb), std::string::npos) << made.out;
  Result run = Run("run 2");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, out + "\n");
}

TEST_F(QxExport, ScheduledTasksKeepTheirDatabaseAndAreReplacedOnlyWhenAsked) {
  const std::string out = env.Root() + "/t.txt";
  Config("t.cfg", "<Name>Tasked</Name>\r\n<Version>4</Version>\r\n<OutputFile>" + out +
                      "</OutputFile>\r\n<Column>\r\n<Index>2</Index>\r\n</Column>\r\n");
  // A relative --db is kept as the absolute path it named at that moment.
  Result added = Run("--db jobs.db schedule add '50% off' Tasked", "cd '" + env.Root() + "' && ");
  ASSERT_EQ(added.status, 0) << added.err;
  EXPECT_NE(Run("schedule list").out.find("50% off\tTasked\t" + Db() + "\t*-*-* 02:00:00\t"), std::string::npos);
  // cron reads an unescaped "%" as a line break, even between quotes.
  EXPECT_NE(added.out.find("schedule run '50\\% off'"), std::string::npos) << added.out;
  Config("u.cfg", "<Name>Other</Name>\r\n<Version>4</Version>\r\n<OutputFile>" + out +
                      "</OutputFile>\r\n<Column>\r\n<Index>3</Index>\r\n</Column>\r\n");
  Result again = Run("--db '" + Db() + "' schedule add '50% off' Other");
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("--replace"), std::string::npos) << again.err;
  EXPECT_NE(Run("schedule list").out.find("50% off\tTasked\t"), std::string::npos);
  ASSERT_EQ(Run("--db '" + Db() + "' schedule add '50% off' Other --replace").status, 0);
  EXPECT_NE(Run("schedule list").out.find("50% off\tOther\t"), std::string::npos);
  // A timer of its own: user units, since the registry is a private folder.
  Result timed = Run("--db '" + Db() + "' schedule add t2 Tasked --at 'Mon..Fri 06:00'");
  ASSERT_EQ(timed.status, 0) << timed.err;
  const std::string units = env.Home() + "/.config/systemd/user/qx6export-t2";
  const std::string service = ReadFile(units + ".service"), timer = ReadFile(units + ".timer");
  EXPECT_NE(service.find("ExecStart=\"" + std::string(QX6_PRODUCT_DIR) + "/bin/qx6export\" schedule run \"t2\"\n"),
            std::string::npos)
      << service;
  EXPECT_NE(service.find("Environment=\"QX6_REGISTRY_DIR=" + env.RegistryFolder() + "\"\n"), std::string::npos);
  EXPECT_NE(timer.find("\nOnCalendar=Mon..Fri *-*-* 06:00:00\n"), std::string::npos) << timer;
  EXPECT_NE(timer.find("\nWantedBy=timers.target\n"), std::string::npos);
  EXPECT_NE(timed.out.find("\n0 6 * * 1-5 "), std::string::npos) << timed.out;  // the same calendar for cron
  if (std::system("command -v systemd-analyze >/dev/null") == 0) {
    EXPECT_EQ(std::system(("systemd-analyze verify '" + units + ".timer' '" + units + ".service' >/dev/null 2>&1").c_str()), 0);
    EXPECT_NE(Run("schedule list").out.find("t2\tTasked\t" + Db() + "\tMon..Fri *-*-* 06:00:00\t"), std::string::npos);
    EXPECT_EQ(Run("--db '" + Db() + "' schedule add t3 Tasked --at 'whenever'").status, 1);
  } else {
    std::fprintf(stderr, "systemd-analyze is missing: unit files and calendars not verified\n");
  }
  // Its database gone, the task fails and names it.
  std::filesystem::rename(Db(), env.Root() + "/moved.db");
  Result ran = Run("schedule run t2");
  EXPECT_EQ(ran.status, 1);
  EXPECT_NE(ran.err.find(Db()), std::string::npos) << ran.err;
  EXPECT_FALSE(std::filesystem::exists(Db()));
  EXPECT_EQ(Run("schedule add 'a\\b' Tasked").status, 1);
  ASSERT_EQ(Run("schedule remove t2").status, 0);
  EXPECT_FALSE(std::filesystem::exists(units + ".timer"));
  EXPECT_FALSE(std::filesystem::exists(units + ".service"));
}

TEST_F(QxExport, FailuresNameWhatIsAtFault) {
  // The job and the output column that WriteJob refused.
  Config("n.cfg", "<Name>Nulls</Name>\r\n<Version>4</Version>\r\n<OutputFile>" + env.Root() +
                      "/n.txt</OutputFile>\r\n<Column>\r\n<Index>2</Index>\r\n</Column>\r\n"
                      "<Column>\r\n<Index>21</Index>\r\n</Column>\r\n");
  Result nulls = Run("--db '" + Db() + "' run Nulls");
  EXPECT_EQ(nulls.status, 1);
  EXPECT_NE(nulls.err.find("error 94: Invalid use of Null (output column 2 \"Colour\"; job 1, the 1st of the run)"),
            std::string::npos)
      << nulls.err;
  // An output file that cannot be opened.
  Config("o.cfg", "<Name>Nowhere</Name>\r\n<Version>4</Version>\r\n<OutputFile>" + env.Root() +
                      "/no/such/folder/o.txt</OutputFile>\r\n<Column>\r\n<Index>2</Index>\r\n</Column>\r\n");
  Result nowhere = Run("--db '" + Db() + "' run Nowhere");
  EXPECT_EQ(nowhere.status, 1);
  EXPECT_NE(nowhere.err.find(env.Root() + "/no/such/folder/o.txt"), std::string::npos) << nowhere.err;
  // A configuration file that stops the listing: the file and its line.
  Config("z.cfg", "<Name>Broken</Name>\r\n<OutputType>wide</OutputType>\r\n");
  Result listing = Run("list");
  EXPECT_EQ(listing.status, 1);
  EXPECT_NE(listing.err.find("error 13: Type mismatch (" + env.ConfigFolder() + "z.cfg, line 4)"), std::string::npos)
      << listing.err;
  std::filesystem::remove(env.ConfigFolder() + "z.cfg");
  // Unknown commands and options are named.
  EXPECT_NE(Run("frobnicate").err.find("'frobnicate' is no command"), std::string::npos);
  EXPECT_NE(Run("--db x.db jobs frobnicate").err.find("'frobnicate' is no command"), std::string::npos);
  Result option = Run("list --frobnicate");
  EXPECT_EQ(option.status, 2);
  EXPECT_NE(option.err.find("--frobnicate"), std::string::npos) << option.err;
  EXPECT_EQ(Run("--help").status, 0);
  // A component that is not registered: a sentence and the next step.
  ASSERT_EQ(Run("unregister").status, 0);
  Result unregistered = Run("list");
  EXPECT_EQ(unregistered.status, 1);
  EXPECT_NE(unregistered.err.find("is not registered; run 'qx6export register'"), std::string::npos) << unregistered.err;
  // A damaged hive: the file and its line, and what to do.
  const std::string hive = env.RegistryFolder() + "/HKEY_LOCAL_MACHINE.reg";
  WriteFile(hive, "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software]\nthis is no value\n");
  for (const char* command : {"list", "register"}) {
    Result damaged = Run(command);
    EXPECT_EQ(damaged.status, 1) << command;
    EXPECT_NE(damaged.err.find(hive + ", line 4"), std::string::npos) << damaged.err;
    EXPECT_NE(damaged.err.find("move the file aside"), std::string::npos) << damaged.err;
    EXPECT_EQ(damaged.err.find("0x"), std::string::npos) << damaged.err;
  }
}

// Registration as a user without root: for every user is refused with the
// next step, for oneself goes to HKEY_CURRENT_USER\Software\Classes.
TEST(QxExportUser, RegistersForItselfWithoutRoot) {
  test::TestEnvironment env;
  std::string prefix;
  if (geteuid() == 0) {
    // Run as nobody, in a home of its own.
    if (std::system("command -v setpriv >/dev/null") != 0) GTEST_SKIP() << "setpriv is missing: cannot drop root";
    std::filesystem::permissions(env.Root(), std::filesystem::perms::owner_all | std::filesystem::perms::others_exec);
    if (std::system(("chown -R 65534:65534 '" + env.Home() + "'").c_str()) != 0) GTEST_SKIP() << "cannot chown";
    prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  }
  if (access("/var/lib/quorvex/registry", W_OK) == 0 && geteuid() != 0)
    GTEST_SKIP() << "/var/lib/quorvex/registry is writable by this user: every user's registration would succeed";
  const std::string machineHive = "/var/lib/quorvex/registry/HKEY_LOCAL_MACHINE.reg";
  const bool machineRegistered = std::filesystem::exists(machineHive);
  auto run = [&](const std::string& arguments) {
    const std::string out = env.Home() + "/out", err = env.Home() + "/err";
    // The machine registry at its real place, the user's under HOME.
    const std::string command = "env -u QX6_REGISTRY_DIR HOME='" + env.Home() + "' XDG_CONFIG_HOME='" + env.Home() +
                                "/.config' " + prefix + QX6_PRODUCT_DIR + "/bin/qx6export " + arguments + " >'" + out +
                                "' 2>'" + err + "' </dev/null";
    const int raw = std::system(command.c_str());
    return Result{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(out), ReadFile(err)};
  };
  Result everyone = run("register");
  EXPECT_EQ(everyone.status, 1);
  EXPECT_NE(everyone.err.find("needs root: run 'sudo qx6export register', or 'qx6export register --user'"),
            std::string::npos)
      << everyone.err;
  EXPECT_EQ(everyone.err.find("0x"), std::string::npos) << everyone.err;
  // Tasks live in the machine registry too: the next step, and nothing written.
  Result task = run("schedule add nightly 1");
  EXPECT_EQ(task.status, 1);
  EXPECT_NE(task.err.find("which needs root: run 'sudo qx6export schedule add"), std::string::npos) << task.err;
  Result mine = run("register --user");
  ASSERT_EQ(mine.status, 0) << mine.err;
  EXPECT_NE(mine.out.find("(for this user)"), std::string::npos);
  const std::string hive = ReadFile(env.Home() + "/.config/quorvex/registry/HKEY_CURRENT_USER.reg");
  EXPECT_NE(hive.find("[HKEY_CURRENT_USER\\Software\\Classes\\QX6JobExportFlatFile.QX6FlatFile\\CLSID]"),
            std::string::npos)
      << hive;
  EXPECT_FALSE(std::filesystem::exists(machineHive) && !machineRegistered) << "the machine registry was written";
  Result list = run("list");
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out.substr(0, 12), "1\t<Default>\n");
  ASSERT_EQ(run("unregister --user").status, 0);
  if (!machineRegistered) {
    EXPECT_EQ(run("list").status, 1);
  }
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
