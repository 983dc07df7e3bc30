// The job database on a PostgreSQL server: the same table and column kinds as
// the SQLite file, with proper server types, so that the server sorts and
// ranges the jobs. JobDatabase and JobInserter forward to it when their
// location is a PostgreSQL connection string instead of a path.
//
// Reads are one COPY of one SELECT (one snapshot, streamed row by row);
// writes are COPY batches inside one transaction, whose importers take turns
// through an advisory lock, so that job ids and origin keys never clash.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/JobDatabase.h"

struct pg_conn;
struct pg_result;

namespace qx6::host::PostgresJobs {

// True for a `postgresql://` or `postgres://` URI and for a key/value
// connection string whose first word is a libpq keyword (`service=quorvex`,
// `host=/run/x dbname=jobs`); anything else is a path.
bool IsLocation(std::string_view location);
// The location with any password taken out, for messages and listings.
std::string Redacted(std::string_view location);
bool HasPassword(std::string_view location);

class Inserter;

class Store {
 public:
  // Errors name the database by its redacted location: 70 when the server
  // refuses the login, 53 for a database that does not exist, 57 when the
  // server cannot be reached, InvalidFileFormat for a database that holds no
  // or another schema (Create makes the schema in an empty one).
  Store(const std::string& location, OpenMode mode);
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  const std::string& Name() const { return name_; }
  int64_t CountJobs(const DateRange& range) const;
  int64_t ForEachJob(const std::vector<SortKey>& order, const DateRange& range, IJobColumn* const* targets,
                     const JobVisitor& visitor) const;
  // Drops the job tables when this store created them and no importer has
  // put a job in since (see JobDatabase::RemoveIfNewAndEmpty).
  bool DropIfNewAndEmpty();

 private:
  friend class Inserter;
  void Connect(const std::string& location, bool readOnly);
  void CheckSchema(bool mayCreate);
  void CreateSchema();
  // Runs a statement that must succeed; returns the first field of its first row.
  std::string Execute(const std::string& sql, std::string_view action) const;
  [[noreturn]] void RaiseServer(std::string_view action, const pg_result* result) const;

  std::string name_;
  pg_conn* connection_ = nullptr;
  bool created_ = false;  // CreateSchema made the tables
};

// One transaction of new jobs (see JobInserter, whose checks it relies on).
class Inserter {
 public:
  explicit Inserter(Store& store);
  ~Inserter();
  Inserter(const Inserter&) = delete;
  Inserter& operator=(const Inserter&) = delete;

  void SetNull(int32_t column);
  // Integer, status and Boolean columns (a Boolean as 0 or 1).
  void SetInteger(int32_t column, int64_t value);
  void SetNumber(int32_t column, double value);
  // Text columns, and date columns with their ISO text.
  void SetText(int32_t column, std::string_view value);
  void Clear();
  int64_t Insert();
  std::optional<int64_t> InsertOnce(std::string_view originKey);
  void End(bool commit);

 private:
  void Flush();
  bool IsTaken(int64_t id);

  Store& store_;
  bool open_ = false;
  std::array<std::string, HostColumnCount> values_;
  std::array<bool, HostColumnCount> null_{};
  std::string batch_;    // COPY rows not yet sent
  int64_t stored_ = 0;   // the largest job id before this transaction
  int64_t next_ = 1;     // the next id given to a job without one
  // The ids above stored_ used here, given out or brought along, as runs
  // first -> last: one run for a load whose ids rise.
  std::map<int64_t, int64_t> taken_;
  void Take(int64_t id);
};

}  // namespace qx6::host::PostgresJobs
