// SQLite result codes as the runtime errors the host reports: a file that is
// no job database or is damaged, a full disk, a lock held by another program.
#pragma once

#include <string>
#include <string_view>

struct sqlite3;

namespace qx6::host {

// `db` may be null (a failed open); `action` names what failed.
[[noreturn]] void RaiseSqliteError(sqlite3* db, int code, const std::string& path, std::string_view action);

}  // namespace qx6::host
