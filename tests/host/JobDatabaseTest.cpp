#include "host/JobDatabase.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <set>

#include "host/SampleJobs.h"
#include "runtime/DateTime.h"
#include "runtime/RuntimeError.h"
#include "tests/host/HostTestSupport.h"
#include "tests/host/PostgresServer.h"
#include "tests/support/TestEnvironment.h"

namespace qx6::host {
namespace {

namespace fs = std::filesystem;
using qx6::test::ReadFile;
using qx6::test::TempFolder;
using qx6::test::WriteFile;
using test::Failure;
using test::Sql;

// The number of the error a call raises, 0 when it raises none.
template <class F>
int ErrorNumber(F&& call) {
  const std::string failure = Failure(call);
  return failure == "no error" ? 0 : std::stoi(failure);
}

std::string Damaged(const std::string& path, const std::string& why) {
  return std::to_string(InvalidFileFormat) + " " + path + ": database is damaged (" + why + ")";
}

// Column `column` (from 1) of a row of test::DumpJobs.
std::string Cell(const std::string& row, int column) {
  size_t start = 0;
  for (int i = 1; i < column; ++i) start = row.find('|', start) + 1;
  return row.substr(start, row.find('|', start) - start);
}

double At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return DateTime::Combine(DateTime::DateSerial(y, mo, d), (h * 3600 + mi * 60 + s) / 86400.0);
}

void Sample(const std::string& path, int64_t count) {
  JobDatabase db(path, OpenMode::Create);
  GenerateSampleJobs(db, count, 1);
}

// The tests of behaviour that both stores share run on each: an SQLite file
// and a database of a private PostgreSQL server.
enum class Store { Sqlite, Postgres };

class JobStore : public ::testing::TestWithParam<Store> {
 protected:
  void SetUp() override {
    if (GetParam() == Store::Sqlite) {
      location_ = folder_ / "jobs.db";
      return;
    }
    test::PostgresServer& server = test::PostgresServer::Shared();
    if (!server.Running()) GTEST_SKIP() << "no PostgreSQL server: " << server.Problem();
    location_ = server.NewDatabase();
  }
  const std::string& Location() const { return location_; }
  // The first row of a query on the store, values separated by "|".
  std::string Query(const std::string& sql) const {
    return GetParam() == Store::Sqlite ? Sql(location_, sql.c_str()) : test::PostgresServer::Sql(location_, sql);
  }

  TempFolder folder_;
  std::string location_;
};

std::string StoreName(const ::testing::TestParamInfo<Store>& info) {
  return info.param == Store::Sqlite ? "Sqlite" : "Postgres";
}

#define QX6_STORES(suite) \
  INSTANTIATE_TEST_SUITE_P(, suite, ::testing::Values(Store::Sqlite, Store::Postgres), StoreName)

QX6_STORES(JobStore);

// --- opening -----------------------------------------------------------------

TEST_P(JobStore, CreatesTheSchemaOnceAndReopensIt) {
  const std::string& path = Location();
  { JobDatabase created(path, OpenMode::Create); }
  { JobDatabase again(path, OpenMode::Create); }  // Create on a job database opens it as it is
  JobDatabase reopened(path, OpenMode::ReadOnly);
  EXPECT_EQ(reopened.CountJobs(), 0);
  EXPECT_TRUE(reopened.IsReadOnly());
  // One column per host column; dates as a timestamp on the server, as text in the file.
  EXPECT_EQ(GetParam() == Store::Postgres
                ? Query("SELECT count(*), count(*) FILTER (WHERE column_name = 'date_time' AND data_type = "
                        "'timestamp without time zone') FROM information_schema.columns WHERE table_name = 'jobs'")
                : Query("SELECT count(*), count(*) FILTER (WHERE name = 'date_time' AND type = 'TEXT') "
                        "FROM pragma_table_info('jobs')"),
            std::to_string(HostColumnCount) + "|1");
}

// A table changed behind the host's back, or written by a newer version.
TEST_P(JobStore, NamesNewerSchemasAndAlteredTables) {
  { JobDatabase db(Location(), OpenMode::Create); }
  ASSERT_EQ(Query("ALTER TABLE jobs DROP COLUMN notes"), "");
  EXPECT_EQ(Failure([&] { JobDatabase db(Location(), OpenMode::ReadWrite); }),
            Damaged(Location(), "the jobs table lacks the column notes"));
  ASSERT_EQ(Query("ALTER TABLE jobs ADD COLUMN notes text"), "");
  EXPECT_EQ(JobDatabase(Location(), OpenMode::ReadOnly).CountJobs(), 0);
  if (GetParam() == Store::Postgres) {
    ASSERT_EQ(Query("ALTER TABLE jobs ALTER COLUMN pages TYPE bigint"), "");
    EXPECT_EQ(Failure([&] { JobDatabase db(Location(), OpenMode::ReadOnly); }),
              Damaged(Location(), "the column pages is of type bigint, not integer"));
  }
  ASSERT_EQ(Query(GetParam() == Store::Postgres ? "UPDATE quorvex_job_database SET version = 2"
                                                 : "PRAGMA user_version = 2"),
            "");
  const std::string newer = Failure([&] { JobDatabase db(Location(), OpenMode::ReadOnly); });
  EXPECT_STARTS(newer, std::to_string(InvalidFileFormat) + " ");
  EXPECT_HAS(newer, "was written by a newer version (job database version 2");
}

// Cases of one SQLite file, `path` in `folder`.
class JobDatabaseFile : public ::testing::Test {
 protected:
  TempFolder folder;
  const std::string path = folder / "jobs.db";
};

TEST_F(JobDatabaseFile, RefusesFilesThatAreNoJobDatabaseAndLeavesThemAlone) {
  const std::string text = folder / "notes.txt", foreign = folder / "foreign.db";
  WriteFile(text, "job_id,user\n1,alice\nthis is not a database, but a long enough text file\n");
  ASSERT_EQ(Sql(foreign, "CREATE TABLE invoices (id INTEGER PRIMARY KEY, amount REAL)"), "");
  for (const std::string& other : {text, foreign}) {
    const std::string before = ReadFile(other);
    for (OpenMode mode : {OpenMode::ReadOnly, OpenMode::ReadWrite, OpenMode::Create})
      EXPECT_EQ(Failure([&] { JobDatabase db(other, mode); }),
                std::to_string(InvalidFileFormat) + " " + other + " is not a Quorvex job database");
    EXPECT_EQ(ReadFile(other), before);
  }
  // An empty file may become a job database, but only when asked to.
  WriteFile(path, "");
  EXPECT_EQ(ErrorNumber([&] { JobDatabase db(path, OpenMode::ReadOnly); }), InvalidFileFormat);
  EXPECT_EQ(JobDatabase(path, OpenMode::Create).CountJobs(), 0);
}

TEST_F(JobDatabaseFile, NamesMissingFilesAndFolders) {
  EXPECT_EQ(ErrorNumber([&] { JobDatabase db(path, OpenMode::ReadOnly); }), RuntimeErrorNumber::FileNotFound);
  EXPECT_EQ(Failure([&] { JobDatabase db(folder / "no/such/folder/jobs.db", OpenMode::Create); }),
            std::to_string(RuntimeErrorNumber::PathNotFound) + " Path not found: " + (folder / "no/such/folder/jobs.db") +
                " (there is no folder " + (folder / "no/such/folder") + ")");
  EXPECT_EQ(ErrorNumber([&] { JobDatabase db(folder.Path(), OpenMode::ReadOnly); }),
            RuntimeErrorNumber::PathFileAccessError);
}

TEST_F(JobDatabaseFile, ATruncatedFileIsReportedAsDamagedNotACrash) {
  Sample(path, 3000);
  fs::resize_file(path, fs::file_size(path) / 2);
  EXPECT_STARTS(Failure([&] { test::DumpJobs(JobDatabase(path, OpenMode::ReadOnly)); }),
                std::to_string(InvalidFileFormat) + " " + path + ": database is damaged");
}

TEST_F(JobDatabaseFile, ANewDatabaseAppearsCompleteAndLeavesNoNamesBehind) {
  // What creations by programs that have ended left behind goes; what one
  // still running is using (process 1 always runs) stays.
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  ASSERT_GT(ended, 0);
  waitpid(ended, nullptr, 0);
  const std::string abandoned = path + ".new-" + std::to_string(ended);
  WriteFile(abandoned, "half a database");
  WriteFile(abandoned + "-journal", "its journal");
  WriteFile(path + ".new-1", "in use");
  WriteFile(path + ".new-x", "not ours");
  Sample(path, 0);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder.Path())) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"jobs.db", "jobs.db.new-1", "jobs.db.new-x"}));
  EXPECT_EQ(JobDatabase(path, OpenMode::ReadOnly).CountJobs(), 0);
}

// Run as nobody when the test runs as root, whom no permission stops.
TEST_F(JobDatabaseFile, AFolderThatMayNotBeWrittenIsPermissionDenied) {
  const std::string locked = folder / "locked";
  fs::create_directory(locked);
  fs::permissions(folder.Path(), fs::perms::others_exec, fs::perm_options::add);
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                              fs::perms::others_exec);
  const std::string error = test::InChild(
      [&] {
        JobDatabase db(locked + "/jobs.db", OpenMode::Create);
        return std::string("created");
      },
      true);
  EXPECT_EQ(error, std::to_string(RuntimeErrorNumber::PermissionDenied) + " Permission denied: " + locked + "/jobs.db");
  EXPECT_TRUE(fs::is_empty(locked));
}

// The file size limit stands in for a full disk, which a test cannot make.
TEST_F(JobDatabaseFile, AFullDiskNamesTheFileAndKeepsTheJobsBefore) {
  Sample(path, 100);
  const std::string error = test::InChild([&] {
    const rlimit limit{256 * 1024, 256 * 1024};
    std::signal(SIGXFSZ, SIG_IGN);
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return std::string("no limit");
    JobDatabase db(path, OpenMode::ReadWrite);
    GenerateSampleJobs(db, 5000, 2);
    return std::string("no error");
  });
  EXPECT_STARTS(error, "61 Disk full while writing " + path);
  EXPECT_EQ(JobDatabase(path, OpenMode::ReadOnly).CountJobs(), 100);
}

// --- values ----------------------------------------------------------------

TEST_P(JobStore, EveryKindTravelsThroughInsertAndRead) {
  JobDatabase db(Location(), OpenMode::Create);
  {
    JobInserter insert = db.BeginInsert();
    insert.SetInteger(1, 41);
    insert.SetText(2, "jürgen");
    insert.SetText(7, "Übersicht Q3, \"final\".xlsx");
    insert.SetText(8, "tab\there\\back\\slash\r\nnew line");
    insert.SetText(37, "");  // an empty text is no Null
    insert.SetInteger(10, 3);
    insert.SetDate(12, At(2024, 1, 5, 14, 30, 5));
    insert.SetBoolean(20, true);
    insert.SetBoolean(21, false);
    insert.SetInteger(23, -2147483647 - 1);
    insert.SetInteger(25, 2147483647);
    insert.SetNumber(28, 1.375);
    EXPECT_EQ(insert.Insert(), 41);
    EXPECT_EQ(insert.Insert(), 42);  // all Null: the next free id
    insert.Commit();
  }
  const auto rows = test::DumpJobs(db);
  ASSERT_EQ(rows.size(), 2u);
  const std::pair<int, std::string> expected[] = {
      {1, "l:41"},          {2, "s:jürgen"},      {7, "s:Übersicht Q3, \"final\".xlsx"}, {37, "s:"},
      {8, "s:tab\there\\back\\slash\r\nnew line"},
      {10, "i:3"},          {20, "b:1"},          {21, "b:0"},                          {23, "l:-2147483648"},
      {25, "l:2147483647"}, {28, "d:1.375000"},   {3, "null"},
      {12, "t:" + std::to_string(DateTime::DateSerial(2024, 1, 5) + DateTime::TimeSerial(14, 30, 5))}};
  for (const auto& [column, value] : expected) EXPECT_EQ(Cell(rows[0], column), value) << "column " << column;
  // The second job is Null everywhere but its id: none of the first job's
  // values linger in the refilled collection.
  std::string nulls;
  for (int32_t c = 2; c <= HostColumnCount; ++c) nulls += "null|";
  EXPECT_EQ(rows[1], "l:42|" + nulls);
}

TEST_P(JobStore, SetValueConvertsByKindAndRefusesWhatDoesNotFit) {
  JobDatabase db(Location(), OpenMode::Create);
  JobInserter insert = db.BeginInsert();
  insert.SetValue(2, Variant::String("temporary"));  // copied: the variant dies here
  insert.SetValue(12, Variant("2024-03-01T08:00:00"));
  insert.SetValue(23, Variant(12.0));
  insert.SetValue(27, Variant(int32_t{1}));
  insert.SetValue(34, Variant(int16_t{3}));
  insert.SetValue(10, Variant::Null());
  insert.Insert();
  const struct {
    int32_t column;
    Variant value;
    int error;
  } refused[] = {
      {2, Variant(int32_t{5}), RuntimeErrorNumber::TypeMismatch},  {23, Variant(12.5), RuntimeErrorNumber::TypeMismatch},
      {23, Variant("12"), RuntimeErrorNumber::TypeMismatch},       {12, Variant("5 January"), RuntimeErrorNumber::TypeMismatch},
      {10, Variant(int32_t{4}), RuntimeErrorNumber::TypeMismatch}, {23, Variant(3e10), RuntimeErrorNumber::Overflow},
  };
  for (const auto& r : refused)
    EXPECT_EQ(ErrorNumber([&] { insert.SetValue(r.column, r.value); }), r.error) << "column " << r.column;
  EXPECT_EQ(ErrorNumber([&] { insert.SetNumber(28, std::numeric_limits<double>::quiet_NaN()); }),
            RuntimeErrorNumber::TypeMismatch);
  EXPECT_EQ(ErrorNumber([&] { insert.SetInteger(1, 0); }), RuntimeErrorNumber::Overflow);
  EXPECT_EQ(ErrorNumber([&] { insert.SetText(46, "x"); }), RuntimeErrorNumber::InvalidProcedureCall);
  insert.Commit();

  const auto rows = test::DumpJobs(db);
  ASSERT_EQ(rows.size(), 1u);
  const std::pair<int, std::string> expected[] = {{2, "s:temporary"}, {12, "t:" + std::to_string(At(2024, 3, 1, 8))},
                                                  {23, "l:12"},       {27, "b:1"},
                                                  {34, "d:3.000000"}, {10, "null"}};
  for (const auto& [column, value] : expected) EXPECT_EQ(Cell(rows[0], column), value) << "column " << column;
}

TEST_P(JobStore, ATransactionKeepsAllOrNothing) {
  const std::string& path = Location();
  JobDatabase db(path, OpenMode::Create);
  {
    JobInserter insert = db.BeginInsert();
    insert.SetInteger(1, 7);
    insert.Insert();
    EXPECT_EQ(ErrorNumber([&] { db.BeginInsert(); }), RuntimeErrorNumber::InvalidProcedureCall);
    insert.SetInteger(1, 7);
    EXPECT_EQ(ErrorNumber([&] { insert.Insert(); }), RuntimeErrorNumber::DuplicateKey);
    // Destroyed without Commit: rolled back.
  }
  EXPECT_EQ(db.CountJobs(), 0);
  JobDatabase reader(path, OpenMode::ReadOnly);
  EXPECT_EQ(ErrorNumber([&] { reader.BeginInsert(); }), RuntimeErrorNumber::PermissionDenied);
}

TEST_P(JobStore, AJobWithoutAnIdGetsOneAfterTheLargestAndNoIdIsGivenTwice) {
  JobDatabase db(Location(), OpenMode::Create);
  auto insert = [](JobInserter& inserter, int64_t id) {
    if (id) inserter.SetInteger(1, id);
    return inserter.Insert();
  };
  {
    JobInserter inserter = db.BeginInsert();
    // {the id given (0: none), the id the job gets}
    for (const auto& [id, expected] : std::vector<std::pair<int64_t, int64_t>>{{10, 10}, {0, 11}, {5, 5}, {13, 13},
                                                                               {0, 14}, {12, 12}})
      EXPECT_EQ(insert(inserter, id), expected) << id;
    for (int64_t taken : {5, 10, 11, 12, 13, 14})
      EXPECT_EQ(ErrorNumber([&] { insert(inserter, taken); }), RuntimeErrorNumber::DuplicateKey) << taken;
    inserter.Commit();
  }
  JobInserter inserter = db.BeginInsert();
  EXPECT_EQ(ErrorNumber([&] { insert(inserter, 5); }), RuntimeErrorNumber::DuplicateKey);
  EXPECT_EQ(insert(inserter, 4), 4);
  EXPECT_EQ(insert(inserter, 0), 15);
  inserter.Commit();
  EXPECT_EQ(db.CountJobs(), 8);
}

TEST_P(JobStore, AnOriginKeyAddsItsJobOnceAcrossInserts) {
  JobDatabase db(Location(), OpenMode::Create);
  auto once = [&](JobInserter& insert, const char* key, const char* user) {
    insert.SetText(2, user);
    return insert.InsertOnce(key);
  };
  {
    JobInserter insert = db.BeginInsert();
    EXPECT_EQ(once(insert, "cups:a/1", "ann"), 1);
    EXPECT_EQ(once(insert, "cups:a/1", "bob"), std::nullopt);  // the same job in the same insert
    EXPECT_EQ(insert.Insert(), 2);  // the values of the refused job did not linger
    insert.Commit();
  }
  {
    JobInserter insert = db.BeginInsert();
    EXPECT_EQ(once(insert, "cups:a/1", "cy"), std::nullopt);
    EXPECT_EQ(once(insert, "cups:a/2", "dee"), 3);
    // Rolled back: the key of job 3 goes with it.
  }
  JobInserter insert = db.BeginInsert();
  EXPECT_EQ(once(insert, "cups:a/2", "eve"), 3);
  insert.Commit();
  const auto rows = test::DumpJobs(db);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(Cell(rows[0], 2) + "," + Cell(rows[1], 2) + "," + Cell(rows[2], 2), "s:ann,null,s:eve");
  EXPECT_EQ(Query("SELECT count(*) FROM job_origins"), "2");
}

TEST_P(JobStore, ValuesWrittenBehindTheHostsBackAreReportedAsDamage) {
  JobDatabase db(Location(), OpenMode::Create);
  GenerateSampleJobs(db, 20, 1);
  ASSERT_EQ(Query("UPDATE jobs SET status = 9 WHERE job_id = 5"), "");
  EXPECT_EQ(Failure([&] { test::DumpJobs(db); }), Damaged(Location(), "job 5 has '9' as Status"));
  if (GetParam() == Store::Postgres) return;  // its timestamps hold dates only
  ASSERT_EQ(Query("UPDATE jobs SET status = 0, date_time = 'yesterday' WHERE job_id = 5"), "");
  EXPECT_EQ(Failure([&] { test::DumpJobs(db); }), Damaged(Location(), "job 5 has 'yesterday' as Date/Time"));
}

// --- reading -----------------------------------------------------------------

class JobDatabaseRead : public JobStore {
 protected:
  void SetUp() override {
    JobStore::SetUp();
    if (IsSkipped()) return;
    db_ = std::make_unique<JobDatabase>(Location(), OpenMode::Create);
    JobInserter insert = db_->BeginInsert();
    const struct {
      int id;
      const char* user;
      int pages;
      double date;
    } rows[] = {
        {1, "carol", 5, At(2024, 1, 5, 9)},  {2, "Alice", 3, At(2024, 1, 6, 10)}, {3, "bob", 5, At(2024, 1, 7, 11)},
        {4, "alice", 3, At(2024, 1, 8, 12)}, {5, "Bob", 7, At(2024, 1, 9, 13)},   {6, "alice", 9, At(2024, 1, 9, 13)},
        {7, "carol", 5, At(2024, 1, 10, 0)}, {8, "dave", 1, -1},
    };
    for (const auto& r : rows) {
      insert.SetInteger(1, r.id);
      insert.SetText(2, r.user);
      insert.SetInteger(23, r.pages);
      if (r.date >= 0) insert.SetDate(12, r.date);
      insert.Insert();
    }
    insert.Commit();
  }

  std::vector<int> Ids(const std::vector<SortKey>& order, const DateRange& range = {}) {
    auto job = MakeHostColumns();
    std::vector<int> ids;
    db_->ForEachJob(order, range, *job, [&] {
      ids.push_back(ColumnAt(*job, 1).Value().LongValue());
      return true;
    });
    EXPECT_EQ(static_cast<int64_t>(ids.size()), db_->CountJobs(range));
    return ids;
  }

  std::unique_ptr<JobDatabase> db_;
};
QX6_STORES(JobDatabaseRead);

TEST_P(JobDatabaseRead, SortsByTheKeysThenByJobId) {
  // User ascending (by code point: capitals first, so "alice" never lands
  // between two "Alice"), pages descending, ties by job id.
  EXPECT_EQ(Ids({{2, true}, {23, false}}), (std::vector<int>{2, 5, 6, 4, 3, 1, 7, 8}));
  EXPECT_EQ(Ids({{23, true}, {2, false}}), (std::vector<int>{8, 4, 2, 1, 7, 3, 5, 6}));
  // Dates ascending put the job without a date first; descending, ties still by id.
  EXPECT_EQ(Ids({{12, false}}), (std::vector<int>{7, 5, 6, 4, 3, 2, 1, 8}));
  EXPECT_EQ(Ids({{1, false}, {2, true}}), (std::vector<int>{8, 7, 6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(Ids({}), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
  // The keys of an exporter's sort columns.
  auto sortColumns = MakeObject<JobColumns>();
  auto pages = MakeObject<JobColumn>(23, "Pages");
  pages->SetAscending(false);
  sortColumns->Add(pages.Get());
  EXPECT_EQ(Ids(SortKeysFrom(*sortColumns)), (std::vector<int>{6, 5, 1, 3, 7, 2, 4, 8}));
}

TEST_P(JobDatabaseRead, TheDateRangeIncludesBothEnds) {
  EXPECT_EQ(Ids({{12, true}}, {At(2024, 1, 6, 10), At(2024, 1, 9, 13)}), (std::vector<int>{2, 3, 4, 5, 6}));
  EXPECT_EQ(Ids({}, {At(2024, 1, 9), std::nullopt}), (std::vector<int>{5, 6, 7}));
  EXPECT_EQ(Ids({}, {std::nullopt, At(2024, 1, 6, 9, 59, 59)}), (std::vector<int>{1}));
  EXPECT_EQ(Ids({}, {At(2025, 1, 1), std::nullopt}), (std::vector<int>{}));
  EXPECT_EQ(ErrorNumber([&] { db_->CountJobs({DateTime::MaxSerial + 10, std::nullopt}); }),
            RuntimeErrorNumber::InvalidProcedureCall);
}

TEST_P(JobDatabaseRead, TheVisitorStopsTheLoopAndErrorsPassThrough) {
  auto job = MakeHostColumns();
  int seen = 0;
  EXPECT_EQ(db_->ForEachJob({}, {}, *job, [&] { return ++seen < 3; }), 3);
  EXPECT_EQ(seen, 3);
  EXPECT_EQ(ErrorNumber([&] { db_->ForEachJob({}, {}, *job, []() -> bool { Raise(61); }); }), 61);
  EXPECT_EQ(Ids({}).size(), 8u);  // usable after an aborted loop
  EXPECT_EQ(ErrorNumber([&] { db_->ForEachJob({{46, true}}, {}, *job, [] { return true; }); }),
            RuntimeErrorNumber::InvalidProcedureCall);
  auto tooFew = MakeHostColumns();
  tooFew->Remove(45);
  EXPECT_EQ(ErrorNumber([&] { db_->ForEachJob({}, {}, *tooFew, [] { return true; }); }),
            RuntimeErrorNumber::InvalidProcedureCall);
}

// --- reading a large database on several connections ------------------------

class JobDatabaseParallelRead : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new TempFolder;
    // Large enough to be split (a few megabytes), with jobs without a date
    // and jobs sharing one second, which a split must not tear apart.
    JobDatabase db(Path(), OpenMode::Create);
    GenerateSampleJobs(db, 12000, 5);
    JobInserter insert = db.BeginInsert();
    for (int i = 0; i < 30; ++i) {
      insert.SetText(2, i % 2 ? "zed" : "amy");
      if (i % 3) insert.SetDate(12, At(2024, 6, 1, 12));
      insert.Insert();
    }
    insert.Commit();
  }
  static void TearDownTestSuite() { delete folder_; }
  static std::string Path() { return *folder_ / "jobs.db"; }

  static std::vector<std::string> Read(int threads, const std::vector<SortKey>& order, const DateRange& range = {}) {
    JobDatabase db(Path(), OpenMode::ReadOnly);
    db.SetReadThreads(threads);
    return test::DumpJobs(db, order, range);
  }

  static TempFolder* folder_;
};
TempFolder* JobDatabaseParallelRead::folder_ = nullptr;

TEST_F(JobDatabaseParallelRead, GivesExactlyTheOrderOfOneStatement) {
  const struct {
    std::vector<SortKey> order;
    DateRange range;
    int threads;
  } cases[] = {
      {{{12, true}}, {}, 2},
      {{{12, true}}, {}, 3},
      {{{12, false}, {2, true}}, {}, 2},  // undated jobs last, ties by user
      {{{12, true}, {23, false}, {1, false}}, {At(2024, 3, 1), At(2024, 9, 30, 23, 59, 59)}, 2},
      {{}, {}, 2},
      {{{1, false}}, {At(2024, 11, 1), {}}, 2},
  };
  for (const auto& c : cases) {
    const auto single = Read(1, c.order, c.range);
    ASSERT_GT(single.size(), 1000u);
    EXPECT_EQ(Read(c.threads, c.order, c.range), single) << c.order.size() << " keys, " << c.threads << " threads";
  }
}

TEST_F(JobDatabaseParallelRead, StopsAndFailsCleanlyAndADamagedValueComesAfterTheJobsBeforeIt) {
  auto job = MakeHostColumns();
  {
    JobDatabase db(Path(), OpenMode::ReadOnly);
    db.SetReadThreads(2);
    int64_t seen = 0;
    EXPECT_EQ(db.ForEachJob({{12, true}}, {}, *job, [&] { return ++seen < 5000; }), 5000);
    seen = 0;
    EXPECT_EQ(ErrorNumber([&] {
                db.ForEachJob({{12, true}}, {}, *job, [&]() -> bool {
                  if (++seen == 7000) Raise(61);
                  return true;
                });
              }),
              61);
    // The database is readable again afterwards.
    EXPECT_EQ(db.CountJobs(), 12030);
    EXPECT_EQ(db.ForEachJob({{12, true}}, {}, *job, [] { return true; }), 12030);
  }
  TempFolder folder;
  const std::string copy = folder / "copy.db";
  fs::copy_file(Path(), copy);
  ASSERT_EQ(Sql(copy, "UPDATE jobs SET pages = 'many' WHERE job_id = 9000"), "");
  JobDatabase db(copy, OpenMode::ReadOnly);
  db.SetReadThreads(2);
  int64_t seen = 0;
  EXPECT_EQ(Failure([&] { db.ForEachJob({{1, true}}, {}, *job, [&] { return ++seen, true; }); }),
            Damaged(copy, "job 9000 has 'many' as Pages"));
  EXPECT_EQ(seen, 8999);
}

}  // namespace
}  // namespace qx6::host
