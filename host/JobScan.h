// The job database's read loop, used by JobDatabase::ForEachJob: one
// statement on the caller's thread, or, for large databases read in date or
// job id order, chunks of that order decoded by worker connections and handed
// to the caller's thread in order, so that SQLite's decoding runs on several
// cores while the visitor sees exactly the order of one statement.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "host/JobDatabase.h"

struct sqlite3;
struct sqlite3_stmt;

namespace qx6::host::JobScan {

struct Query {
  std::string path;       // for error messages and the worker connections
  std::string select;     // "SELECT <the 45 fields> FROM jobs"
  std::string condition;  // the date range ("date_time >= ?1 AND ..."), or empty
  std::string orderBy;    // " ORDER BY ..."
  std::array<char, 20> from{}, to{};  // ?1 and ?2 when the range has them
  bool hasFrom = false, hasTo = false;
  // The first sort key when it is one the database can split on: 12 (the
  // date) or 1 (the job id), else 0.
  int32_t splitColumn = 0;
  bool splitAscending = true;
};

// Binds the range to ?1 and ?2 of a statement made from the query.
void BindRange(sqlite3_stmt* statement, const Query& query);

// The jobs of one prepared statement, refilled into `targets` (the 45
// columns). Returns the number visited.
int64_t RunStatement(sqlite3_stmt* statement, const Query& query, IJobColumn* const* targets,
                     const JobVisitor& visitor);

// The same jobs as the whole query, in its order, decoded by `threads` worker
// connections. Returns -1 without visiting anything when splitting does not
// pay or cannot keep the order (a small or write-ahead-logged database, no
// split column, dates before 1900); the caller then runs the statement.
// `db` must be outside any transaction.
int64_t RunParallel(sqlite3* db, const Query& query, int threads, IJobColumn* const* targets,
                    const JobVisitor& visitor);

}  // namespace qx6::host::JobScan
