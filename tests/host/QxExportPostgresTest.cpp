// qx6export on a job database of a private PostgreSQL server: the same files
// as from the SQLite file, importers and an export at once, scheduled tasks
// that keep no password.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "tests/host/HostTestSupport.h"
#include "tests/host/PostgresServer.h"


namespace qx6 {
namespace {

using host::test::Lines;
using host::test::PostgresServer;
using host::test::Result;
using test::ReadFile;
using test::WriteFile;

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

class QxExportPostgres : public ::testing::Test {
 protected:
  void SetUp() override {
    PostgresServer& server = PostgresServer::Shared();
    if (!server.Running()) GTEST_SKIP() << "no PostgreSQL server: " << server.Problem();
    pg_ = server.NewDatabase();
    Run(0, "register");
  }

  Result Run(int status, const std::string& arguments) {
    return host::test::RunQxExport(status, env.Root(), arguments);
  }
  // Both stores: the server's database and an SQLite file.
  std::vector<std::string> Stores() const { return {pg_, env.Root() + "/jobs.db"}; }

  test::TestEnvironment env;
  std::string pg_;
};

// The same jobs give the same bytes from either store, whatever the
// configuration sorts, groups or ranges: the server sorts and ranges as the
// SQLite file does. (Texts in letter case and escaping are the stores' own tests.)
TEST_F(QxExportPostgres, ExportsTheSameBytesAsFromSqlite) {
  const std::string exports = env.Root() + "/exports";
  Run(0, "samples --output-folder " + Quoted(exports));
  // The same exports of each store, compared byte for byte.
  auto compare = [&](const std::string& arguments, const std::string& file) {
    std::vector<std::string> files;
    for (const std::string& store : Stores()) {
      const Result result = Run(0, "--db " + Quoted(store) + " " + arguments);
      const std::string path = file.empty() ? result.out.substr(0, result.out.find('\n')) : file;
      files.push_back(ReadFile(path));
      std::filesystem::remove(path);
    }
    ASSERT_GT(Lines(files[0]), 2u) << arguments;
    EXPECT_TRUE(files[0] == files[1]) << arguments << ": the files differ";
  };
  for (const std::string& store : Stores()) Run(0, "--db " + Quoted(store) + " jobs sample 3000 --seed 7");
  // Every column (sample jobs have them all), in job id order and in a range.
  const std::string quick = env.Root() + "/quick.csv";
  compare("quick --output " + Quoted(quick), quick);
  compare("quick --from 2024-03-01 --to '2024-06-30 12:00' --output " + Quoted(quick), quick);
  // Sorted, grouped and totalled by text, date and printer.
  compare("run 'All jobs'", exports + "/all-jobs.csv");
  compare("run 'Daily printer report'", "");
  compare("run 'Pages and cost by department'", "");
}

// Two importers and an export at once: every job arrives once, and the
// export sees the jobs as they stood at one moment.
TEST_F(QxExportPostgres, TwoImportersAndAnExportAtOnce) {
  constexpr int kBase = 20000, kEach = 15000;
  Run(0, "--db " + Quoted(pg_) + " jobs sample " + std::to_string(kBase));
  auto start = [&](std::vector<std::string> argv, const std::string& log) {
    argv.insert(argv.begin(), {QX6_PRODUCT_DIR "/bin/qx6export", "--db", pg_});
    return host::test::Spawn(argv, env.Root() + "/" + log, env.Root() + "/" + log);
  };
  const std::string snapshot = env.Root() + "/snapshot.csv", each = std::to_string(kEach);
  const pid_t pids[] = {start({"jobs", "sample", each, "--seed", "2"}, "a.log"),
                        start({"jobs", "sample", each, "--seed", "3"}, "b.log"),
                        start({"quick", "--output", snapshot}, "e.log")};
  for (pid_t pid : pids)
    EXPECT_EQ(host::test::WaitFor(pid, std::chrono::minutes(10)), 0)
        << ReadFile(env.Root() + "/a.log") << ReadFile(env.Root() + "/b.log") << ReadFile(env.Root() + "/e.log");
  const size_t seen = Lines(ReadFile(snapshot));
  EXPECT_TRUE(seen == kBase || seen == kBase + kEach || seen == kBase + 2 * kEach) << seen << " jobs exported";

  const std::string all = Run(0, "--db " + Quoted(pg_) + " quick --output -").out;
  EXPECT_EQ(Lines(all), static_cast<size_t>(kBase + 2 * kEach));
  std::set<std::string> ids;
  for (size_t at = 0; at < all.size(); at = all.find('\n', at) + 1) ids.insert(all.substr(at, all.find(',', at) - at));
  EXPECT_EQ(ids.size(), static_cast<size_t>(kBase + 2 * kEach));
  EXPECT_EQ(PostgresServer::Sql(pg_, "SELECT min(job_id), max(job_id) FROM jobs"), "1|50000");
}

TEST_F(QxExportPostgres, PasswordsAreNeverPrintedNorScheduled) {
  const std::string server = PostgresServer::Shared().Folder();
  const std::string withPassword = "postgresql://qx6:s3cret@/" + pg_.substr(pg_.rfind('=') + 1) + "?host=" + server;
  const std::string withoutPassword = "postgresql://qx6@/" + pg_.substr(pg_.rfind('=') + 1) + "?host=" + server;
  // Trust authentication ignores the password; it still never shows.
  EXPECT_EQ(Run(0, "--db " + Quoted(withPassword) + " jobs sample 5").out,
            "added 5 sample jobs to " + withoutPassword + "\n");
  const std::string out = env.Root() + "/nightly.txt";
  WriteFile(env.ConfigFolder() + "n.cfg", host::test::ConfigText("Nightly", out, {2}));
  const Result refused = Run(1, "--db " + Quoted(withPassword) + " schedule add night Nightly");
  EXPECT_HAS(refused.err, "~/.pgpass");
  EXPECT_LACKS(refused.err, "s3cret");
  EXPECT_EQ(Run(0, "schedule list").out, "");
  Run(0, "--db " + Quoted(withoutPassword) + " schedule add night Nightly");
  EXPECT_HAS(Run(0, "schedule list").out, "night\tNightly\t" + withoutPassword + "\t");
  EXPECT_LACKS(ReadFile(env.RegistryFolder() + "/HKEY_LOCAL_MACHINE.reg"), "s3cret");
  EXPECT_EQ(Run(0, "schedule run night").out, out + "\n");
  EXPECT_EQ(Lines(ReadFile(out)), 5u);
}

}  // namespace
}  // namespace qx6
