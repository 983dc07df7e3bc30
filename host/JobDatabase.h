// The host's job database: an SQLite file or a database on a PostgreSQL
// server, with one table of print jobs, one column per host column. Reads hand jobs over one at a time by refilling a
// 45-column collection in place; writes go through a transaction.
//
// A connection serves one thread at a time.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/HostColumns.h"
#include "runtime/Variant.h"

struct sqlite3;
struct sqlite3_stmt;

namespace qx6::host {

namespace PostgresJobs {
class Store;
class Inserter;
}  // namespace PostgresJobs

// The error number of a file that is no job database, is damaged or has a
// malformed CSV row: the runtime's "Invalid file format".
inline constexpr int InvalidFileFormat = 321;

// The schema this version writes and reads (PRAGMA user_version).
inline constexpr int JobDatabaseSchemaVersion = 1;

// One key of the read order: a host column number and its direction.
struct SortKey {
  int32_t columnId = 1;
  bool ascending = true;
};

// The sort keys an exporter hands back from GetSortCols, in their order.
std::vector<SortKey> SortKeysFrom(const IJobColumns& sortColumns);

// " ORDER BY ..." for `order`, then the job id, so that the order is total:
// a key repeated or after the job id is left out, text compares by its bytes
// (`binaryCollation`, the store's name for that) so that equal values stay
// together, Null comes first ascending and last descending (`explicitNulls`
// where the store must be told). Error 5 for a column outside 1..45.
std::string OrderByClause(const std::vector<SortKey>& order, std::string_view binaryCollation, bool explicitNulls);

// Jobs whose Date/Time lies in [from, to], both ends included and given as
// date serials; an end left empty is open. Jobs without a date fall outside
// any range. A `to` of midnight includes only the first second of its day.
struct DateRange {
  std::optional<double> from;
  std::optional<double> to;
  bool IsOpen() const { return !from && !to; }
};

enum class OpenMode {
  ReadOnly,   // an existing job database, only read
  ReadWrite,  // an existing job database
  Create,     // read-write; a missing or empty file becomes a new job database
};

// Called once per job with the collection refilled; false stops the loop.
using JobVisitor = std::function<bool()>;

class JobInserter;

class JobDatabase {
 public:
  // Errors: 53/76 for a missing file or folder, 70 when access is denied,
  // InvalidFileFormat for a file that is no job database ("PATH is not a
  // Quorvex job database"), one of a newer schema, or a damaged one. A
  // missing file opened with Create appears complete or not at all; a change
  // left unfinished by a crashed program is rolled back on opening, also for
  // reading when the user may write the file. ":memory:" with Create is a
  // private database in memory.
  //
  // A PostgreSQL connection string (`postgresql://host/db`, `service=name`,
  // `host=/run/x dbname=jobs`) instead of a path names a database on a
  // server; see PostgresJobs.h for its errors. Path() is then the string
  // without its password.
  JobDatabase(const std::string& path, OpenMode mode);
  ~JobDatabase();
  JobDatabase(JobDatabase&& other) noexcept;
  JobDatabase& operator=(JobDatabase&& other) noexcept;
  JobDatabase(const JobDatabase&) = delete;
  JobDatabase& operator=(const JobDatabase&) = delete;

  const std::string& Path() const { return path_; }
  // How many connections decode a large read (1: the calling thread alone).
  // Defaults to the number of cores, at most 4.
  int ReadThreads() const { return readThreads_; }
  void SetReadThreads(int value);
  bool IsReadOnly() const { return readOnly_; }

  // The number of jobs ForEachJob visits with the same range.
  int64_t CountJobs(const DateRange& range = {}) const;

  // For a command that adds jobs and fails: when this object's open made the
  // database (a new file, or the job tables in an empty PostgreSQL
  // database) and it holds no job, takes it away again (the file removed,
  // the tables dropped), so that nothing is left that a run would export as
  // if there were no jobs. True when it did; the object is then of no
  // further use.
  bool RemoveIfNewAndEmpty();

  // Visits the jobs in `order` (then by job id, so the order is total; text
  // compares by its characters with letter case counting, Null first when
  // ascending, so equal values stay together), refilling the values of
  // `job`, a collection of the 45 host columns in host order. Returns the
  // number of jobs visited. An exception from the visitor ends the loop and
  // passes through. The visitor runs on the calling thread; a large database
  // read in date or job id order is decoded by ReadThreads() connections.
  int64_t ForEachJob(const std::vector<SortKey>& order, const DateRange& range, IJobColumns& job,
                     const JobVisitor& visitor) const;

  // A transaction for new jobs; error 5 while another one is open. Whatever
  // stops the program or the machine before Commit() returns, the database
  // is left as it was before.
  JobInserter BeginInsert();

 private:
  friend class JobInserter;
  struct Connection;
  [[noreturn]] void RaiseSqlite(int code, std::string_view action) const;
  void Execute(const char* sql) const;
  void CheckSchema(bool mayCreate);
  void Open(bool mayCreate);
  void CreateFile();
  void RemoveAbandonedFiles() const;
  bool MoveIntoPlace(const std::string& temporary);
  bool UnfinishedWriteBlocksReading() const;
  void RollBackUnfinishedWrite();

  std::string path_;
  std::unique_ptr<Connection> connection_;
  std::unique_ptr<PostgresJobs::Store> postgres_;
  bool readOnly_ = true;
  bool inserting_ = false;
  bool made_ = false;  // the open created the file
  int readThreads_ = 1;
};

// The values of one new job at a time, written by Insert(); the jobs become
// visible with Commit(). Destroyed without Commit() it rolls everything back.
class JobInserter {
 public:
  JobInserter(const JobInserter&) = delete;
  JobInserter& operator=(const JobInserter&) = delete;
  ~JobInserter();

  // Column setters; every column of a new job starts Null, and a Null job id
  // gets the next free one. Error 13 when the value does not fit the column's
  // kind, error 5 for a column number outside 1..45.
  void SetNull(int32_t column);
  // Integer, status (0..3) and Boolean (0 or 1) columns.
  void SetInteger(int32_t column, int64_t value);
  void SetNumber(int32_t column, double value);
  void SetBoolean(int32_t column, bool value);
  void SetDate(int32_t column, double serial);
  // Text columns. The text is not copied: it must stay valid until Insert().
  void SetText(int32_t column, std::string_view value);
  // Any runtime value, converted by the column's kind (a date also from its
  // ISO text, an integer from a whole double); Empty and Null are Null.
  void SetValue(int32_t column, const Variant& value);

  // Writes the job and returns its id; the columns are Null again afterwards.
  // Error 457 when the job id exists already.
  int64_t Insert();
  // Writes the job unless a job with the same origin key was written before,
  // by this insert or any earlier one; the key is kept with the job. Returns
  // the new job's id, or nothing (the columns Null again either way) when
  // the key is known. The key names a job where it came from, for imports
  // that see the same job again ("cups:<server>/<printer>/<job id>/<time>").
  std::optional<int64_t> InsertOnce(std::string_view originKey);
  void Commit();

 private:
  friend class JobDatabase;
  explicit JobInserter(JobDatabase& database);
  const HostColumn& Column(int32_t column) const;
  void Bind(int rc) const;
  void End(bool commit);

  JobDatabase* database_;
  void PrepareOrigins();
  void ClearValues();

  sqlite3_stmt* insert_ = nullptr;
  sqlite3_stmt* findOrigin_ = nullptr;
  sqlite3_stmt* addOrigin_ = nullptr;
  std::array<std::array<char, 20>, HostColumnCount> dates_{};
  std::unique_ptr<PostgresJobs::Inserter> postgres_;
};

}  // namespace qx6::host
