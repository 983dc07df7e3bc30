// qx6export as a user runs it: a process of the staged product against a
// private HOME and registry folder.
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <algorithm>
#include <filesystem>

#include "tests/host/HostTestSupport.h"


namespace qx6 {
namespace {

namespace fs = std::filesystem;
using host::test::Lines;
using host::test::Result;
using test::ReadFile;
using test::WriteFile;

// What `command` (run by sh) writes to a standard output that is a socket,
// which no process can open again by name.
std::string SocketOutput(const std::string& command) {
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) return "no socket";
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(ends[1], STDOUT_FILENO);
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(ends[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(ends[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  close(ends[0]);
  const auto status = host::test::WaitFor(pid, std::chrono::minutes(1));
  return status == 0 ? text : "status " + std::to_string(status.value_or(-1));
}

class QxExport : public ::testing::Test {
 protected:
  QxExport() {
    Run(0, "register");
    WriteFile(env.Root() + "/jobs.csv",
              "Job ID,User,Department,Date/Time,Document,Total Pages,Cost,Duplex,Status\n"
              "1,ann,Sales,2024-01-05 09:00:00,\"Offer, final.pdf\",3,0.3,1,0\n"
              "2,bob,Legal,2024-01-05 17:00:00,\"Contract \"\"B\"\".docx\",10,1.25,0,1\n"
              "3,cid,Sales,2024-01-06 08:30:00,,5,0.5,0,0\n");
    OnDb(0, "jobs import '" + env.Root() + "/jobs.csv'");
  }
  std::string Db() const { return env.Root() + "/jobs.db"; }
  Result Run(int status, const std::string& arguments, const std::string& prefix = "") {
    return host::test::RunQxExport(status, env.Root(), arguments, prefix);
  }
  Result OnDb(int status, const std::string& arguments) { return Run(status, "--db '" + Db() + "' " + arguments); }

  void Config(const std::string& file, const std::string& body) {
    WriteFile(env.ConfigFolder() + file, "<?xml version=\"1.0\"?>\r\n<root>\r\n" + body);
  }
  // A configuration `name` in name.cfg: see host::test::ConfigText.
  void Export(const std::string& name, const std::string& output, const std::vector<int>& columns,
              const std::string& settings = "") {
    WriteFile(env.ConfigFolder() + name + ".cfg", host::test::ConfigText(name, output, columns, settings));
  }

  test::TestEnvironment env;
};

TEST_F(QxExport, ColumnsAndListAndUsage) {
  const Result columns = Run(0, "columns");
  EXPECT_EQ(columns.out.substr(0, 19), "1\tJob ID\n2\tUser\n3\tF");
  EXPECT_HAS(columns.out, "45\tNotes\n");
  Config("a.cfg", "<Name>Weekly</Name>\r\n");
  EXPECT_EQ(Run(0, "list").out, "1\t<Default>\n2\tWeekly\n");
  for (const char* usage : {"", "run", "frobnicate", "run 1 --from yesterday"}) Run(2, usage);
  EXPECT_EQ(Run(0, "--version").out, "qx6export " QX6_VERSION "\n");
  EXPECT_HAS(Run(0, "run --help").out, "--silent");
  // Global options stand before or after the command; a silent run cannot ask for a file.
  const Result silent = Run(1, "run 1 --silent --db '" + Db() + "' --decimals 3");
  EXPECT_HAS(silent.err, "No output file name was entered");
  EXPECT_EQ(silent.out, "");
  OnDb(1, "quick");  // without a terminal the file dialog counts as cancelled
}

TEST_F(QxExport, RunsStoredConfigurationsByteForByteAndSummariesPerGroup) {
  const std::string out = env.Root() + "/details.txt";
  Export("Details", out, {1, 7, 12, 34, 20, 10},
         "<StringsInQuotes>False</StringsInQuotes>\r\n<FieldDelimiter>;</FieldDelimiter>\r\n"
         "<ColumnNames>True</ColumnNames>\r\n<DateFormat>yyyy-mm-dd hh:nn</DateFormat>\r\n"
         "<DecimalPlaces>2</DecimalPlaces>\r\n");
  const std::string header = "Job ID;Document;Date/Time;Cost;Duplex;Status\r\n",
                    januaryFifth = "1;Offer, final.pdf;2024-01-05 09:00;0.30;Yes;Printed\r\n"
                            "2;Contract \"B\".docx;2024-01-05 17:00;1.25;No;Cancelled\r\n";
  EXPECT_EQ(OnDb(0, "run details").out, out + "\n");
  EXPECT_EQ(ReadFile(out), header + januaryFifth + "3;;2024-01-06 08:30;0.50;No;Printed\r\n");
  // A date range keeps only the jobs of 5 January.
  OnDb(0, "run 2 --from 2024-01-05 --to 2024-01-05");
  EXPECT_EQ(ReadFile(out), header + januaryFifth);

  // A summary, grouped by department, totalling pages.
  const std::string summary = env.Root() + "/summary.txt";
  Export("Per department", summary, {},
         "<ExportType>1</ExportType>\r\n<Column>\r\n<Index>4</Index>\r\n<Action>1</Action>\r\n</Column>\r\n"
         "<Column>\r\n<Index>25</Index>\r\n<Action>3</Action>\r\n</Column>\r\n");
  // Departments that differ only in letter case are different groups, and
  // each arrives whole: "a", "A", "a" give one row for "a" and one for "A".
  WriteFile(env.Root() + "/more.csv", "Job ID,Department,Total Pages\n4,a,1\n5,A,2\n6,a,4\n7,,8\n8,sales,16\n");
  OnDb(0, "jobs import '" + env.Root() + "/more.csv'");
  OnDb(0, "run 'per DEPARTMENT'");
  EXPECT_EQ(ReadFile(summary),
            "\"\",\"8\"\r\n\"A\",\"2\"\r\n\"Legal\",\"10\"\r\n\"Sales\",\"8\"\r\n\"a\",\"5\"\r\n\"sales\",\"16\"\r\n");
}

TEST_F(QxExport, OutputFromTheCommandLine) {
  // A configuration without a file: --output answers the exporter's question.
  Export("Plain", "", {2}, "<StringsInQuotes>False</StringsInQuotes>\r\n");
  const std::string file = env.Root() + "/answered";
  const Result run = OnDb(0, "run Plain --silent --output '" + file + "'");
  EXPECT_EQ(run.out, file + "\n");  // as given: no extension added
  EXPECT_EQ(ReadFile(file), "ann\r\nbob\r\ncid\r\n");
  EXPECT_EQ(run.err, "qx6export: 3 jobs exported to " + file + "\n");
  // Standard output holds the rows and nothing else, be it a file or a socket.
  const Result piped = OnDb(0, "run Plain --output -");
  EXPECT_EQ(piped.out, "ann\r\nbob\r\ncid\r\n");
  EXPECT_EQ(piped.err, "qx6export: 3 jobs exported to standard output\n");
  EXPECT_EQ(SocketOutput(std::string(QX6_PRODUCT_DIR) + "/bin/qx6export --db '" + Db() + "' run Plain --output - 2>/dev/null"),
            "ann\r\nbob\r\ncid\r\n");
  // A quick export (sample jobs have every column), with no title row by default.
  const std::string sample = "--db '" + env.Root() + "/sample.db' ";
  Run(0, sample + "jobs sample 30");
  EXPECT_EQ(Lines(Run(0, sample + "quick --output -").out), 30u);
  EXPECT_EQ(Run(0, sample + "quick --output - --from 9999-01-01").out, "");
  // A configuration that names its file refuses --output.
  Export("Named", env.Root() + "/named.txt", {2});
  EXPECT_HAS(OnDb(2, "run Named --output '" + file + "'").err, "names its own output file");
  EXPECT_FALSE(fs::exists(env.Root() + "/named.txt"));
  // A date and time cannot be added to standard output.
  Export("Stamped", "", {2}, "<AppendDateTime>True</AppendDateTime>\r\n");
  const Result stamped = OnDb(2, "run Stamped --output -");
  EXPECT_HAS(stamped.err, "date and time");
  EXPECT_EQ(stamped.out, "");
}

TEST_F(QxExport, SampleConfigurationsToStartFrom) {
  const std::string exports = env.Root() + "/exports", mine = env.ConfigFolder() + "all jobs.cfg";
  EXPECT_HAS(Run(0, "samples --output-folder '" + exports + "'").out, "added " + mine + "\n");
  EXPECT_EQ(Run(0, "list").out, "1\t<Default>\n2\tAll jobs\n3\tDaily printer report\n4\tPages and cost by department\n");
  Run(0, "--db '" + env.Root() + "/s.db' jobs sample 40");
  EXPECT_EQ(Run(0, "--db '" + env.Root() + "/s.db' run 'all jobs'").out, exports + "/all-jobs.csv\n");
  EXPECT_EQ(Lines(ReadFile(exports + "/all-jobs.csv")), 41u);  // the title row and 40 jobs
  // A configuration the user has already is kept, so is one whose file name
  // differs only in letter case: to the exporter it is the same file.
  Config("all jobs.cfg", "<Name>Mine</Name>\r\n");
  Config("Daily Printer Report.cfg", "<Name>Also mine</Name>\r\n");
  fs::remove(env.ConfigFolder() + "daily printer report.cfg");
  const Result again = Run(0, "samples");
  EXPECT_HAS(again.out, "kept " + mine);
  EXPECT_HAS(again.out, "kept " + env.ConfigFolder() + "Daily Printer Report.cfg");
  EXPECT_HAS(ReadFile(mine), "Mine");
  EXPECT_FALSE(fs::exists(env.ConfigFolder() + "daily printer report.cfg"));
}

TEST_F(QxExport, AFreshWorldHasNoJobsUntilSomeAreMade) {
  const std::string defaultDb = env.Home() + "/.local/share/quorvex/qx6jobs.db";
  const std::string out = env.Root() + "/fresh.txt";
  Export("Fresh", out, {2});
  for (const char* command : {"run 2", "quick --silent", "schedule add nightly 2"}) {
    const std::string error = Run(1, command).err;
    EXPECT_HAS(error, "there is no job database " + defaultDb);
    EXPECT_HAS(error, "jobs import");
    EXPECT_HAS(error, "jobs sample");
  }
  EXPECT_FALSE(fs::exists(env.Home() + "/.local/share/quorvex")) << "a read created the folder";
  EXPECT_FALSE(fs::exists(out));
  // A database named but missing is not created either; an empty name is a usage error.
  Run(1, "--db '" + env.Root() + "/none.db' run 2");
  EXPECT_FALSE(fs::exists(env.Root() + "/none.db"));
  EXPECT_HAS(Run(2, "--db '' run 2").err, "--db");
  // A first import that fails leaves no empty database behind; one that fails
  // into a database of jobs leaves it as it was.
  WriteFile(env.Root() + "/bad.csv", "Job ID,Pages\n1,x\n");
  EXPECT_HAS(Run(1, "jobs import '" + env.Root() + "/bad.csv'").err, "'x' is not a whole number");
  EXPECT_FALSE(fs::exists(defaultDb));
  EXPECT_HAS(Run(1, "run 2").err, "there is no job database " + defaultDb);
  OnDb(1, "jobs import '" + env.Root() + "/bad.csv'");
  EXPECT_HAS(OnDb(0, "run 2").err, "3 jobs exported");
  // Asked for, sample jobs go into the default database, and then runs work.
  EXPECT_HAS(Run(0, "jobs sample 25").out, defaultDb);
  EXPECT_EQ(Run(0, "run 2").out, out + "\n");
}

TEST_F(QxExport, ScheduledTasksKeepTheirDatabaseAndFolderAndAreReplacedOnlyWhenAsked) {
  const std::string out = env.Root() + "/t.txt";
  Export("Tasked", out, {2});
  Export("Other", out, {3});
  // A relative --db is kept as the absolute path it named at that moment;
  // cron reads an unescaped "%" as a line break, even between quotes.
  EXPECT_HAS(Run(0, "--db jobs.db schedule add '50% off' Tasked", "cd '" + env.Root() + "' && ").out,
             "schedule run '50\\% off'");
  EXPECT_HAS(Run(0, "schedule list").out, "50% off\tTasked\t" + Db() + "\t*-*-* 02:00:00\t");
  // Run as the scheduler would, with another HOME whose documents hold no
  // configurations: the task reads them from the folder it was scheduled from.
  const std::string otherHome = env.Root() + "/other-home";
  fs::create_directories(otherHome + "/Documents");
  const std::string asOther = "HOME='" + otherHome + "' XDG_CONFIG_HOME='" + otherHome + "/.config' ";
  EXPECT_EQ(Run(0, "schedule run '50% off'", asOther).out, out + "\n");
  EXPECT_EQ(ReadFile(out), "\"ann\"\r\n\"bob\"\r\n\"cid\"\r\n");
  EXPECT_EQ(Run(0, "list", asOther).out, "1\t<Default>\n");
  EXPECT_HAS(OnDb(1, "schedule add '50% off' Other").err, "--replace");
  EXPECT_HAS(Run(0, "schedule list").out, "50% off\tTasked\t");
  OnDb(0, "schedule add '50% off' Other --replace");
  EXPECT_HAS(Run(0, "schedule list").out, "50% off\tOther\t");
  Run(0, "schedule remove '50% off'");
  Run(1, "schedule run '50% off'");
  Run(1, "schedule remove '50% off'");
  // A timer of its own: user units, since the registry is a private folder.
  const Result timed = OnDb(0, "schedule add t2 Tasked --at 'Mon..Fri 06:00'");
  EXPECT_HAS(timed.out, "\n0 6 * * 1-5 ");  // the same calendar for cron
  const std::string units = env.Home() + "/.config/systemd/user/qx6export-t2";
  const std::string service = ReadFile(units + ".service"), timer = ReadFile(units + ".timer");
  EXPECT_HAS(service, "ExecStart=\"" + std::string(QX6_PRODUCT_DIR) + "/bin/qx6export\" schedule run \"t2\"\n");
  EXPECT_HAS(service, "Environment=\"QX6_REGISTRY_DIR=" + env.RegistryFolder() + "\"\n");
  EXPECT_HAS(timer, "\nOnCalendar=Mon..Fri *-*-* 06:00:00\n");
  EXPECT_HAS(timer, "\nWantedBy=timers.target\n");
  // systemd-analyze (package systemd) checks the unit files and the calendar.
  EXPECT_EQ(std::system(("systemd-analyze verify '" + units + ".timer' '" + units + ".service' >/dev/null 2>&1").c_str()), 0);
  EXPECT_HAS(Run(0, "schedule list").out, "t2\tTasked\t" + Db() + "\tMon..Fri *-*-* 06:00:00\t");
  OnDb(1, "schedule add t3 Tasked --at 'whenever'");
  Run(1, "schedule add 'a\\b' Tasked");
  // Its database gone, the task fails and names it.
  fs::rename(Db(), env.Root() + "/moved.db");
  EXPECT_HAS(Run(1, "schedule run t2").err, Db());
  EXPECT_FALSE(fs::exists(Db()));
  Run(0, "schedule remove t2");
  EXPECT_FALSE(fs::exists(units + ".timer"));
  EXPECT_FALSE(fs::exists(units + ".service"));
}

TEST_F(QxExport, FailuresNameWhatIsAtFault) {
  // The job and the output column that WriteJob refused; an output file that cannot be opened.
  Export("Nulls", env.Root() + "/n.txt", {2, 21});
  Export("Nowhere", env.Root() + "/no/such/folder/o.txt", {2});
  EXPECT_EQ(OnDb(1, "run Nulls").err,
            "qx6export: WriteJob failed: error 94: Invalid use of Null (output column 2 \"Colour\"; job 1, the 1st of "
            "the run)\n"
            "qx6export: " + env.Root() + "/n.txt is incomplete: the export stopped before its first job\n");
  // A value damaged behind the host's back stops a run after the jobs before
  // it, and the user learns that the file holds only those.
  Export("Per user", env.Root() + "/u.txt", {},
         "<ExportType>1</ExportType>\r\n<StringsInQuotes>False</StringsInQuotes>\r\n<Column>\r\n<Index>2</Index>\r\n"
         "<Action>1</Action>\r\n</Column>\r\n<Column>\r\n<Index>25</Index>\r\n<Action>3</Action>\r\n</Column>\r\n");
  ASSERT_EQ(host::test::Sql(Db(), "UPDATE jobs SET total_pages = 'x' WHERE job_id = 3"), "");
  const Result stopped = OnDb(1, "run 'Per user'");
  EXPECT_HAS(stopped.err, "database is damaged (job 3 has 'x' as Total Pages)");
  EXPECT_HAS(stopped.err, "\nqx6export: " + env.Root() + "/u.txt is incomplete: the export stopped after 2 jobs\n");
  EXPECT_EQ(ReadFile(env.Root() + "/u.txt"), "ann,3\r\nbob,10\r\n");
  EXPECT_HAS(OnDb(1, "run Nowhere").err, env.Root() + "/no/such/folder/o.txt");
  // Unknown commands and options are named.
  EXPECT_HAS(Run(2, "frobnicate").err, "'frobnicate' is no command");
  EXPECT_HAS(Run(2, "--db x.db jobs frobnicate").err, "'frobnicate' is no command");
  EXPECT_HAS(Run(2, "list --frobnicate").err, "--frobnicate");
  // Without a display the dialog is refused.
  EXPECT_HAS(Run(2, "edit", "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ").err, "needs a display");
  // A configuration file that stops the listing: the file and its line.
  Config("z.cfg", "<Name>Broken</Name>\r\n<OutputType>wide</OutputType>\r\n");
  EXPECT_HAS(Run(1, "list").err, "error 13: Type mismatch (" + env.ConfigFolder() + "z.cfg, line 4)");
  fs::remove(env.ConfigFolder() + "z.cfg");
  // A component that is not registered: a sentence and the next step.
  Run(0, "unregister");
  EXPECT_HAS(Run(1, "list").err, "is not registered; run 'qx6export register'");
  // A damaged hive: the file and its line, and what to do.
  const std::string hive = env.RegistryFolder() + "/HKEY_LOCAL_MACHINE.reg";
  WriteFile(hive, "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software]\nthis is no value\n");
  for (const char* command : {"list", "register"}) {
    const Result damaged = Run(1, command);
    EXPECT_HAS(damaged.err, hive + ", line 4");
    EXPECT_HAS(damaged.err, "move the file aside");
    EXPECT_LACKS(damaged.err, "0x");
  }
}

// SIGTERM (or Ctrl-C) stops a run between two jobs: the file keeps the rows
// of the jobs before, and the user learns how many those are.
TEST_F(QxExport, AStoppedRunClosesItsFileAndSaysWhereItStopped) {
  const std::string sample = env.Root() + "/big.db", out = env.Root() + "/big.txt";
  Run(0, "--db '" + sample + "' jobs sample 500000");
  Export("Big", out, {1}, "<StringsInQuotes>False</StringsInQuotes>\r\n");
  const pid_t pid = host::test::Spawn({QX6_PRODUCT_DIR "/bin/qx6export", "--db", sample, "run", "Big"},
                                      env.Root() + "/stdout", env.Root() + "/stderr");
  // Stopped as soon as rows arrive, so that the signal finds it mid-run.
  std::error_code ec;
  while (fs::file_size(out, ec) == 0 || ec) {
    if (host::test::WaitFor(pid, std::chrono::milliseconds(0))) FAIL() << ReadFile(env.Root() + "/stderr");
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  kill(pid, SIGSTOP);
  kill(pid, SIGTERM);
  kill(pid, SIGCONT);
  ASSERT_EQ(host::test::WaitFor(pid, std::chrono::minutes(1)), 1);
  const std::string rows = ReadFile(out), err = ReadFile(env.Root() + "/stderr");
  const size_t jobs = Lines(rows);
  ASSERT_GT(jobs, 0u);
  ASSERT_LT(jobs, 500000u);
  EXPECT_EQ(rows.substr(rows.size() - 2), "\r\n");
  EXPECT_EQ(err, "qx6export: error 18: User interrupt occurred (SIGTERM)\nqx6export: " + out +
                     " is incomplete: the export stopped after " + std::to_string(jobs) + " jobs\n");
}

// Registration as a user without root: for every user is refused with the
// next step, for oneself goes to HKEY_CURRENT_USER\Software\Classes.
TEST(QxExportUser, RegistersForItselfWithoutRoot) {
  test::TestEnvironment env;
  // The machine registry at its real place, the user's under HOME.
  std::string prefix = "env -u QX6_REGISTRY_DIR HOME='" + env.Home() + "' XDG_CONFIG_HOME='" + env.Home() + "/.config' ";
  if (geteuid() == 0) {
    // Run as nobody, in a home of its own.
    ASSERT_EQ(std::system("command -v setpriv >/dev/null"), 0) << "setpriv (util-linux) is needed to drop root";
    fs::permissions(env.Root(), fs::perms::owner_all | fs::perms::others_exec);
    ASSERT_EQ(std::system(("chown -R 65534:65534 '" + env.Home() + "'").c_str()), 0);
    prefix += "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  } else if (access("/var/lib/quorvex/registry", W_OK) == 0) {
    GTEST_SKIP() << "/var/lib/quorvex/registry is writable by this user: every user's registration would succeed";
  }
  const std::string machineHive = "/var/lib/quorvex/registry/HKEY_LOCAL_MACHINE.reg";
  const bool machineRegistered = fs::exists(machineHive);
  auto run = [&](int status, const std::string& arguments) {
    return host::test::RunQxExport(status, env.Home(), arguments, prefix);
  };
  const Result everyone = run(1, "register");
  EXPECT_HAS(everyone.err, "needs root: run 'sudo qx6export register', or 'qx6export register --user'");
  EXPECT_LACKS(everyone.err, "0x");
  // Tasks live in the machine registry too: the next step, and nothing written.
  EXPECT_HAS(run(1, "schedule add nightly 1").err, "which needs root: run 'sudo qx6export schedule add");
  EXPECT_HAS(run(0, "register --user").out, "(for this user)");
  EXPECT_HAS(ReadFile(env.Home() + "/.config/quorvex/registry/HKEY_CURRENT_USER.reg"),
             "[HKEY_CURRENT_USER\\Software\\Classes\\QX6JobExportFlatFile.QX6FlatFile\\CLSID]");
  EXPECT_FALSE(fs::exists(machineHive) && !machineRegistered) << "the machine registry was written";
  EXPECT_EQ(run(0, "list").out.substr(0, 12), "1\t<Default>\n");
  run(0, "unregister --user");
  if (!machineRegistered) run(1, "list");
}

}  // namespace
}  // namespace qx6
