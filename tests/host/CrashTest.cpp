// qx6export stopped at every change it makes to its files: each scenario runs
// the program with QX6_CRASH_AT=1, 2, 3, ... (the process kills itself at
// that write, sync, rename, removal or truncation) until it ends normally,
// and after every kill the files must hold exactly the state before the
// command or exactly the state after it. A second pass leaves the chosen
// write half done, as a power cut in the middle of it would. More commands
// join by adding rows to Scenarios().
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "host/JobDatabase.h"
#include "host/SampleJobs.h"
#include "platform/RegistryHive.h"
#include "runtime/RuntimeError.h"
#include "tests/host/HostTestSupport.h"
#include "tests/support/TestEnvironment.h"

namespace qx6::host {
namespace {

namespace fs = std::filesystem;

// The private world of one scenario run: a folder for its files.
struct World {
  std::string folder;
  std::string Db() const { return folder + "/jobs.db"; }
};

struct Scenario {
  std::string name;
  std::function<void(const World&)> setUp;
  std::vector<std::string> arguments;  // "@" at the start stands for the world's folder
  // The state of the files as text; anything that is neither the state
  // before nor the state after counts as lost.
  std::function<std::string(const World&)> state;
  // States besides the measured one that count as "before" (a new database
  // may be there already, empty, when the command is stopped).
  std::vector<std::string> alsoBefore;
  // A job database scenario: some kill must leave a journal to roll back.
  bool journalled = true;
};

// --- reading the state of a job database ----------------------------------

// "no file", or the number of jobs and a hash of every value, read as an
// export reads them (opened for reading only, which must roll back what a
// killed writer left), after SQLite's own check of the whole file.
std::string DatabaseState(const World& world) {
  if (!fs::exists(world.Db())) return fs::exists(world.Db() + "-journal") ? "a journal without its database" : "no file";
  std::string jobs;
  try {
    JobDatabase db(world.Db(), OpenMode::ReadOnly);
    const std::vector<std::string> rows = test::DumpJobs(db);
    std::string all;
    for (const std::string& row : rows) all += row + "\n";
    jobs = std::to_string(rows.size()) + " jobs, hash " + std::to_string(std::hash<std::string>{}(all));
    if (db.CountJobs() != static_cast<int64_t>(rows.size())) jobs += " (but counted " + std::to_string(db.CountJobs()) + ")";
  } catch (const RuntimeError& e) {
    return "unreadable: " + e.Description();
  }
  const std::string integrity = test::Sql(world.Db(), "PRAGMA integrity_check");
  if (integrity != "ok") return "integrity check: " + integrity;
  return jobs;
}

const std::string kNoJobs = "0 jobs, hash " + std::to_string(std::hash<std::string>{}(""));

void SampleDatabase(const World& world, int64_t count, uint64_t seed) {
  JobDatabase db(world.Db(), OpenMode::Create);
  GenerateSampleJobs(db, count, seed);
}

// Rows with ids from `firstId` on, some text quoted, some fields Null.
void WriteCsv(const World& world, int firstId, int rows) {
  std::string csv = "Job ID,User,Date/Time,Document,Pages\n";
  for (int id = firstId; id < firstId + rows; ++id)
    csv += std::to_string(id) + ",user" + std::to_string(id % 17) + ",2024-03-" + std::to_string(10 + id % 18) +
           " 09:00:00," + (id % 7 ? "\"Report, " + std::string(static_cast<size_t>(20 + id % 60), 'r') + "\"" : "") +
           "," + std::to_string(1 + id % 40) + "\n";
  qx6::test::WriteFile(world.folder + "/jobs.csv", csv);
}

// A page log of `jobs` finished jobs from job id `firstId` on, as cupsd writes it.
void WritePageLog(const World& world, int firstId, int jobs) {
  std::string log;
  for (int id = firstId; id < firstId + jobs; ++id)
    log += "office user" + std::to_string(id % 11) + " " + std::to_string(id) + " [07/Dec/2026:" +
           std::to_string(10 + id % 12) + ":" + std::to_string(10 + id % 50) + ":00 +0000] total " +
           std::to_string(1 + id % 30) + " acct" + std::to_string(id % 3) + " pc" + std::to_string(id % 9) +
           " Report " + std::to_string(id) + ".pdf a4 one-sided\n";
  qx6::test::WriteFile(world.folder + "/page_log", log);
}

// --- running the program ------------------------------------------------------

constexpr int Killed = 128 + SIGKILL;  // the status of a program stopped at its crash point

int RunProgram(const World& world, const std::vector<std::string>& arguments, long crashAt, bool torn) {
  std::vector<std::string> argv{std::string(QX6_PRODUCT_DIR) + "/bin/qx6export"};
  for (const std::string& a : arguments) argv.push_back(a.rfind('@', 0) == 0 ? world.folder + a.substr(1) : a);
  const std::string output = world.folder + "/../output.txt";
  const pid_t pid = test::Spawn(argv, output, output,
                                {{"QX6_REGISTRY_DIR", world.folder + "/registry"},
                                 {"QX6_SYSTEMD_DIR", world.folder + "/units"},
                                 {"QX6_CRASH_AT", crashAt > 0 ? std::to_string(crashAt) : ""},
                                 {"QX6_CRASH_TORN", torn ? "1" : ""}});
  return test::WaitFor(pid, std::chrono::minutes(5)).value_or(-1);
}

// A set-up step: the program run to its end, which must succeed.
void Run(const World& world, const std::vector<std::string>& arguments) {
  ASSERT_EQ(RunProgram(world, arguments, 0, false), 0) << qx6::test::ReadFile(world.folder + "/../output.txt");
}

// --- reading the state of the registry and of the timers -------------------

// Every hive file of the world's registry as its parsed text ("-" when
// missing), and whether the timer units there are whole: what a registry
// change must keep whole through any kill.
std::string RegistryState(const World& world) {
  std::string state;
  for (const char* root : {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER"}) {
    const std::string path = world.folder + "/registry/" + root + ".reg";
    state += std::string(root) + ": ";
    std::string problem;
    auto hive = fs::exists(path) ? platform::RegistryHive::Parse(qx6::test::ReadFile(path), root, &problem) : nullptr;
    state += hive ? hive->Serialize() : fs::exists(path) ? "damaged: " + problem + "\n" : "-\n";
  }
  // Each unit file is written whole or not at all.
  for (const char* unit : {"qx6export-nightly.service", "qx6export-nightly.timer"}) {
    const std::string path = world.folder + "/units/" + unit;
    if (fs::exists(path) && qx6::test::ReadFile(path).find("\n[") == std::string::npos)
      state += std::string(unit) + " is torn\n";
  }
  return state;
}

// A configuration that can be scheduled, a database and the component
// registered: what a scheduled task needs; with `task`, the task "nightly".
void SchedulingWorld(const World& world, bool task) {
  fs::create_directories(world.folder + "/registry");
  SampleDatabase(world, 20, 1);
  // The configurations in the documents folder of the test's HOME.
  const std::string configs = std::string(std::getenv("HOME")) + "/Documents/Quorvex Inc/Quorvex/6.0/FlatFileExport/";
  qx6::test::WriteFile(configs + "nightly.cfg", test::ConfigText("Nightly", world.folder + "/nightly.txt", {2}));
  qx6::test::WriteFile(configs + "other.cfg", test::ConfigText("Other", world.folder + "/other.txt", {3}));
  Run(world, {"register"});
  if (task) Run(world, {"--db", world.Db(), "schedule", "add", "nightly", "Nightly"});
}

std::vector<Scenario> Scenarios() {
  using Args = std::vector<std::string>;
  const Args sample{"--db", "@/jobs.db", "jobs", "sample", "150", "--seed", "3"},
      import{"--db", "@/jobs.db", "jobs", "import", "@/jobs.csv"},
      importCups{"--db", "@/jobs.db", "jobs", "import-cups", "--page-log", "@/page_log", "--page-log-format",
                 "%p %u %j %T %P %C %{job-billing} %{job-originating-host-name} %{job-name} %{media} %{sides}"};
  return {
      {"jobs sample into new", [](const World&) {}, sample, DatabaseState, {kNoJobs}},
      {"jobs sample into existing", [](const World& w) { SampleDatabase(w, 300, 2); }, sample, DatabaseState, {}},
      {"jobs import into new", [](const World& w) { WriteCsv(w, 1, 150); }, import, DatabaseState, {kNoJobs}},
      {"jobs import into existing", [](const World& w) { SampleDatabase(w, 300, 2), WriteCsv(w, 5001, 150); }, import,
       DatabaseState, {}},
      {"jobs import-cups into new", [](const World& w) { WritePageLog(w, 1, 150); }, importCups, DatabaseState,
       {kNoJobs}},
      {"jobs import-cups into existing", [](const World& w) { SampleDatabase(w, 300, 2), WritePageLog(w, 1, 150); },
       importCups, DatabaseState, {}},
      {"register", [](const World& w) { fs::create_directories(w.folder + "/registry"); },
       {"register"}, RegistryState, {}, false},
      {"schedule add (new)", [](const World& w) { SchedulingWorld(w, false); },
       {"--db", "@/jobs.db", "schedule", "add", "nightly", "Nightly", "--at", "daily"}, RegistryState, {}, false},
      {"schedule add (replacing)", [](const World& w) { SchedulingWorld(w, true); },
       {"--db", "@/jobs.db", "schedule", "add", "nightly", "Other", "--replace"}, RegistryState, {}, false},
      {"schedule remove", [](const World& w) { SchedulingWorld(w, true); },
       {"--db", "@/jobs.db", "schedule", "remove", "nightly"}, RegistryState, {}, false},
  };
}

// A journal whose header is written: the database may hold changes it must
// undo. (SQLite writes the header last, so a journal begun but never synced
// starts with zeros and is no longer needed.)
bool HotJournal(const World& world) {
  const std::string journal = world.Db() + "-journal";
  return fs::exists(journal) && fs::file_size(journal) > 0 && qx6::test::ReadFile(journal)[0] != 0;
}

// The scenario stopped at each of its changes in turn: every kill leaves the
// state before or the state after, some kills each.
void RunScenario(const Scenario& scenario, const std::string& root, bool torn) {
  SCOPED_TRACE(scenario.name);
  const World world{root + "/world"};
  auto fresh = [&] {
    fs::remove_all(world.folder);
    fs::create_directories(world.folder);
    scenario.setUp(world);
  };

  fresh();
  std::set<std::string> before{scenario.state(world)};
  before.insert(scenario.alsoBefore.begin(), scenario.alsoBefore.end());
  EXPECT_EQ(RunProgram(world, scenario.arguments, 0, false), 0) << qx6::test::ReadFile(root + "/output.txt");
  const std::string after = scenario.state(world);
  EXPECT_EQ(before.count(after), 0u) << "the command changed nothing";

  // Kills in all, leaving the state before, the state after, a journal the next open must roll back.
  long killPoints = 0, asBefore = 0, asAfter = 0, journals = 0, at = 1;
  for (; at <= 5000; ++at) {
    fresh();
    const int exit = RunProgram(world, scenario.arguments, at, torn);
    if (exit != Killed) {
      EXPECT_EQ(exit, 0) << "QX6_CRASH_AT=" << at << ": " << qx6::test::ReadFile(root + "/output.txt");
      EXPECT_EQ(scenario.state(world), after) << "ended normally with another result";
      break;
    }
    ++killPoints;
    const bool journal = HotJournal(world);
    const std::string state = scenario.state(world);
    journals += journal;
    EXPECT_FALSE(journal && HotJournal(world)) << "reading left the journal behind";
    if (before.count(state)) ++asBefore;
    else if (state == after) ++asAfter;
    else ADD_FAILURE() << "QX6_CRASH_AT=" << at << " lost the state: " << state;
  }
  EXPECT_LE(at, 5000) << "the command never ends";
  std::printf("crash test: %s%s: %ld kill points, %ld states lost (%ld as before, %ld as after; %ld left a journal)\n",
              scenario.name.c_str(), torn ? " (torn writes)" : "", killPoints, killPoints - asBefore - asAfter,
              asBefore, asAfter, journals);
  std::fflush(stdout);
  EXPECT_GT(killPoints, 2) << "the program made too few changes to be stopped in";
  EXPECT_GT(asBefore, 0);
  EXPECT_GT(asAfter, 0) << "no kill came after the commit";
  EXPECT_TRUE(!scenario.journalled || journals > 0) << "no kill left a journal to roll back";
}

class CrashTest : public ::testing::TestWithParam<bool> {
 protected:
  qx6::test::TestEnvironment env;  // HOME, XDG folders and registry of its own
};

TEST_P(CrashTest, EveryKillLeavesTheFilesAsBeforeOrAsAfter) {
  for (const Scenario& scenario : Scenarios()) RunScenario(scenario, env.Root(), GetParam());
}

// A reader who may not write the file cannot roll back what a killed writer
// left; it says so, naming the file, and changes nothing. The reader runs as
// nobody when the test runs as root, whom no permission stops.
TEST(CrashRecovery, AReaderWhoMayNotWriteIsToldWhy) {
  qx6::test::TestEnvironment env;
  const World world{env.Root() + "/world"};
  fs::create_directories(world.folder);
  SampleDatabase(world, 300, 2);
  const std::string before = DatabaseState(world);
  // The first kill after which the database holds changes and its journal
  // the pages they replaced.
  bool left = false;
  for (long at = 1; at < 200 && !left; ++at) {
    const std::string copy = env.Root() + "/copy.db";
    fs::copy_file(world.Db(), copy, fs::copy_options::overwrite_existing);
    if (RunProgram(world, {"--db", world.Db(), "jobs", "sample", "150"}, at, false) != Killed) break;
    left = HotJournal(world) && qx6::test::ReadFile(world.Db()) != qx6::test::ReadFile(copy);
    if (!left) {
      fs::remove(world.Db() + "-journal");
      fs::copy_file(copy, world.Db(), fs::copy_options::overwrite_existing);
    }
  }
  ASSERT_TRUE(left);
  // Readable by all, writable by none but the owner, in a folder none may write.
  fs::permissions(env.Root(), fs::perms::others_exec, fs::perm_options::add);
  for (const std::string& file : {world.Db(), world.Db() + "-journal"})
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  fs::permissions(world.folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
  const std::string error =
      test::InChild([&] { return test::Failure([&] { JobDatabase db(world.Db(), OpenMode::ReadOnly); }); }, true);
  EXPECT_STARTS(error, std::to_string(RuntimeErrorNumber::PermissionDenied) + " ");
  EXPECT_HAS(error, world.Db() + " holds a change left unfinished");
  EXPECT_TRUE(fs::exists(world.Db() + "-journal"));
  fs::permissions(world.folder, fs::perms::owner_all);
  EXPECT_EQ(DatabaseState(world), before);
}

INSTANTIATE_TEST_SUITE_P(Writes, CrashTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "TornWrites" : "WholeWrites"; });

}  // namespace
}  // namespace qx6::host
