#include "host/JobDatabase.h"

#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <exception>
#include <filesystem>
#include <limits>
#include <thread>

#include "host/IsoDate.h"
#include "host/JobScan.h"
#include "host/PostgresJobs.h"
#include "host/SqliteError.h"
#include "host/SqliteVfs.h"
#include "platform/FileSystem.h"
#include "runtime/RuntimeError.h"

namespace qx6::host {
namespace {

// "QX6J": marks the file as ours, so a foreign SQLite database is refused.
constexpr int32_t kApplicationId = 0x5158364A;

struct StatementDeleter {
  void operator()(sqlite3_stmt* s) const noexcept { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

const char* SqlType(ColumnKind kind) {
  switch (kind) {
    case ColumnKind::Number: return "REAL";
    case ColumnKind::Text:
    case ColumnKind::Date: return "TEXT";
    default: return "INTEGER";
  }
}

// The single integer a query answers.
int64_t QueryInteger(sqlite3* db, const char* sql, int& rc) {
  sqlite3_stmt* raw = nullptr;
  rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
  Statement statement(raw);
  if (rc != SQLITE_OK) return 0;
  rc = sqlite3_step(raw);
  if (rc != SQLITE_ROW) return 0;
  rc = SQLITE_OK;
  return sqlite3_column_int64(raw, 0);
}

}  // namespace

struct JobDatabase::Connection {
  sqlite3* db = nullptr;
  ~Connection() { sqlite3_close_v2(db); }
};

std::string OrderByClause(const std::vector<SortKey>& order, std::string_view binaryCollation, bool explicitNulls) {
  const auto& table = HostColumnTable();
  std::string sql = " ORDER BY ";
  bool used[HostColumnCount + 1] = {};
  for (const SortKey& key : order) {
    if (key.columnId < 1 || key.columnId > HostColumnCount)
      Raise(RuntimeErrorNumber::InvalidProcedureCall, "There is no host column " + std::to_string(key.columnId));
    if (used[key.columnId]) continue;
    used[key.columnId] = true;
    const HostColumn& c = table[key.columnId - 1];
    sql += '"';
    sql += c.field;
    sql += '"';
    // Text sorts by its bytes (UTF-8: by code point), letter case counting,
    // as the exporter compares group values: "a", "A", "a" must not
    // interleave, or one group would become two rows.
    if (c.kind == ColumnKind::Text) {
      sql += " COLLATE ";
      sql += binaryCollation;
    }
    if (explicitNulls)
      sql += key.ascending ? " ASC NULLS FIRST, " : " DESC NULLS LAST, ";
    else
      sql += key.ascending ? " ASC, " : " DESC, ";
    if (key.columnId == 1) break;  // the job id is unique: later keys never decide
  }
  if (used[1])
    sql.resize(sql.size() - 2);
  else
    sql += "job_id";
  return sql;
}

std::vector<SortKey> SortKeysFrom(const IJobColumns& sortColumns) {
  std::vector<SortKey> keys;
  for (int32_t i = 1; i <= sortColumns.Count(); ++i) {
    const IJobColumn& column = ColumnAt(sortColumns, i);
    keys.push_back({column.ColumnId(), column.Ascending()});
  }
  return keys;
}

JobDatabase::JobDatabase(const std::string& path, OpenMode mode)
    : path_(path), connection_(std::make_unique<Connection>()), readOnly_(mode == OpenMode::ReadOnly) {
  if (PostgresJobs::IsLocation(path)) {
    path_ = PostgresJobs::Redacted(path);
    postgres_ = std::make_unique<PostgresJobs::Store>(path, mode);
    return;
  }
  SqliteVfs::Install();
  readThreads_ = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
  const bool inMemory = path == ":memory:";
  struct stat st {};
  if (inMemory) {
    if (mode != OpenMode::Create) Raise(RuntimeErrorNumber::FileNotFound, "File not found: " + path);
  } else if (::stat(path.c_str(), &st) != 0) {
    const int error = errno;
    if (error != ENOENT || mode != OpenMode::Create) RaiseFromErrnoNaming(error, path);
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    std::error_code ec;
    if (!parent.empty() && !std::filesystem::is_directory(parent, ec))
      Raise(RuntimeErrorNumber::PathNotFound, "Path not found: " + path + " (there is no folder " + parent.string() + ")");
    CreateFile();
    made_ = true;
  } else if (S_ISDIR(st.st_mode)) {
    Raise(RuntimeErrorNumber::PathFileAccessError, path + " is a folder, not a job database");
  }

  Open(mode == OpenMode::Create);
  if (readOnly_ && UnfinishedWriteBlocksReading()) {
    RollBackUnfinishedWrite();
    Open(false);
  }
  CheckSchema(mode == OpenMode::Create);
  // Memory stays flat whatever the size of the database: no mapping of the
  // file (its mapped pages would count as the program's own, up to the whole
  // file), a 16 MB cache, which also bounds each of the sorter's in-memory
  // runs, and sorts larger than that spill to temporary files, merged by two
  // threads. The parallel reads of an export open connections of their own.
  Execute("PRAGMA mmap_size = 0");
  Execute("PRAGMA cache_size = -16384");
  Execute("PRAGMA temp_store = FILE");
  Execute("PRAGMA threads = 2");
}

void JobDatabase::Open(bool mayCreate) {
  sqlite3_close_v2(connection_->db);
  connection_->db = nullptr;
  // No mutex: a connection serves one thread at a time, and the column
  // accessors of the read loop would otherwise take a lock per value.
  int flags = SQLITE_OPEN_NOMUTEX;
  flags |= readOnly_ ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
  if (mayCreate) flags |= SQLITE_OPEN_CREATE;
  const int rc = sqlite3_open_v2(path_.c_str(), &connection_->db, flags, nullptr);
  if (rc != SQLITE_OK) RaiseSqlite(rc, "open");
  sqlite3_busy_timeout(connection_->db, 5000);
  // Every commit is synced in full before it counts, and the removal of its
  // journal, which makes it count, is synced too: neither a killed process
  // nor a power cut leaves a transaction half-done or takes back one that
  // was reported done.
  if (!readOnly_) Execute("PRAGMA synchronous = EXTRA");
}

bool JobDatabase::UnfinishedWriteBlocksReading() const {
  int rc = SQLITE_OK;
  QueryInteger(connection_->db, "SELECT count(*) FROM sqlite_master", rc);
  return rc != SQLITE_OK && sqlite3_extended_errcode(connection_->db) == SQLITE_READONLY_ROLLBACK;
}

// A program stopped in the middle of a write and left its journal: the next
// connection that may write rolls the change back. A reading connection
// cannot, so it asks for a short writing one first.
void JobDatabase::RollBackUnfinishedWrite() {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_busy_timeout(db, 5000);
    if (sqlite3_db_readonly(db, "main") == 1) rc = SQLITE_READONLY;
    else QueryInteger(db, "SELECT count(*) FROM sqlite_master", rc);
  }
  int error = db ? sqlite3_system_errno(db) : 0;
  if (error == 0) error = SqliteVfs::LastError();
  const std::string detail = db && rc != SQLITE_READONLY ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  sqlite3_close_v2(db);
  if (rc == SQLITE_OK) return;
  const int primary = rc & 0xff;
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
    Raise(RuntimeErrorNumber::PermissionDenied, path_ + " is locked by another program");
  const bool denied = primary == SQLITE_READONLY || primary == SQLITE_PERM || primary == SQLITE_CANTOPEN ||
                      error == EACCES || error == EPERM || error == EROFS;
  Raise(denied ? RuntimeErrorNumber::PermissionDenied : RuntimeErrorNumber::DeviceIoError,
        path_ + " holds a change left unfinished by a program that stopped while writing it; it can be read "
                "only after a user who may write the file and its folder opens it once, which rolls the change "
                "back from " + path_ + "-journal (" + detail + ")");
}

// A new job database is made complete under a name of its own and then
// renamed into place, so that a crash leaves either no file or an empty job
// database at `path_`, never a file that is neither.
void JobDatabase::CreateFile() {
  const std::string temporary = path_ + ".new-" + std::to_string(::getpid());
  auto removeTemporary = [&] {
    ::unlink((temporary + "-journal").c_str());
    ::unlink(temporary.c_str());
  };
  RemoveAbandonedFiles();
  // Made here rather than by SQLite, which would hide why it failed behind a
  // second attempt to open the file for reading.
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) RaiseFromErrnoNaming(errno, path_);
  ::close(fd);
  try {
    const int rc = sqlite3_open_v2(temporary.c_str(), &connection_->db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) RaiseSqlite(rc, "create");
    Execute("PRAGMA synchronous = EXTRA");
    CheckSchema(true);
    sqlite3_close_v2(connection_->db);
    connection_->db = nullptr;
    if (!MoveIntoPlace(temporary)) removeTemporary();  // another program created it meanwhile
  } catch (...) {
    sqlite3_close_v2(connection_->db);
    connection_->db = nullptr;
    removeTemporary();
    throw;
  }
  std::filesystem::path folder = std::filesystem::path(path_).parent_path();
  if (folder.empty()) folder = ".";
  if (platform::FileSystem::SyncFolder(folder.string()) != 0) RaiseFromErrnoNaming(errno, path_);
}

// Removes what the creation of this file by a program that has since ended
// left behind: "<name>.new-<process id>", with or without "-journal".
void JobDatabase::RemoveAbandonedFiles() const {
  const std::filesystem::path target(path_);
  const std::string prefix = target.filename().string() + ".new-";
  std::error_code ec;
  const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    std::string_view rest = std::string_view(name).substr(prefix.size());
    if (rest.size() > 8 && rest.substr(rest.size() - 8) == "-journal") rest.remove_suffix(8);
    long pid = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
    if (error != std::errc() || end != rest.data() + rest.size() || pid <= 0) continue;
    if (pid == ::getpid() || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH))
      ::unlink(entry.path().c_str());
  }
}

// False when `path_` exists already: a file is never replaced.
bool JobDatabase::MoveIntoPlace(const std::string& temporary) {
  platform::FileSystem::CrashPoint(platform::FileSystem::Change::Rename);
  int rc = ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path_.c_str(), RENAME_NOREPLACE);
  if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
    // A file system without the no-replace rename: a second name, then the
    // temporary one goes.
    rc = ::link(temporary.c_str(), path_.c_str());
    if (rc == 0) ::unlink(temporary.c_str());
  }
  if (rc == 0) return true;
  if (errno == EEXIST) return false;
  RaiseFromErrnoNaming(errno, path_);
}

JobDatabase::~JobDatabase() = default;
JobDatabase::JobDatabase(JobDatabase&& other) noexcept = default;
JobDatabase& JobDatabase::operator=(JobDatabase&& other) noexcept = default;

void JobDatabase::SetReadThreads(int value) { readThreads_ = std::clamp(value, 1, 16); }

bool JobDatabase::RemoveIfNewAndEmpty() {
  if (inserting_) Raise(RuntimeErrorNumber::InvalidProcedureCall);
  if (postgres_) return postgres_->DropIfNewAndEmpty();
  if (!made_ || !connection_->db || CountJobs() != 0) return false;
  sqlite3_close_v2(connection_->db);
  connection_->db = nullptr;
  made_ = false;
  if (::unlink(path_.c_str()) != 0) RaiseFromErrnoNaming(errno, path_);
  return true;
}

void JobDatabase::RaiseSqlite(int code, std::string_view action) const {
  RaiseSqliteError(connection_ ? connection_->db : nullptr, code, path_, action);
}

void JobDatabase::Execute(const char* sql) const {
  char* message = nullptr;
  const int rc = sqlite3_exec(connection_->db, sql, nullptr, nullptr, &message);
  sqlite3_free(message);
  if (rc != SQLITE_OK) RaiseSqlite(rc, sql);
}

void JobDatabase::CheckSchema(bool mayCreate) {
  sqlite3* db = connection_->db;
  int rc = SQLITE_OK;
  auto query = [&](const char* sql) {
    const int64_t value = QueryInteger(db, sql, rc);
    if (rc != SQLITE_OK) RaiseSqlite(rc, "read the schema");
    return value;
  };
  const int64_t applicationId = query("PRAGMA application_id");
  const int64_t version = query("PRAGMA user_version");
  const int64_t objects = query("SELECT count(*) FROM sqlite_master");

  if (applicationId == 0 && version == 0 && objects == 0) {
    if (!mayCreate) Raise(InvalidFileFormat, path_ + " is not a Quorvex job database (it is empty)");
    const std::string create = CreateJobsTableSql(SqlType);
    // Larger pages mean fewer page visits in the long scans of an export.
    Execute("PRAGMA page_size = 16384");
    Execute("BEGIN IMMEDIATE");
    try {
      if (query("SELECT count(*) FROM sqlite_master") != 0) {
        Execute("ROLLBACK");
        CheckSchema(false);  // another process created it meanwhile
        return;
      }
      Execute(create.c_str());
      Execute("CREATE INDEX jobs_date_time ON jobs (date_time)");
      Execute(("PRAGMA application_id = " + std::to_string(kApplicationId)).c_str());
      Execute(("PRAGMA user_version = " + std::to_string(JobDatabaseSchemaVersion)).c_str());
      Execute("COMMIT");
    } catch (...) {
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
    return;
  }
  if (applicationId != kApplicationId) Raise(InvalidFileFormat, path_ + " is not a Quorvex job database");
  if (version > JobDatabaseSchemaVersion)
    Raise(InvalidFileFormat, path_ + " was written by a newer version (job database version " +
                                 std::to_string(version) + "; this version reads version " +
                                 std::to_string(JobDatabaseSchemaVersion) + ")");
  if (version < 1) Raise(InvalidFileFormat, path_ + ": database is damaged (no schema version)");
  // The read loop takes text values as stored bytes, which must be UTF-8.
  if (query("SELECT encoding = 'UTF-8' FROM pragma_encoding") != 1)
    Raise(InvalidFileFormat, path_ + ": database is damaged (its text is not stored as UTF-8)");

  sqlite3_stmt* raw = nullptr;
  rc = sqlite3_prepare_v2(db, "SELECT name FROM pragma_table_info('jobs') ORDER BY cid", -1, &raw, nullptr);
  Statement columns(raw);
  if (rc != SQLITE_OK) RaiseSqlite(rc, "read the schema");
  for (const HostColumn& c : HostColumnTable()) {
    rc = sqlite3_step(raw);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) RaiseSqlite(rc, "read the schema");
    const auto* name = rc == SQLITE_ROW ? reinterpret_cast<const char*>(sqlite3_column_text(raw, 0)) : nullptr;
    if (!name || c.field != name)
      Raise(InvalidFileFormat, path_ + ": database is damaged (the jobs table lacks the column " +
                                   std::string(c.field) + ")");
  }
}

namespace {

// The SQL condition of a date range, with the range's bound texts.
std::string RangeCondition(const DateRange& range, std::array<char, 20>& from, std::array<char, 20>& to) {
  auto format = [](double serial, std::array<char, 20>& out) {
    if (!IsoDate::Format(serial, out.data()))
      Raise(RuntimeErrorNumber::InvalidProcedureCall, "The date range lies outside the range of dates");
  };
  std::string where;
  if (range.from) {
    format(*range.from, from);
    where = " WHERE date_time >= ?1";
  }
  if (range.to) {
    format(*range.to, to);
    where += where.empty() ? " WHERE " : " AND ";
    where += "date_time <= ?2";
  }
  return where;
}

}  // namespace

int64_t JobDatabase::CountJobs(const DateRange& range) const {
  if (postgres_) return postgres_->CountJobs(range);
  std::array<char, 20> from{}, to{};
  const std::string sql = "SELECT count(*) FROM jobs" + RangeCondition(range, from, to);
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(connection_->db, sql.c_str(), -1, &raw, nullptr);
  Statement statement(raw);
  if (rc != SQLITE_OK) RaiseSqlite(rc, "count the jobs");
  if (range.from) sqlite3_bind_text(raw, 1, from.data(), 19, SQLITE_STATIC);
  if (range.to) sqlite3_bind_text(raw, 2, to.data(), 19, SQLITE_STATIC);
  rc = sqlite3_step(raw);
  if (rc != SQLITE_ROW) RaiseSqlite(rc, "count the jobs");
  return sqlite3_column_int64(raw, 0);
}

int64_t JobDatabase::ForEachJob(const std::vector<SortKey>& order, const DateRange& range, IJobColumns& job,
                                const JobVisitor& visitor) const {
  if (job.Count() != HostColumnCount)
    Raise(RuntimeErrorNumber::InvalidProcedureCall, "The job collection must hold the 45 host columns");
  std::array<IJobColumn*, HostColumnCount> targets{};
  for (int32_t i = 0; i < HostColumnCount; ++i) targets[i] = &ColumnAt(job, i + 1);
  if (postgres_) return postgres_->ForEachJob(order, range, targets.data(), visitor);

  JobScan::Query query;
  query.path = path_;
  query.select = "SELECT " + JobFieldList() + " FROM jobs";
  const std::string where = RangeCondition(range, query.from, query.to);
  query.condition = where.empty() ? "" : where.substr(7);  // without " WHERE "
  query.hasFrom = range.from.has_value();
  query.hasTo = range.to.has_value();
  query.orderBy = OrderByClause(order, "BINARY", false);
  // The first key, when the database can split the read on it.
  const SortKey first = order.empty() ? SortKey{1, true} : order.front();
  if (first.columnId == 12 || first.columnId == 1) {
    query.splitColumn = first.columnId;
    query.splitAscending = first.ascending;
  }

  if (!inserting_) {
    const int64_t visited = JobScan::RunParallel(connection_->db, query, readThreads_, targets.data(), visitor);
    if (visited >= 0) return visited;
  }
  const std::string statementSql = query.select + where + query.orderBy;
  sqlite3_stmt* raw = nullptr;
  const int rc = sqlite3_prepare_v2(connection_->db, statementSql.c_str(), -1, &raw, nullptr);
  Statement statement(raw);
  if (rc != SQLITE_OK) RaiseSqlite(rc, "read the jobs");
  JobScan::BindRange(raw, query);
  return JobScan::RunStatement(raw, query, targets.data(), visitor);
}

JobInserter JobDatabase::BeginInsert() { return JobInserter(*this); }

// ---------------------------------------------------------------------------

// The transaction keeps SQLite's rollback journal on disk and syncs it and
// the database before the commit counts. Jobs added to the end of the table
// fill new pages, which the journal need not hold, so a large load journals
// only the few pages it changes and costs little more than an unjournalled
// one.
JobInserter::JobInserter(JobDatabase& database) : database_(&database) {
  if (database.readOnly_)
    Raise(RuntimeErrorNumber::PermissionDenied, database.path_ + " is open for reading only");
  if (database.inserting_)
    Raise(RuntimeErrorNumber::InvalidProcedureCall, "Another insert into " + database.path_ + " is still open");
  if (database.postgres_) {
    postgres_ = std::make_unique<PostgresJobs::Inserter>(*database.postgres_);
    database.inserting_ = true;
    return;
  }
  sqlite3* db = database.connection_->db;
  std::string sql = "INSERT INTO jobs (" + JobFieldList() + ") VALUES (";
  for (int i = 1; i <= HostColumnCount; ++i) sql += i == 1 ? "?" : ", ?";
  sql += ")";
  try {
    const int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &insert_, nullptr);
    if (rc != SQLITE_OK) database.RaiseSqlite(rc, "prepare the insert");
    database.Execute("BEGIN IMMEDIATE");
  } catch (...) {
    End(false);
    throw;
  }
  database.inserting_ = true;
}

JobInserter::~JobInserter() {
  if (database_) End(false);
}

void JobInserter::End(bool commit) {
  JobDatabase& database = *database_;
  if (postgres_) {
    database.inserting_ = false;
    database_ = nullptr;
    const auto postgres = std::move(postgres_);
    return postgres->End(commit);
  }
  sqlite3* db = database.connection_->db;
  sqlite3_finalize(insert_);
  sqlite3_finalize(findOrigin_);
  sqlite3_finalize(addOrigin_);
  insert_ = findOrigin_ = addOrigin_ = nullptr;
  // The error of a failed commit is taken before the rollback replaces
  // SQLite's account of it.
  std::exception_ptr error;
  if (database.inserting_) {
    const int rc = commit ? sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) : SQLITE_OK;
    if (rc != SQLITE_OK) {
      try {
        database.RaiseSqlite(rc, "commit the jobs");
      } catch (...) {
        error = std::current_exception();
      }
    }
    if (!commit || rc != SQLITE_OK) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  database.inserting_ = false;
  database_ = nullptr;
  if (error) std::rethrow_exception(error);
}

const HostColumn& JobInserter::Column(int32_t column) const {
  if (!database_) Raise(RuntimeErrorNumber::InvalidProcedureCall, "The insert has ended");
  if (column < 1 || column > HostColumnCount)
    Raise(RuntimeErrorNumber::InvalidProcedureCall, "There is no host column " + std::to_string(column));
  return HostColumnTable()[column - 1];
}

void JobInserter::Bind(int rc) const {
  if (rc != SQLITE_OK) database_->RaiseSqlite(rc, "store a value");
}

namespace {
[[noreturn]] void Mismatch(const HostColumn& c, const std::string& what) {
  Raise(RuntimeErrorNumber::TypeMismatch, std::string(c.title) + " takes " + what);
}
}  // namespace

void JobInserter::SetNull(int32_t column) {
  Column(column);
  if (postgres_) return postgres_->SetNull(column);
  Bind(sqlite3_bind_null(insert_, column));
}

void JobInserter::SetInteger(int32_t column, int64_t value) {
  const HostColumn& c = Column(column);
  switch (c.kind) {
    case ColumnKind::Boolean:
      if (value != 0 && value != 1) Mismatch(c, "0 or 1");
      break;
    case ColumnKind::Status:
      if (value < 0 || value > 3) Mismatch(c, "0 to 3");
      break;
    case ColumnKind::Integer:
      if (value < (column == 1 ? 1 : std::numeric_limits<int32_t>::min()) ||
          value > std::numeric_limits<int32_t>::max())
        Raise(RuntimeErrorNumber::Overflow, std::string(c.title) + " " + std::to_string(value) + " is out of range");
      break;
    default: Mismatch(c, "no whole number");
  }
  if (postgres_) return postgres_->SetInteger(column, value);
  Bind(sqlite3_bind_int64(insert_, column, value));
}

void JobInserter::SetNumber(int32_t column, double value) {
  const HostColumn& c = Column(column);
  if (c.kind != ColumnKind::Number) Mismatch(c, "no number");
  if (!std::isfinite(value)) Mismatch(c, "finite numbers only");
  if (postgres_) return postgres_->SetNumber(column, value);
  Bind(sqlite3_bind_double(insert_, column, value));
}

void JobInserter::SetBoolean(int32_t column, bool value) {
  const HostColumn& c = Column(column);
  if (c.kind != ColumnKind::Boolean) Mismatch(c, "no Boolean");
  if (postgres_) return postgres_->SetInteger(column, value ? 1 : 0);
  Bind(sqlite3_bind_int(insert_, column, value ? 1 : 0));
}

void JobInserter::SetDate(int32_t column, double serial) {
  const HostColumn& c = Column(column);
  if (c.kind != ColumnKind::Date) Mismatch(c, "no date");
  char* text = dates_[column - 1].data();
  if (!IsoDate::Format(serial, text)) Mismatch(c, "dates from the year 100 to 9999 only");
  if (postgres_) return postgres_->SetText(column, std::string_view(text, 19));
  Bind(sqlite3_bind_text(insert_, column, text, 19, SQLITE_STATIC));
}

void JobInserter::SetText(int32_t column, std::string_view value) {
  const HostColumn& c = Column(column);
  if (c.kind != ColumnKind::Text) Mismatch(c, "no text");
  // A null pointer would bind SQL NULL; an empty text is a value of its own.
  if (postgres_) return postgres_->SetText(column, value);
  const char* data = value.empty() ? "" : value.data();
  Bind(sqlite3_bind_text(insert_, column, data, static_cast<int>(value.size()), SQLITE_STATIC));
}

void JobInserter::SetValue(int32_t column, const Variant& value) {
  const HostColumn& c = Column(column);
  const VarType type = value.Type();
  if (type == VarType::Empty || type == VarType::Null) return SetNull(column);
  auto whole = [&]() -> int64_t {
    switch (type) {
      case VarType::Integer: return value.IntegerValue();
      case VarType::Long: return value.LongValue();
      case VarType::Byte: return value.ByteValue();
      case VarType::Double: {
        const double d = value.DoubleValue();
        if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 9.2e18) return static_cast<int64_t>(d);
        break;
      }
      default: break;
    }
    Mismatch(c, "whole numbers");
  };
  switch (c.kind) {
    case ColumnKind::Text: {
      if (type != VarType::String) Mismatch(c, "text");
      // Copied: the caller's variant may be a temporary.
      const std::string_view text = value.StringValue();
      if (postgres_) return postgres_->SetText(column, text);
      Bind(sqlite3_bind_text(insert_, column, text.empty() ? "" : text.data(), static_cast<int>(text.size()),
                             SQLITE_TRANSIENT));
      return;
    }
    case ColumnKind::Boolean:
      if (type == VarType::Boolean) return SetBoolean(column, value.BooleanValue());
      return SetBoolean(column, whole() != 0);
    case ColumnKind::Number:
      if (!value.IsNumber() || type == VarType::Boolean) Mismatch(c, "numbers");
      return SetNumber(column, type == VarType::Double ? value.DoubleValue() : static_cast<double>(whole()));
    case ColumnKind::Date: {
      double serial = 0;
      if (type == VarType::Date || type == VarType::Double) serial = value.DoubleValue();
      else if (type != VarType::String || !IsoDate::Parse(value.StringValue(), serial)) Mismatch(c, "dates");
      return SetDate(column, serial);
    }
    default:
      if (type == VarType::Boolean) Mismatch(c, "whole numbers");
      return SetInteger(column, whole());
  }
}

int64_t JobInserter::Insert() {
  Column(1);
  if (postgres_) return postgres_->Insert();
  const int rc = sqlite3_step(insert_);
  sqlite3_reset(insert_);
  if (rc != SQLITE_DONE) {
    sqlite3_clear_bindings(insert_);
    if (rc == SQLITE_CONSTRAINT) Raise(RuntimeErrorNumber::DuplicateKey, "The job id exists already");
    database_->RaiseSqlite(rc, "store a job");
  }
  sqlite3_clear_bindings(insert_);
  const int64_t id = sqlite3_last_insert_rowid(database_->connection_->db);
  if (id > std::numeric_limits<int32_t>::max())
    Raise(RuntimeErrorNumber::Overflow, "Job ids beyond 2147483647 cannot be given out");
  return id;
}

// The origin keys live in a table of their own, made by the first insert
// that needs it; readers and earlier versions of the host ignore it.
void JobInserter::PrepareOrigins() {
  if (findOrigin_) return;
  sqlite3* db = database_->connection_->db;
  database_->Execute("CREATE TABLE IF NOT EXISTS job_origins (origin_key TEXT PRIMARY KEY, job_id INTEGER NOT NULL)");
  int rc = sqlite3_prepare_v2(db, "SELECT 1 FROM job_origins WHERE origin_key = ?", -1, &findOrigin_, nullptr);
  if (rc == SQLITE_OK)
    rc = sqlite3_prepare_v2(db, "INSERT INTO job_origins (origin_key, job_id) VALUES (?, ?)", -1, &addOrigin_, nullptr);
  if (rc != SQLITE_OK) database_->RaiseSqlite(rc, "prepare the job origins");
}

void JobInserter::ClearValues() {
  sqlite3_reset(insert_);
  sqlite3_clear_bindings(insert_);
}

std::optional<int64_t> JobInserter::InsertOnce(std::string_view originKey) {
  Column(1);
  if (postgres_) return postgres_->InsertOnce(originKey);
  PrepareOrigins();
  sqlite3_bind_text(findOrigin_, 1, originKey.data(), static_cast<int>(originKey.size()), SQLITE_STATIC);
  const int found = sqlite3_step(findOrigin_);
  sqlite3_reset(findOrigin_);
  if (found == SQLITE_ROW) {
    ClearValues();
    return std::nullopt;
  }
  if (found != SQLITE_DONE) {
    ClearValues();
    database_->RaiseSqlite(found, "look up a job's origin");
  }
  const int64_t id = Insert();
  sqlite3_bind_text(addOrigin_, 1, originKey.data(), static_cast<int>(originKey.size()), SQLITE_STATIC);
  sqlite3_bind_int64(addOrigin_, 2, id);
  const int rc = sqlite3_step(addOrigin_);
  sqlite3_reset(addOrigin_);
  if (rc != SQLITE_DONE) database_->RaiseSqlite(rc, "record a job's origin");
  return id;
}

void JobInserter::Commit() {
  Column(1);
  End(true);
}

}  // namespace qx6::host
