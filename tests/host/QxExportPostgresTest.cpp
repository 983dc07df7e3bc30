// qx6export on a job database of a private PostgreSQL server: the same files
// as from the SQLite file, importers and an export at once, scheduled tasks
// that keep no password.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "tests/host/HostTestSupport.h"
#include "tests/host/PostgresServer.h"


namespace qx6 {
namespace {

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

  // qx6export with `arguments`, which must end with `status`.
  Result Run(int status, const std::string& arguments) {
    Result result = host::test::RunQxExport(env.Root(), arguments);
    EXPECT_EQ(result.status, status) << "qx6export " << arguments << "\n" << result.err;
    return result;
  }
  // Both stores: the server's database and an SQLite file.
  std::vector<std::string> Stores() const { return {pg_, env.Root() + "/jobs.db"}; }

  test::TestEnvironment env;
  std::string pg_;
};

size_t Lines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

// The same jobs give the same bytes from either store, whatever the
// configuration sorts, groups or ranges: the server sorts and ranges as the
// SQLite file does.
TEST_F(QxExportPostgres, ExportsTheSameBytesAsFromSqlite) {
  const std::string exports = env.Root() + "/exports";
  Run(0, "samples --output-folder " + Quoted(exports));
  // Texts that differ only in letter case, by accents or by characters COPY
  // escapes; Null texts; dates on one second and before 2000.
  WriteFile(env.Root() + "/odd.csv",
            "Job ID,User,Department,Document,Date/Time,Total Pages,Cost,Duplex,Status,Printer,Pages,Copies,Colour,Price,"
            "Colour Pages,Mono Pages\n"
            "900001,ann,sales,\"tab\there\",2024-03-01 10:00:00,1,0.1,1,0,P1,1,1,0,2.5,0,1\n"
            "900002,Ann,Sales,\"back\\slash\",2024-03-01 10:00:00,2,0.2,0,1,P1,1,1,0,2.5,0,1\n"
            "900003,ánn,,\"two\nlines\",2024-03-02 00:00:00,3,0,1,2,p1,1,1,0,2.5,0,1\n"
            "900004,,SALES,,1999-12-31 23:59:59,4,1e-7,0,3,,1,1,0,2.5,0,1\n"
            "900005,zoë,Émile,x,2024-03-01 10:00:00,5,12345.678,0,0,P1,1,1,0,2.5,0,1\n");
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
  for (const std::string& store : Stores())
    Run(0, "--db " + Quoted(store) + " jobs import " + Quoted(env.Root() + "/odd.csv"));
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
  WriteFile(env.ConfigFolder() + "n.cfg", "<?xml version=\"1.0\"?>\r\n<root>\r\n<Name>Nightly</Name>\r\n<Version>4</Version>\r\n"
                                          "<OutputFile>" + out + "</OutputFile>\r\n<Column>\r\n<Index>2</Index>\r\n</Column>\r\n");
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
