#include "host/JobDatabase.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>

#include "host/SampleJobs.h"
#include "runtime/DateTime.h"
#include "runtime/RuntimeError.h"
#include "tests/host/HostTestSupport.h"
#include "tests/support/TestEnvironment.h"

namespace qx6::host {
namespace {

using qx6::test::ReadFile;
using qx6::test::TempFolder;
using qx6::test::WriteFile;

// The error a call raises, or a failure when it raises none.
template <class F>
RuntimeError ErrorOf(F&& call) {
  try {
    call();
  } catch (const RuntimeError& e) {
    return e;
  }
  ADD_FAILURE() << "no error raised";
  return RuntimeError(0, "");
}

void ExecuteSql(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* message = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &message), SQLITE_OK) << (message ? message : "");
  sqlite3_free(message);
  sqlite3_close(db);
}

double At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return DateTime::Combine(DateTime::DateSerial(y, mo, d), (h * 3600 + mi * 60 + s) / 86400.0);
}

const Variant& ValueOf(IJobColumns& job, int32_t column) { return ColumnAt(job, column).Value(); }

// --- opening -----------------------------------------------------------------

TEST(JobDatabaseOpen, CreatesTheSchemaOnceAndReopensIt) {
  TempFolder folder;
  const std::string path = folder / "jobs.db";
  { JobDatabase created(path, OpenMode::Create); }
  JobDatabase reopened(path, OpenMode::ReadOnly);
  EXPECT_EQ(reopened.CountJobs(), 0);
  EXPECT_TRUE(reopened.IsReadOnly());
  // Create on an existing job database opens it as it is.
  { JobDatabase again(path, OpenMode::Create); }
  ExecuteSql(path,
             "CREATE TABLE check_result AS SELECT "
             "(SELECT user_version FROM pragma_user_version) AS v, "
             "(SELECT count(*) FROM pragma_table_info('jobs')) AS n, "
             "(SELECT type FROM pragma_table_info('jobs') WHERE name = 'date_time') AS t, "
             "(SELECT pk FROM pragma_table_info('jobs') WHERE name = 'job_id') AS pk, "
             "(SELECT count(*) FROM pragma_index_list('jobs') WHERE name = 'jobs_date_time') AS i");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  sqlite3_stmt* s = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT v, n, t, pk, i FROM check_result", -1, &s, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(s, 0), JobDatabaseSchemaVersion);
  EXPECT_EQ(sqlite3_column_int(s, 1), HostColumnCount);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(s, 2)), "TEXT");
  EXPECT_EQ(sqlite3_column_int(s, 3), 1);
  EXPECT_EQ(sqlite3_column_int(s, 4), 1);
  sqlite3_finalize(s);
  sqlite3_close(db);
}

TEST(JobDatabaseOpen, RefusesFilesThatAreNoJobDatabaseAndLeavesThemAlone) {
  TempFolder folder;
  const std::string text = folder / "notes.txt";
  const std::string content = "job_id,user\n1,alice\nthis is not a database, but a long enough text file\n";
  WriteFile(text, content);
  for (OpenMode mode : {OpenMode::ReadOnly, OpenMode::ReadWrite, OpenMode::Create}) {
    RuntimeError e = ErrorOf([&] { JobDatabase db(text, mode); });
    EXPECT_EQ(e.Number(), InvalidFileFormat);
    EXPECT_EQ(e.Description(), text + " is not a Quorvex job database");
  }
  EXPECT_EQ(ReadFile(text), content);

  const std::string foreign = folder / "foreign.db";
  ExecuteSql(foreign, "CREATE TABLE invoices (id INTEGER PRIMARY KEY, amount REAL)");
  const std::string before = ReadFile(foreign);
  for (OpenMode mode : {OpenMode::ReadOnly, OpenMode::Create}) {
    RuntimeError e = ErrorOf([&] { JobDatabase db(foreign, mode); });
    EXPECT_EQ(e.Number(), InvalidFileFormat);
    EXPECT_EQ(e.Description(), foreign + " is not a Quorvex job database");
  }
  EXPECT_EQ(ReadFile(foreign), before);

  // An empty file may become a job database, but only when asked to.
  const std::string empty = folder / "empty.db";
  WriteFile(empty, "");
  EXPECT_EQ(ErrorOf([&] { JobDatabase db(empty, OpenMode::ReadOnly); }).Number(), InvalidFileFormat);
  JobDatabase created(empty, OpenMode::Create);
  EXPECT_EQ(created.CountJobs(), 0);
}

TEST(JobDatabaseOpen, NamesMissingFilesNewerSchemasAndDamage) {
  TempFolder folder;
  EXPECT_EQ(ErrorOf([&] { JobDatabase db(folder / "missing.db", OpenMode::ReadOnly); }).Number(),
            RuntimeErrorNumber::FileNotFound);
  const RuntimeError noFolder = ErrorOf([&] { JobDatabase db(folder / "no/such/folder/jobs.db", OpenMode::Create); });
  EXPECT_EQ(noFolder.Number(), RuntimeErrorNumber::PathNotFound);
  EXPECT_EQ(noFolder.Description(), "Path not found: " + (folder / "no/such/folder/jobs.db") +
                                        " (there is no folder " + (folder / "no/such/folder") + ")");
  EXPECT_EQ(ErrorOf([&] { JobDatabase db(folder.Path(), OpenMode::ReadOnly); }).Number(),
            RuntimeErrorNumber::PathFileAccessError);

  const std::string newer = folder / "newer.db";
  { JobDatabase db(newer, OpenMode::Create); }
  ExecuteSql(newer, "PRAGMA user_version = 2");
  RuntimeError e = ErrorOf([&] { JobDatabase db(newer, OpenMode::ReadOnly); });
  EXPECT_EQ(e.Number(), InvalidFileFormat);
  EXPECT_NE(e.Description().find("newer version"), std::string::npos) << e.Description();

  const std::string altered = folder / "altered.db";
  { JobDatabase db(altered, OpenMode::Create); }
  ExecuteSql(altered, "ALTER TABLE jobs DROP COLUMN notes");
  e = ErrorOf([&] { JobDatabase db(altered, OpenMode::ReadWrite); });
  EXPECT_EQ(e.Number(), InvalidFileFormat);
  EXPECT_EQ(e.Description(), altered + ": database is damaged (the jobs table lacks the column notes)");
}

TEST(JobDatabaseOpen, ATruncatedFileIsReportedAsDamagedNotACrash) {
  TempFolder folder;
  const std::string path = folder / "jobs.db";
  {
    JobDatabase db(path, OpenMode::Create);
    GenerateSampleJobs(db, 3000, 1);
  }
  std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
  RuntimeError e = ErrorOf([&] {
    JobDatabase db(path, OpenMode::ReadOnly);
    test::DumpJobs(db);
  });
  EXPECT_EQ(e.Number(), InvalidFileFormat);
  EXPECT_EQ(e.Description().rfind(path + ": database is damaged", 0), 0u) << e.Description();
}

TEST(JobDatabaseOpen, ANewDatabaseAppearsCompleteAndLeavesNoNamesBehind) {
  TempFolder folder;
  const std::string path = folder / "jobs.db";
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
  { JobDatabase db(path, OpenMode::Create); }
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"jobs.db", "jobs.db.new-1", "jobs.db.new-x"}));
  JobDatabase db(path, OpenMode::ReadOnly);
  EXPECT_EQ(db.CountJobs(), 0);
}

TEST(JobDatabaseOpen, AFolderThatMayNotBeWrittenIsPermissionDenied) {
  if (geteuid() == 0) GTEST_SKIP() << "the super-user may write every folder";
  TempFolder folder;
  const std::string locked = folder / "locked";
  std::filesystem::create_directory(locked);
  std::filesystem::permissions(locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  const RuntimeError e = ErrorOf([&] { JobDatabase db(locked + "/jobs.db", OpenMode::Create); });
  std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
  EXPECT_EQ(e.Number(), RuntimeErrorNumber::PermissionDenied);
  EXPECT_EQ(e.Description(), "Permission denied: " + locked + "/jobs.db");
  EXPECT_TRUE(std::filesystem::is_empty(locked));
}

// The file size limit stands in for a full disk, which a test cannot make.
TEST(JobDatabaseWrite, AFullDiskNamesTheFileAndKeepsTheJobsBefore) {
  TempFolder folder;
  const std::string path = folder / "jobs.db";
  {
    JobDatabase db(path, OpenMode::Create);
    GenerateSampleJobs(db, 100, 1);
  }
  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  const pid_t child = fork();
  if (child == 0) {
    ::close(pipe[0]);
    std::string message = "no error";
    const rlimit limit{256 * 1024, 256 * 1024};
    std::signal(SIGXFSZ, SIG_IGN);
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(2);
    try {
      JobDatabase db(path, OpenMode::ReadWrite);
      GenerateSampleJobs(db, 5000, 2);
    } catch (const RuntimeError& e) {
      message = std::to_string(e.Number()) + " " + e.Description();
    }
    (void)!::write(pipe[1], message.data(), message.size());
    _exit(0);
  }
  ASSERT_GT(child, 0);
  ::close(pipe[1]);
  std::string message;
  char buffer[512];
  for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;) message.append(buffer, static_cast<size_t>(n));
  ::close(pipe[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(message.rfind("61 Disk full while writing " + path, 0), 0u) << message;
  JobDatabase db(path, OpenMode::ReadOnly);
  EXPECT_EQ(db.CountJobs(), 100);
}

// --- values ----------------------------------------------------------------

TEST(JobDatabaseValues, EveryKindTravelsThroughInsertAndRead) {
  TempFolder folder;
  JobDatabase db(folder / "jobs.db", OpenMode::Create);
  {
    JobInserter insert = db.BeginInsert();
    insert.SetInteger(1, 41);
    insert.SetText(2, "jürgen");
    insert.SetText(7, "Übersicht Q3, \"final\".xlsx");
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
  auto job = MakeHostColumns();
  int row = 0;
  db.ForEachJob({}, {}, *job, [&] {
    ++row;
    if (row == 1) {
      EXPECT_EQ(ValueOf(*job, 1).Type(), VarType::Long);
      EXPECT_EQ(ValueOf(*job, 1).LongValue(), 41);
      EXPECT_EQ(ValueOf(*job, 2).StringValue(), "jürgen");
      EXPECT_EQ(ValueOf(*job, 7).StringValue(), "Übersicht Q3, \"final\".xlsx");
      EXPECT_EQ(ValueOf(*job, 37).Type(), VarType::String);
      EXPECT_EQ(ValueOf(*job, 37).StringValue(), "");
      EXPECT_EQ(ValueOf(*job, 10).Type(), VarType::Integer);
      EXPECT_EQ(ValueOf(*job, 10).IntegerValue(), 3);
      EXPECT_EQ(ValueOf(*job, 12).Type(), VarType::Date);
      EXPECT_EQ(ValueOf(*job, 12).DateValue(), DateTime::DateSerial(2024, 1, 5) + DateTime::TimeSerial(14, 30, 5));
      EXPECT_EQ(test::Describe(ValueOf(*job, 20)), "b:1");
      EXPECT_EQ(test::Describe(ValueOf(*job, 21)), "b:0");
      EXPECT_EQ(ValueOf(*job, 23).LongValue(), -2147483647 - 1);
      EXPECT_EQ(ValueOf(*job, 25).LongValue(), 2147483647);
      EXPECT_EQ(ValueOf(*job, 28).Type(), VarType::Double);
      EXPECT_EQ(ValueOf(*job, 28).DoubleValue(), 1.375);
      EXPECT_TRUE(ValueOf(*job, 3).IsNull());
    } else {
      // The second job is Null everywhere but its id, and none of the first
      // job's values linger in the refilled collection.
      EXPECT_EQ(ValueOf(*job, 1).LongValue(), 42);
      for (int32_t c = 2; c <= HostColumnCount; ++c) EXPECT_TRUE(ValueOf(*job, c).IsNull()) << "column " << c;
    }
    return true;
  });
  EXPECT_EQ(row, 2);
}

TEST(JobDatabaseValues, SetValueConvertsByKindAndRefusesWhatDoesNotFit) {
  TempFolder folder;
  JobDatabase db(folder / "jobs.db", OpenMode::Create);
  JobInserter insert = db.BeginInsert();
  insert.SetValue(2, Variant::String("temporary"));  // copied: the variant dies here
  insert.SetValue(12, Variant("2024-03-01T08:00:00"));
  insert.SetValue(23, Variant(12.0));
  insert.SetValue(27, Variant(int32_t{1}));
  insert.SetValue(34, Variant(int16_t{3}));
  insert.SetValue(10, Variant::Null());
  insert.Insert();

  auto mismatch = [&](int32_t column, const Variant& value) {
    return ErrorOf([&] { insert.SetValue(column, value); }).Number();
  };
  EXPECT_EQ(mismatch(2, Variant(int32_t{5})), RuntimeErrorNumber::TypeMismatch);
  EXPECT_EQ(mismatch(23, Variant(12.5)), RuntimeErrorNumber::TypeMismatch);
  EXPECT_EQ(mismatch(23, Variant("12")), RuntimeErrorNumber::TypeMismatch);
  EXPECT_EQ(mismatch(12, Variant("5 January")), RuntimeErrorNumber::TypeMismatch);
  EXPECT_EQ(mismatch(10, Variant(int32_t{4})), RuntimeErrorNumber::TypeMismatch);
  EXPECT_EQ(mismatch(23, Variant(3e10)), RuntimeErrorNumber::Overflow);
  EXPECT_EQ(ErrorOf([&] { insert.SetNumber(28, std::numeric_limits<double>::quiet_NaN()); }).Number(),
            RuntimeErrorNumber::TypeMismatch);
  EXPECT_EQ(ErrorOf([&] { insert.SetInteger(1, 0); }).Number(), RuntimeErrorNumber::Overflow);
  EXPECT_EQ(ErrorOf([&] { insert.SetText(46, "x"); }).Number(), RuntimeErrorNumber::InvalidProcedureCall);
  insert.Commit();

  const auto rows = test::DumpJobs(db);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_NE(rows[0].find("|s:temporary|"), std::string::npos);
  EXPECT_NE(rows[0].find("|l:12|"), std::string::npos);
  EXPECT_NE(rows[0].find("|d:3.000000|"), std::string::npos);
  EXPECT_NE(rows[0].find("|t:" + std::to_string(At(2024, 3, 1, 8)) + "|"), std::string::npos);
}

TEST(JobDatabaseValues, ATransactionKeepsAllOrNothing) {
  TempFolder folder;
  const std::string path = folder / "jobs.db";
  JobDatabase db(path, OpenMode::Create);
  {
    JobInserter insert = db.BeginInsert();
    insert.SetInteger(1, 7);
    insert.Insert();
    EXPECT_EQ(ErrorOf([&] { db.BeginInsert(); }).Number(), RuntimeErrorNumber::InvalidProcedureCall);
    insert.SetInteger(1, 7);
    EXPECT_EQ(ErrorOf([&] { insert.Insert(); }).Number(), RuntimeErrorNumber::DuplicateKey);
    // Destroyed without Commit: rolled back.
  }
  EXPECT_EQ(db.CountJobs(), 0);
  JobDatabase reader(path, OpenMode::ReadOnly);
  EXPECT_EQ(ErrorOf([&] { reader.BeginInsert(); }).Number(), RuntimeErrorNumber::PermissionDenied);
}

TEST(JobDatabaseValues, RefillingReusesTheTextStorage) {
  TempFolder folder;
  JobDatabase db(folder / "jobs.db", OpenMode::Create);
  {
    JobInserter insert = db.BeginInsert();
    for (const char* user : {"first-user-name", "second", "third-user"}) {
      insert.SetText(2, user);
      insert.Insert();
    }
    insert.Commit();
  }
  auto job = MakeHostColumns();
  std::vector<const char*> storage;
  std::vector<std::string> users;
  db.ForEachJob({}, {}, *job, [&] {
    storage.push_back(ValueOf(*job, 2).StringValue().data());
    users.emplace_back(ValueOf(*job, 2).StringValue());
    return true;
  });
  EXPECT_EQ(users, (std::vector<std::string>{"first-user-name", "second", "third-user"}));
  ASSERT_EQ(storage.size(), 3u);
  EXPECT_EQ(storage[1], storage[0]);
  EXPECT_EQ(storage[2], storage[0]);
}

TEST(JobDatabaseValues, ValuesWrittenBehindTheHostsBackAreReportedAsDamage) {
  TempFolder folder;
  const std::string path = folder / "jobs.db";
  { JobDatabase db(path, OpenMode::Create); }
  ExecuteSql(path, "INSERT INTO jobs (job_id, date_time) VALUES (5, 'yesterday')");
  JobDatabase db(path, OpenMode::ReadOnly);
  RuntimeError e = ErrorOf([&] { test::DumpJobs(db); });
  EXPECT_EQ(e.Number(), InvalidFileFormat);
  EXPECT_EQ(e.Description(), path + ": database is damaged (job 5 has 'yesterday' as Date/Time)");

  ExecuteSql(path, "UPDATE jobs SET date_time = NULL, status = 9");
  e = ErrorOf([&] { test::DumpJobs(db); });
  EXPECT_EQ(e.Description(), path + ": database is damaged (job 5 has '9' as Status)");
}

// --- reading -----------------------------------------------------------------

class JobDatabaseRead : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = std::make_unique<JobDatabase>(folder_ / "jobs.db", OpenMode::Create);
    JobInserter insert = db_->BeginInsert();
    struct Row {
      int id;
      const char* user;
      int pages;
      double date;
    };
    const Row rows[] = {
        {1, "carol", 5, At(2024, 1, 5, 9)},   {2, "Alice", 3, At(2024, 1, 6, 10)},
        {3, "bob", 5, At(2024, 1, 7, 11)},    {4, "alice", 3, At(2024, 1, 8, 12)},
        {5, "Bob", 7, At(2024, 1, 9, 13)},    {6, "alice", 9, At(2024, 1, 9, 13)},
        {7, "carol", 5, At(2024, 1, 10, 0)},  {8, "dave", 1, -1},
    };
    for (const Row& r : rows) {
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
      ids.push_back(ValueOf(*job, 1).LongValue());
      return true;
    });
    EXPECT_EQ(static_cast<int64_t>(ids.size()), db_->CountJobs(range));
    return ids;
  }

  TempFolder folder_;
  std::unique_ptr<JobDatabase> db_;
};

TEST_F(JobDatabaseRead, SortsByTheKeysThenByJobId) {
  // User ascending (by code point: capitals first, so "alice" never lands
  // between two "Alice"), pages descending, ties by job id.
  EXPECT_EQ(Ids({{2, true}, {23, false}}), (std::vector<int>{2, 5, 6, 4, 3, 1, 7, 8}));
  EXPECT_EQ(Ids({{23, true}, {2, false}}), (std::vector<int>{8, 4, 2, 1, 7, 3, 5, 6}));
  // Dates ascending put the job without a date first; descending, ties still by id.
  EXPECT_EQ(Ids({{12, false}}), (std::vector<int>{7, 5, 6, 4, 3, 2, 1, 8}));
  EXPECT_EQ(Ids({{1, false}, {2, true}}), (std::vector<int>{8, 7, 6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(Ids({}), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(JobDatabaseRead, SortKeysComeFromTheExportersSortColumns) {
  auto sortColumns = MakeObject<JobColumns>();
  auto pages = MakeObject<JobColumn>(23, "Pages");
  pages->SetAscending(false);
  sortColumns->Add(pages.Get());
  auto keys = SortKeysFrom(*sortColumns);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].columnId, 23);
  EXPECT_FALSE(keys[0].ascending);
  EXPECT_EQ(Ids(keys), (std::vector<int>{6, 5, 1, 3, 7, 2, 4, 8}));
}

TEST_F(JobDatabaseRead, TheDateRangeIncludesBothEnds) {
  EXPECT_EQ(Ids({{12, true}}, {At(2024, 1, 6, 10), At(2024, 1, 9, 13)}), (std::vector<int>{2, 3, 4, 5, 6}));
  EXPECT_EQ(Ids({}, {At(2024, 1, 9), std::nullopt}), (std::vector<int>{5, 6, 7}));
  EXPECT_EQ(Ids({}, {std::nullopt, At(2024, 1, 6, 9, 59, 59)}), (std::vector<int>{1}));
  EXPECT_EQ(Ids({}, {At(2025, 1, 1), std::nullopt}), (std::vector<int>{}));
  EXPECT_EQ(db_->CountJobs(), 8);
  EXPECT_EQ(ErrorOf([&] { db_->CountJobs({DateTime::MaxSerial + 10, std::nullopt}); }).Number(),
            RuntimeErrorNumber::InvalidProcedureCall);
}

TEST_F(JobDatabaseRead, TheVisitorStopsTheLoopAndErrorsPassThrough) {
  auto job = MakeHostColumns();
  int seen = 0;
  EXPECT_EQ(db_->ForEachJob({}, {}, *job, [&] { return ++seen < 3; }), 3);
  EXPECT_EQ(seen, 3);
  EXPECT_EQ(ErrorOf([&] { db_->ForEachJob({}, {}, *job, []() -> bool { Raise(61); }); }).Number(), 61);
  // The database is usable after an aborted loop.
  EXPECT_EQ(Ids({}).size(), 8u);

  EXPECT_EQ(ErrorOf([&] { db_->ForEachJob({{46, true}}, {}, *job, [] { return true; }); }).Number(),
            RuntimeErrorNumber::InvalidProcedureCall);
  auto tooFew = MakeHostColumns();
  tooFew->Remove(45);
  EXPECT_EQ(ErrorOf([&] { db_->ForEachJob({}, {}, *tooFew, [] { return true; }); }).Number(),
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
  struct Case {
    std::vector<SortKey> order;
    DateRange range;
  };
  const Case cases[] = {
      {{{12, true}}, {}},
      {{{12, false}, {2, true}}, {}},  // undated jobs last, ties by user
      {{{12, true}, {23, false}, {1, false}}, {At(2024, 3, 1), At(2024, 9, 30, 23, 59, 59)}},
      {{}, {}},
      {{{1, false}}, {At(2024, 11, 1), {}}},
  };
  for (const Case& c : cases) {
    const auto single = Read(1, c.order, c.range);
    ASSERT_GT(single.size(), 1000u);
    EXPECT_EQ(Read(2, c.order, c.range), single) << "order of " << c.order.size() << " keys";
  }
  EXPECT_EQ(Read(3, {{12, true}}), Read(1, {{12, true}}));
}

TEST_F(JobDatabaseParallelRead, StopsAndFailsCleanly) {
  JobDatabase db(Path(), OpenMode::ReadOnly);
  db.SetReadThreads(2);
  auto job = MakeHostColumns();
  int64_t seen = 0;
  EXPECT_EQ(db.ForEachJob({{12, true}}, {}, *job, [&] { return ++seen < 5000; }), 5000);
  seen = 0;
  EXPECT_EQ(ErrorOf([&] {
              db.ForEachJob({{12, true}}, {}, *job, [&]() -> bool {
                if (++seen == 7000) Raise(61);
                return true;
              });
            }).Number(),
            61);
  // The database is readable again afterwards, and by other programs.
  EXPECT_EQ(db.CountJobs(), 12030);
  EXPECT_EQ(db.ForEachJob({{12, true}}, {}, *job, [] { return true; }), 12030);
}

TEST_F(JobDatabaseParallelRead, ADamagedValueIsReportedAfterTheJobsBeforeIt) {
  TempFolder folder;
  const std::string copy = folder / "copy.db";
  std::filesystem::copy_file(Path(), copy);
  ExecuteSql(copy, "UPDATE jobs SET pages = 'many' WHERE job_id = 9000");
  JobDatabase db(copy, OpenMode::ReadOnly);
  db.SetReadThreads(2);
  auto job = MakeHostColumns();
  int64_t seen = 0;
  RuntimeError e = ErrorOf([&] { db.ForEachJob({{1, true}}, {}, *job, [&] { return ++seen, true; }); });
  EXPECT_EQ(e.Description(), copy + ": database is damaged (job 9000 has 'many' as Pages)");
  EXPECT_EQ(seen, 8999);
}

}  // namespace
}  // namespace qx6::host
