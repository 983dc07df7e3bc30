#include "host/PostgresJobs.h"

#include <libpq-fe.h>
#include <poll.h>
#include <time.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>

#include "host/IsoDate.h"
#include "runtime/RuntimeError.h"

namespace qx6::host::PostgresJobs {
namespace {

// "QX6J": the advisory lock that importers and the schema's creation take.
constexpr const char* kLock = "SELECT pg_advisory_xact_lock(1364735562)";
constexpr size_t kBatchBytes = 1 << 20;

struct ResultDeleter {
  void operator()(PGresult* r) const noexcept { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

const char* ServerType(ColumnKind kind) {
  switch (kind) {
    case ColumnKind::Integer: return "integer";
    case ColumnKind::Status: return "smallint";
    case ColumnKind::Boolean: return "boolean";
    case ColumnKind::Number: return "double precision";
    case ColumnKind::Date: return "timestamp(0) without time zone";
    case ColumnKind::Text: return "text";
  }
  return "text";
}

// libpq's messages span lines; one line reads better after "qx6export: ".
std::string OneLine(const char* message) {
  std::string line;
  for (const char* p = message ? message : ""; *p; ++p) {
    if (std::isspace(static_cast<unsigned char>(*p))) {
      if (!line.empty() && line.back() != ' ') line += ' ';
    } else {
      line += *p;
    }
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

// The span of each "password=..." pair of a key/value string (with the
// white space before it), found by libpq's own quoting rules.
std::vector<std::pair<size_t, size_t>> PasswordPairs(std::string_view s) {
  std::vector<std::pair<size_t, size_t>> pairs;
  size_t i = 0;
  while (i < s.size()) {
    const size_t start = i;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    const size_t keyStart = i;
    while (i < s.size() && s[i] != '=' && !std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    const std::string_view key = s.substr(keyStart, i - keyStart);
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    if (i < s.size() && s[i] == '=') ++i;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    if (i < s.size() && s[i] == '\'') {
      for (++i; i < s.size() && s[i] != '\''; ++i)
        if (s[i] == '\\') ++i;
      if (i < s.size()) ++i;
    } else {
      for (; i < s.size() && !std::isspace(static_cast<unsigned char>(s[i])); ++i)
        if (s[i] == '\\') ++i;
    }
    i = std::min(i, s.size());
    if (key == "password") pairs.emplace_back(start, i);
    if (i == start) ++i;
  }
  return pairs;
}

bool IsUri(std::string_view s) { return s.starts_with("postgresql://") || s.starts_with("postgres://"); }

}  // namespace

bool IsLocation(std::string_view location) {
  if (IsUri(location)) return true;
  const size_t equals = location.find('=');
  if (equals == std::string_view::npos) return false;
  std::string_view key = location.substr(0, equals);
  while (!key.empty() && std::isspace(static_cast<unsigned char>(key.front()))) key.remove_prefix(1);
  while (!key.empty() && std::isspace(static_cast<unsigned char>(key.back()))) key.remove_suffix(1);
  if (key.empty()) return false;
  PQconninfoOption* options = PQconndefaults();
  bool known = false;
  for (PQconninfoOption* o = options; o && o->keyword; ++o) known = known || key == o->keyword;
  PQconninfoFree(options);
  return known;
}

std::string Redacted(std::string_view location) {
  std::string out(location);
  if (IsUri(location)) {
    const size_t authority = out.find("://") + 3;
    size_t end = out.find_first_of("/?", authority);
    if (end == std::string::npos) end = out.size();
    const size_t at = out.rfind('@', end);
    if (at != std::string::npos && at >= authority) {
      const size_t colon = out.find(':', authority);
      if (colon < at) out.erase(colon, at - colon);
    }
    const size_t query = out.find('?');
    if (query == std::string::npos) return out;
    std::string kept;
    size_t p = query + 1;
    while (p <= out.size()) {
      size_t amp = out.find('&', p);
      if (amp == std::string::npos) amp = out.size();
      const std::string_view parameter = std::string_view(out).substr(p, amp - p);
      if (!parameter.starts_with("password=") && parameter != "password" && !parameter.empty())
        kept += (kept.empty() ? "" : "&") + std::string(parameter);
      p = amp + 1;
    }
    out.resize(query);
    if (!kept.empty()) out += "?" + kept;
    return out;
  }
  const auto pairs = PasswordPairs(location);
  for (auto it = pairs.rbegin(); it != pairs.rend(); ++it) out.erase(it->first, it->second - it->first);
  while (!out.empty() && std::isspace(static_cast<unsigned char>(out.front()))) out.erase(0, 1);
  return out;
}

bool HasPassword(std::string_view location) {
  if (Redacted(location) != location) return true;
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(std::string(location).c_str(), &error);
  PQfreemem(error);
  bool has = false;
  for (PQconninfoOption* o = options; o && o->keyword; ++o)
    has = has || (std::strcmp(o->keyword, "password") == 0 && o->val && *o->val);
  PQconninfoFree(options);
  return has;
}

// --- the store ---------------------------------------------------------------

Store::Store(const std::string& location, OpenMode mode) : name_(Redacted(location)) {
  try {
    Connect(location, mode == OpenMode::ReadOnly);
    CheckSchema(mode == OpenMode::Create);
  } catch (...) {
    PQfinish(connection_);  // no destructor runs for a store that was never made
    throw;
  }
}

Store::~Store() { PQfinish(connection_); }

void Store::Connect(const std::string& location, bool readOnly) {
  connection_ = PQconnectdb(location.c_str());
  if (!connection_) Raise(7, "Out of memory");
  if (PQstatus(connection_) != CONNECTION_OK) {
    std::string message = OneLine(PQerrorMessage(connection_));
    // Whatever libpq quotes back of the string, the password never shows.
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(location.c_str(), &error);
    PQfreemem(error);
    for (PQconninfoOption* o = options; o && o->keyword; ++o) {
      if (std::strcmp(o->keyword, "password") != 0 || !o->val || !*o->val) continue;
      for (size_t at; (at = message.find(o->val)) != std::string::npos;) message.replace(at, std::strlen(o->val), "***");
    }
    PQconninfoFree(options);
    int number = RuntimeErrorNumber::DeviceIoError;
    if (message.find("password") != std::string::npos || message.find("authentication") != std::string::npos ||
        message.find("permission denied") != std::string::npos)
      number = RuntimeErrorNumber::PermissionDenied;
    else if (message.find("database \"") != std::string::npos && message.find("does not exist") != std::string::npos)
      number = RuntimeErrorNumber::FileNotFound;
    Raise(number, "cannot connect to the job database " + name_ + ": " + message);
  }
  // Values travel as text: ISO dates, shortest exact doubles, UTF-8.
  Execute(std::string("SET client_encoding = 'UTF8'; SET DateStyle = 'ISO, YMD'; SET extra_float_digits = 1; "
                      "SET standard_conforming_strings = on") +
              (readOnly ? "; SET default_transaction_read_only = on" : ""),
          "set up the connection");
}

void Store::RaiseServer(std::string_view action, const PGresult* result) const {
  const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
  const std::string code = state ? state : "";
  std::string detail = OneLine(result ? PQresultErrorMessage(result) : PQerrorMessage(connection_));
  if (detail.empty()) detail = OneLine(PQerrorMessage(connection_));
  if (code.starts_with("53") && code != "53300")  // out of disk or memory on the server
    Raise(RuntimeErrorNumber::DiskFull, "Disk full while writing " + name_ + " (" + detail + ")");
  if (code == "42501" || code == "25006" || code.starts_with("28"))
    Raise(RuntimeErrorNumber::PermissionDenied,
          "Permission denied: " + name_ + " (" + detail + ") while trying to " + std::string(action));
  if (code == "23505") Raise(RuntimeErrorNumber::DuplicateKey, name_ + ": " + detail);
  if (PQstatus(connection_) != CONNECTION_OK || code.starts_with("08") || code.starts_with("57"))
    Raise(RuntimeErrorNumber::DeviceIoError, "the connection to the job database " + name_ + " was lost (" + detail +
                                                 ") while trying to " + std::string(action));
  Raise(RuntimeErrorNumber::DeviceIoError, name_ + ": " + std::string(action) + " failed: " + detail);
}

std::string Store::Execute(const std::string& sql, std::string_view action) const {
  Result result(PQexec(connection_, sql.c_str()));
  const ExecStatusType status = PQresultStatus(result.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) RaiseServer(action, result.get());
  if (status != PGRES_TUPLES_OK || PQntuples(result.get()) == 0 || PQgetisnull(result.get(), 0, 0)) return {};
  return PQgetvalue(result.get(), 0, 0);
}

void Store::CheckSchema(bool mayCreate) {
  Result result(PQexec(connection_,
                       "SELECT current_schema(), "
                       "(SELECT count(*) FROM pg_class WHERE relnamespace = n.oid AND relname = 'quorvex_job_database'), "
                       "(SELECT count(*) FROM pg_class WHERE relnamespace = n.oid AND relname = 'jobs'), "
                       "(SELECT count(*) FROM pg_class WHERE relnamespace = n.oid AND relkind IN ('r','v','m','p','f')) "
                       "FROM (SELECT 1) AS one LEFT JOIN pg_namespace n ON n.nspname = current_schema()"));
  if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) RaiseServer("read the schema", result.get());
  if (PQgetisnull(result.get(), 0, 0))
    Raise(InvalidFileFormat, name_ + " is not a Quorvex job database (its search_path names no schema that exists)");
  const std::string schema = PQgetvalue(result.get(), 0, 0);
  const bool marked = std::string_view(PQgetvalue(result.get(), 0, 1)) != "0";
  const bool jobs = std::string_view(PQgetvalue(result.get(), 0, 2)) != "0";
  const bool others = std::string_view(PQgetvalue(result.get(), 0, 3)) != "0";

  if (!marked) {
    if (jobs || others)
      Raise(InvalidFileFormat, name_ + " is not a Quorvex job database (its schema " + schema +
                                   " holds other tables; use an empty database or a schema of its own)");
    if (!mayCreate)
      Raise(RuntimeErrorNumber::FileNotFound,
            "there is no job database in " + name_ +
                " yet; make one with 'qx6export jobs import FILE.csv' or 'qx6export jobs sample COUNT'");
    CreateSchema();
    return;
  }
  const std::string version = Execute("SELECT max(version) FROM quorvex_job_database", "read the schema");
  if (version.empty()) Raise(InvalidFileFormat, name_ + ": database is damaged (no schema version)");
  if (std::stoll(version) > JobDatabaseSchemaVersion)
    Raise(InvalidFileFormat, name_ + " was written by a newer version (job database version " + version +
                                 "; this version reads version " + std::to_string(JobDatabaseSchemaVersion) + ")");
  result.reset(PQexec(connection_,
                      "SELECT attname, format_type(atttypid, atttypmod) FROM pg_attribute "
                      "WHERE attrelid = to_regclass(quote_ident(current_schema()) || '.jobs') AND attnum > 0 "
                      "AND NOT attisdropped ORDER BY attnum"));
  if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) RaiseServer("read the schema", result.get());
  const int rows = PQntuples(result.get());
  for (const HostColumn& c : HostColumnTable()) {
    const int row = c.id - 1;
    if (row >= rows || c.field != PQgetvalue(result.get(), row, 0))
      Raise(InvalidFileFormat, name_ + ": database is damaged (the jobs table lacks the column " +
                                   std::string(c.field) + ")");
    if (std::string_view(PQgetvalue(result.get(), row, 1)) != ServerType(c.kind))
      Raise(InvalidFileFormat, name_ + ": database is damaged (the column " + std::string(c.field) + " is of type " +
                                   PQgetvalue(result.get(), row, 1) + ", not " + ServerType(c.kind) + ")");
  }
}

// Made in one transaction under the importers' lock, so that two programs
// creating it at once make it once.
void Store::CreateSchema() {
  const std::string create = CreateJobsTableSql(ServerType);
  Execute("BEGIN", "create the job tables");
  try {
    Execute(kLock, "create the job tables");
    if (Execute("SELECT count(*) FROM pg_class WHERE relnamespace = current_schema()::regnamespace "
                "AND relname = 'quorvex_job_database'",
                "create the job tables") == "0") {
      Execute(create, "create the job tables");
      Execute("CREATE INDEX jobs_date_time ON jobs (date_time)", "create the job tables");
      Execute("CREATE TABLE job_origins (origin_key text PRIMARY KEY, job_id integer NOT NULL)",
              "create the job tables");
      Execute("CREATE TABLE quorvex_job_database (version integer NOT NULL)", "create the job tables");
      Execute("INSERT INTO quorvex_job_database VALUES (" + std::to_string(JobDatabaseSchemaVersion) + ")",
              "create the job tables");
      created_ = true;
    }
    Execute("COMMIT", "create the job tables");
  } catch (...) {
    created_ = false;
    PQclear(PQexec(connection_, "ROLLBACK"));
    throw;
  }
}

// Under the importers' lock, so that no import slips in between the count
// and the drop.
bool Store::DropIfNewAndEmpty() {
  if (!created_) return false;
  created_ = false;
  Execute("BEGIN", "remove the empty job tables");
  try {
    Execute(kLock, "remove the empty job tables");
    const bool empty = Execute("SELECT (SELECT count(*) FROM jobs) + (SELECT count(*) FROM job_origins)",
                               "remove the empty job tables") == "0";
    if (empty) Execute("DROP TABLE job_origins, jobs, quorvex_job_database", "remove the empty job tables");
    Execute("COMMIT", "remove the empty job tables");
    return empty;
  } catch (...) {
    PQclear(PQexec(connection_, "ROLLBACK"));
    throw;
  }
}

namespace {

// The WHERE clause of a date range. The bounds are IsoDate's own digits, so
// they stand in the statement as they are (COPY takes no parameters).
std::string RangeCondition(const DateRange& range) {
  auto bound = [](double serial) {
    char text[20];
    if (!IsoDate::Format(serial, text))
      Raise(RuntimeErrorNumber::InvalidProcedureCall, "The date range lies outside the range of dates");
    return std::string("'") + text + "'::timestamp";
  };
  std::string where;
  if (range.from) where = " WHERE date_time >= " + bound(*range.from);
  if (range.to) where += (where.empty() ? " WHERE date_time <= " : " AND date_time <= ") + bound(*range.to);
  return where;
}

// COPY's binary form: network byte order, each value behind its length.
uint16_t Read16(const char* p) {
  uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return __builtin_bswap16(v);
}
uint32_t Read32(const char* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return __builtin_bswap32(v);
}
uint64_t Read64(const char* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return __builtin_bswap64(v);
}

// A timestamp counts microseconds from 1 January 2000, the day 36526 of the
// serials; the days and seconds the date text would give, as IsoDate reads it.
constexpr int64_t kMicrosPerDay = 86'400'000'000, kSerialOf2000 = 36526;
constexpr int64_t kFirstDay = -657434, kLastDay = 2958465;  // 1 January 100, 31 December 9999

bool DateFromTimestamp(int64_t micros, double& serial) {
  int64_t day = micros / kMicrosPerDay, micro = micros % kMicrosPerDay;
  if (micro < 0) {
    --day;
    micro += kMicrosPerDay;
  }
  day += kSerialOf2000;
  if (micro % 1'000'000 != 0 || day < kFirstDay || day > kLastDay) return false;
  const double days = static_cast<double>(day);
  const double time = static_cast<double>(micro / 1'000'000) / 86400.0;
  serial = days < 0 ? days - time : days + time;
  return true;
}

// The server's own text of a timestamp the host cannot take (for the message).
std::string TimestampText(int64_t micros) {
  if (micros == std::numeric_limits<int64_t>::max()) return "infinity";
  if (micros == std::numeric_limits<int64_t>::min()) return "-infinity";
  int64_t days = micros / kMicrosPerDay, micro = micros % kMicrosPerDay;
  if (micro < 0) {
    --days;
    micro += kMicrosPerDay;
  }
  // Days to the civil date (H. Hinnant's algorithm), from 1 January 2000.
  const int64_t z = days + 10957 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1, m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = yoe + era * 400 + (m <= 2);
  const int64_t second = micro / 1'000'000, fraction = micro % 1'000'000;
  char text[64];
  int n = std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld",
                        static_cast<long long>(y > 0 ? y : 1 - y), static_cast<long long>(m), static_cast<long long>(d),
                        static_cast<long long>(second / 3600), static_cast<long long>(second / 60 % 60),
                        static_cast<long long>(second % 60));
  std::string out(text, static_cast<size_t>(n));
  if (fraction) {
    n = std::snprintf(text, sizeof text, ".%06lld", static_cast<long long>(fraction));
    out.append(text, static_cast<size_t>(n));
    while (out.back() == '0') out.pop_back();
  }
  return y > 0 ? out : out + " BC";
}

// The server's text of a value that Refill refused, for the message.
std::string RefusedText(ColumnKind kind, std::string_view bytes) {
  const char* p = bytes.data();
  const auto sized = [&](size_t size) { return bytes.size() == size; };
  if (kind == ColumnKind::Status && sized(2)) return std::to_string(static_cast<int16_t>(Read16(p)));
  if (kind == ColumnKind::Number && sized(8)) {
    const double value = std::bit_cast<double>(Read64(p));
    return std::isnan(value) ? "NaN" : value > 0 ? "Infinity" : "-Infinity";
  }
  if (kind == ColumnKind::Date && sized(8)) return TimestampText(static_cast<int64_t>(Read64(p)));
  return "(" + std::to_string(bytes.size()) + " bytes)";
}

// One value of a binary COPY row into its column (a value equal to the
// previous job's stays as it is, see the SQLite read loop). False when the
// column cannot take it (RefusedText says what it was).
template <class Column>
bool Refill(Column& target, ColumnKind kind, std::string_view bytes) {
  const Variant& current = target.Value();
  const char* p = bytes.data();
  switch (kind) {
    case ColumnKind::Text: target.SetTextValue(bytes); return true;
    case ColumnKind::Integer: {
      if (bytes.size() != 4) return false;
      const auto value = static_cast<int32_t>(Read32(p));
      if (current.Type() != VarType::Long || current.LongValue() != value) target.SetValue(Variant::Long(value));
      return true;
    }
    case ColumnKind::Status: {
      if (bytes.size() != 2) return false;
      const auto value = static_cast<int16_t>(Read16(p));
      if (value < 0 || value > 3) return false;
      if (current.Type() != VarType::Integer || current.IntegerValue() != value)
        target.SetValue(Variant::Integer(value));
      return true;
    }
    case ColumnKind::Boolean: {
      if (bytes.size() != 1) return false;
      const bool value = *p != 0;
      if (current.Type() != VarType::Boolean || current.BooleanValue() != value)
        target.SetValue(Variant::Boolean(value));
      return true;
    }
    case ColumnKind::Number: {
      if (bytes.size() != 8) return false;
      const double value = std::bit_cast<double>(Read64(p));
      if (!std::isfinite(value)) return false;
      if (current.Type() != VarType::Double || current.DoubleValue() != value) target.SetValue(Variant::Double(value));
      return true;
    }
    case ColumnKind::Date: {
      if (bytes.size() != 8) return false;
      double value = 0;
      if (!DateFromTimestamp(static_cast<int64_t>(Read64(p)), value)) return false;
      if (current.Type() != VarType::Date || current.DateValue() != value) target.SetValue(Variant::Date(value));
      return true;
    }
  }
  return false;
}

void Escape(std::string_view text, std::string& out) {
  out.clear();
  size_t start = 0;
  for (size_t i = text.find_first_of("\\\n\r\t"); i != std::string_view::npos; i = text.find_first_of("\\\n\r\t", i + 1)) {
    out.append(text.substr(start, i - start));
    out += '\\';
    const char c = text[i];
    out += c == '\n' ? 'n' : c == '\r' ? 'r' : c == '\t' ? 't' : '\\';
    start = i + 1;
  }
  out.append(text.substr(start));
}

// The rows of a COPY out, one at a time, each read in place in libpq's own
// copy of it. The reading stays on the exporting thread: the server's
// backend keeps a core of its own, and a reader thread beside the exporter
// only took turns with it. A reader that stops early cancels the statement
// and drains the connection, which then serves the next statement.
//
// A reader that has caught up with a flowing stream naps a moment before it
// looks again, so that the server sends several blocks meanwhile without
// waking it for each one (on 2 cores, where the server spent some 7% of its
// time on those wake-ups, exports took a tenth less time); when a nap brings
// nothing, it waits on the socket until the server sends, as while the
// server sorts.
class CopyReader {
 public:
  explicit CopyReader(PGconn* connection) : connection_(connection) {}
  ~CopyReader() {
    if (done_) return;
    if (PGcancel* cancel = PQgetCancel(connection_)) {
      char error[256];
      PQcancel(cancel, error, sizeof error);
      PQfreeCancel(cancel);
    }
    while (Next()) {
    }
  }
  CopyReader(const CopyReader&) = delete;
  CopyReader& operator=(const CopyReader&) = delete;

  // The next row, valid until the next call; none after the last.
  std::optional<std::string_view> Next() {
    if (row_) PQfreemem(row_);
    row_ = nullptr;
    if (done_) return std::nullopt;
    int length = PQgetCopyData(connection_, &row_, 1);
    for (bool napped = false; length == 0; napped = !napped) {
      // No whole row in libpq's buffer: take what the socket holds...
      if (!PQconsumeInput(connection_)) {
        length = -2;
        break;
      }
      if ((length = PQgetCopyData(connection_, &row_, 1)) != 0) break;
      // ...and when it held nothing, nap once, then wait on it.
      if (!napped) {
        constexpr timespec kNap{0, 100'000};
        nanosleep(&kNap, nullptr);
      } else {
        pollfd socket{PQsocket(connection_), POLLIN, 0};
        poll(&socket, 1, -1);
      }
    }
    if (length < 0) {
      row_ = nullptr;
      // The statement's result, then whatever follows it.
      final_.reset(PQgetResult(connection_));
      while (PGresult* r = PQgetResult(connection_)) PQclear(r);
      done_ = true;
      return std::nullopt;
    }
    return std::string_view(row_, static_cast<size_t>(length));
  }
  // After the last row: the statement's own result, null when the
  // connection failed (its message is then the connection's).
  const PGresult* Final() const { return final_.get(); }

 private:
  PGconn* connection_;
  char* row_ = nullptr;
  bool done_ = false;
  Result final_;
};

}  // namespace

int64_t Store::CountJobs(const DateRange& range) const {
  return std::stoll(Execute("SELECT count(*) FROM jobs" + RangeCondition(range), "count the jobs"));
}

int64_t Store::ForEachJob(const std::vector<SortKey>& order, const DateRange& range, IJobColumn* const* targets,
                          const JobVisitor& visitor) const {
  const auto& table = HostColumnTable();
  // Null first ascending and last descending, as in the SQLite file.
  const std::string orderBy = OrderByClause(order, "\"C\"", true);

  // One statement: the export sees one snapshot, whatever importers commit
  // meanwhile. Binary rows: numbers and dates arrive as they are stored.
  const std::string sql =
      "COPY (SELECT " + JobFieldList() + " FROM jobs" + RangeCondition(range) + orderBy + ") TO STDOUT (FORMAT binary)";
  Result started(PQexec(connection_, sql.c_str()));
  if (PQresultStatus(started.get()) != PGRES_COPY_OUT) RaiseServer("read the jobs", started.get());
  started.reset();
  CopyReader reader(connection_);
  const auto malformed = [&](const std::string& what) { Raise(InvalidFileFormat, name_ + ": the server sent " + what); };
  return WithOwnColumns(targets, [&](auto* const* columns) -> int64_t {
    bool header = true, trailer = false;
    int64_t visited = 0;
    while (const std::optional<std::string_view> row = reader.Next()) {
      const char* p = row->data();
      const char* const last = p + row->size();
      if (header) {  // signature, flags, then an extension area to skip
        static constexpr char kSignature[] = "PGCOPY\n\377\r\n";
        if (last - p < 19 || std::memcmp(p, kSignature, 11) != 0) malformed("rows in a form this host cannot read");
        const uint32_t extension = Read32(p + 15);
        if (static_cast<size_t>(last - p - 19) < extension) malformed("rows in a form this host cannot read");
        p += 19 + extension;
        header = false;
        if (p == last) continue;
      }
      if (trailer || last - p < 2) malformed("a row cut short");
      const auto count = static_cast<int16_t>(Read16(p));
      p += 2;
      if (count == -1) {
        trailer = true;
        continue;
      }
      if (count != HostColumnCount) malformed("a row of " + std::to_string(count) + " values, not 45");
      const char* const values = p;
      for (int i = 0; i < HostColumnCount; ++i) {
        if (last - p < 4) malformed("a row cut short");
        const auto length = static_cast<int32_t>(Read32(p));
        p += 4;
        if (length < 0) {
          if (!columns[i]->Value().IsNull()) columns[i]->SetValue(Variant::Null());
          continue;
        }
        if (last - p < length) malformed("a row cut short");
        const std::string_view value(p, static_cast<size_t>(length));
        p += length;
        if (!Refill(*columns[i], table[i].kind, value)) [[unlikely]] {
          // The job id is the row's first value.
          const int32_t jobId = Read32(values) == 4 ? static_cast<int32_t>(Read32(values + 4)) : 0;
          const std::string wrong = RefusedText(table[i].kind, value);
          constexpr size_t kShown = 40;
          Raise(InvalidFileFormat, name_ + ": database is damaged (job " + std::to_string(jobId) + " has '" +
                                       wrong.substr(0, kShown) + (wrong.size() > kShown ? "...'" : "'") + " as " +
                                       std::string(table[i].title) + ")");
        }
      }
      if (p != last) malformed("a row longer than its 45 values");
      ++visited;
      if (!visitor()) return visited;
    }
    const PGresult* final = reader.Final();
    if (PQresultStatus(final) != PGRES_COMMAND_OK) RaiseServer("read the jobs", final);
    if (header || !trailer) malformed("a row cut short");
    return visited;
  });
}

// --- inserting -----------------------------------------------------------------

// Importers take turns: each holds the lock from its first job to its
// commit, so the next free id and the known origin keys stay true for it.
Inserter::Inserter(Store& store) : store_(store) {
  store_.Execute("BEGIN", "start an insert");
  open_ = true;
  try {
    store_.Execute(kLock, "wait for other importers");
    stored_ = std::stoll(store_.Execute("SELECT coalesce(max(job_id), 0) FROM jobs", "find the next job id"));
  } catch (...) {
    End(false);
    throw;
  }
  next_ = stored_ + 1;
  Clear();
}

Inserter::~Inserter() {
  if (open_) End(false);
}

void Inserter::Clear() { null_.fill(true); }

void Inserter::SetNull(int32_t column) { null_[column - 1] = true; }

void Inserter::SetInteger(int32_t column, int64_t value) {
  std::string& text = values_[column - 1];
  null_[column - 1] = false;
  if (HostColumnTable()[column - 1].kind == ColumnKind::Boolean) {
    text = value ? "t" : "f";
    return;
  }
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  text.assign(digits, end);
}

void Inserter::SetNumber(int32_t column, double value) {
  char digits[32];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  values_[column - 1].assign(digits, end);
  null_[column - 1] = false;
}

void Inserter::SetText(int32_t column, std::string_view value) {
  if (value.find('\0') != std::string_view::npos)
    Raise(RuntimeErrorNumber::TypeMismatch,
          std::string(HostColumnTable()[column - 1].title) + " takes no NUL character on a PostgreSQL server");
  Escape(value, values_[column - 1]);
  null_[column - 1] = false;
}

bool Inserter::IsTaken(int64_t id) {
  if (id > stored_) {
    const auto run = taken_.upper_bound(id);
    return run != taken_.begin() && std::prev(run)->second >= id;
  }
  Flush();
  return !store_.Execute("SELECT 1 FROM jobs WHERE job_id = " + std::to_string(id), "look up a job id").empty();
}

// Joins the run that ends just before the id and the one that starts just after it.
void Inserter::Take(int64_t id) {
  auto next = taken_.upper_bound(id);
  if (next != taken_.begin() && std::prev(next)->second + 1 == id) {
    auto run = std::prev(next);
    run->second = id;
    if (next != taken_.end() && next->first == id + 1) {
      run->second = next->second;
      taken_.erase(next);
    }
    return;
  }
  if (next != taken_.end() && next->first == id + 1) {
    const int64_t last = next->second;
    taken_.erase(next);
    taken_.emplace(id, last);
    return;
  }
  taken_.emplace(id, id);
}

int64_t Inserter::Insert() {
  int64_t id = 0;
  if (null_[0]) {
    id = next_;
    if (id > std::numeric_limits<int32_t>::max())
      Raise(RuntimeErrorNumber::Overflow, "Job ids beyond 2147483647 cannot be given out");
    ++next_;
    Take(id);
    SetInteger(1, id);
  } else {
    std::from_chars(values_[0].data(), values_[0].data() + values_[0].size(), id);
    if (IsTaken(id)) {
      Clear();
      Raise(RuntimeErrorNumber::DuplicateKey, "The job id exists already");
    }
    if (id > stored_) {
      Take(id);
      next_ = std::max(next_, id + 1);
    }
  }
  for (int i = 0; i < HostColumnCount; ++i) {
    if (i) batch_ += '\t';
    if (null_[i]) batch_ += "\\N";
    else batch_ += values_[i];
  }
  batch_ += '\n';
  Clear();
  if (batch_.size() >= kBatchBytes) Flush();
  return id;
}

std::optional<int64_t> Inserter::InsertOnce(std::string_view originKey) {
  const std::string key(originKey);
  const char* parameters[2] = {key.c_str(), nullptr};
  Result found(PQexecParams(store_.connection_, "SELECT 1 FROM job_origins WHERE origin_key = $1", 1, nullptr,
                            parameters, nullptr, nullptr, 0));
  if (PQresultStatus(found.get()) != PGRES_TUPLES_OK) {
    Clear();
    store_.RaiseServer("look up a job's origin", found.get());
  }
  if (PQntuples(found.get()) > 0) {
    Clear();
    return std::nullopt;
  }
  const int64_t id = Insert();
  const std::string idText = std::to_string(id);
  parameters[1] = idText.c_str();
  Result added(PQexecParams(store_.connection_,
                            "INSERT INTO job_origins (origin_key, job_id) VALUES ($1, $2) ON CONFLICT DO NOTHING", 2,
                            nullptr, parameters, nullptr, nullptr, 0));
  if (PQresultStatus(added.get()) != PGRES_COMMAND_OK) store_.RaiseServer("record a job's origin", added.get());
  return id;
}

void Inserter::Flush() {
  if (batch_.empty()) return;
  PGconn* connection = store_.connection_;
  Result started(PQexec(connection, ("COPY jobs (" + JobFieldList() + ") FROM STDIN").c_str()));
  if (PQresultStatus(started.get()) != PGRES_COPY_IN) store_.RaiseServer("store the jobs", started.get());
  const bool sent = PQputCopyData(connection, batch_.data(), static_cast<int>(batch_.size())) == 1;
  batch_.clear();
  PQputCopyEnd(connection, sent ? nullptr : "the jobs could not be sent");
  Result ended(PQgetResult(connection));
  while (PGresult* r = PQgetResult(connection)) PQclear(r);
  if (PQresultStatus(ended.get()) != PGRES_COMMAND_OK) store_.RaiseServer("store the jobs", ended.get());
}

void Inserter::End(bool commit) {
  if (!open_) return;
  if (commit) {
    try {
      Flush();
      // A transaction that failed earlier answers COMMIT with ROLLBACK.
      Result committed(PQexec(store_.connection_, "COMMIT"));
      if (PQresultStatus(committed.get()) != PGRES_COMMAND_OK ||
          std::string_view(PQcmdStatus(committed.get())) != "COMMIT")
        store_.RaiseServer("commit the jobs", committed.get());
    } catch (...) {
      open_ = false;
      PQclear(PQexec(store_.connection_, "ROLLBACK"));
      throw;
    }
  } else {
    batch_.clear();
    PQclear(PQexec(store_.connection_, "ROLLBACK"));
  }
  open_ = false;
}

}  // namespace qx6::host::PostgresJobs
