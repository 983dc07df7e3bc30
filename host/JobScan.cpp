#include "host/JobScan.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "host/IsoDate.h"
#include "host/SqliteError.h"
#include "runtime/RuntimeError.h"

namespace qx6::host::JobScan {
namespace {

// One stored value, checked against its column's kind; sixteen bytes, as
// the batches of the parallel read hold many of them.
struct Decoded {
  enum Type : uint8_t { Null, Text, Number, Date, Boolean, Status, Whole };
  Type type;
  uint32_t size;  // text
  union {
    int64_t whole;       // Boolean, Status, Whole; in a batch, a text's offset
    double number;       // Number, Date
    const char* text;
  };
};
static_assert(sizeof(Decoded) == 16);

// False when the stored value does not fit the column (written by some other
// program, or damaged).
[[gnu::always_inline]] inline bool Decode(sqlite3_value* value, ColumnKind kind, Decoded& out) {
  const int type = sqlite3_value_type(value);
  if (type == SQLITE_NULL) {
    out.type = Decoded::Null;
    return true;
  }
  switch (kind) {
    case ColumnKind::Text:
      // The bytes as stored (UTF-8, checked on open): no terminated copy.
      out.type = Decoded::Text;
      out.text = static_cast<const char*>(sqlite3_value_blob(value));
      out.size = static_cast<uint32_t>(sqlite3_value_bytes(value));
      return true;
    case ColumnKind::Number:
      out.type = Decoded::Number;
      out.number = sqlite3_value_double(value);
      return type == SQLITE_INTEGER || type == SQLITE_FLOAT;
    case ColumnKind::Date: {
      if (type != SQLITE_TEXT) return false;
      out.type = Decoded::Date;
      const auto* bytes = static_cast<const char*>(sqlite3_value_blob(value));
      return bytes && IsoDate::Parse(std::string_view(bytes, static_cast<size_t>(sqlite3_value_bytes(value))),
                                     out.number);
    }
    case ColumnKind::Boolean:
      out.type = Decoded::Boolean;
      out.whole = sqlite3_value_int64(value);
      return type == SQLITE_INTEGER && (out.whole == 0 || out.whole == 1);
    case ColumnKind::Status:
      out.type = Decoded::Status;
      out.whole = sqlite3_value_int64(value);
      return type == SQLITE_INTEGER && out.whole >= 0 && out.whole <= 3;
    case ColumnKind::Integer:
      out.type = Decoded::Whole;
      out.whole = sqlite3_value_int64(value);
      return type == SQLITE_INTEGER && out.whole >= std::numeric_limits<int32_t>::min() &&
             out.whole <= std::numeric_limits<int32_t>::max();
  }
  return false;
}

// A value equal to the previous job's stays as it is: many columns (flags,
// status, copies) repeat from job to job, and the comparison is cheaper than
// a replacement.
template <class Column>
[[gnu::always_inline]] inline void Refill(Column& target, const Decoded& d, const Variant& null) {
  const Variant& current = target.Value();
  switch (d.type) {
    case Decoded::Null:
      if (!current.IsNull()) target.SetValue(null);
      break;
    case Decoded::Text: target.SetTextValue(d.size ? std::string_view(d.text, d.size) : std::string_view()); break;
    case Decoded::Number:
      if (current.Type() != VarType::Double || current.DoubleValue() != d.number)
        target.SetValue(Variant::Double(d.number));
      break;
    case Decoded::Date:
      if (current.Type() != VarType::Date || current.DateValue() != d.number) target.SetValue(Variant::Date(d.number));
      break;
    case Decoded::Boolean:
      if (current.Type() != VarType::Boolean || current.BooleanValue() != (d.whole != 0))
        target.SetValue(Variant::Boolean(d.whole != 0));
      break;
    case Decoded::Status:
      if (current.Type() != VarType::Integer || current.IntegerValue() != d.whole)
        target.SetValue(Variant::Integer(static_cast<int16_t>(d.whole)));
      break;
    case Decoded::Whole:
      if (current.Type() != VarType::Long || current.LongValue() != d.whole)
        target.SetValue(Variant::Long(static_cast<int32_t>(d.whole)));
      break;
  }
}

[[noreturn]] void RaiseDamagedValue(const std::string& path, sqlite3_stmt* row, int index) {
  constexpr size_t kShown = 40;
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(row, index));
  std::string value = "no value";
  if (text) {
    const std::string_view all(text);
    value = "'" + std::string(all.substr(0, kShown)) + (all.size() > kShown ? "...'" : "'");
  }
  Raise(InvalidFileFormat, path + ": database is damaged (job " + std::to_string(sqlite3_column_int64(row, 0)) +
                               " has " + value + " as " + std::string(HostColumnTable()[index].title) + ")");
}

struct StatementDeleter {
  void operator()(sqlite3_stmt* s) const noexcept { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

struct ConnectionDeleter {
  void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
using Connection = std::unique_ptr<sqlite3, ConnectionDeleter>;

// --- chunks ------------------------------------------------------------------

// Which part of the split column's order a chunk covers. The four shapes
// together cover every row exactly once, whatever the stored values are.
enum class Shape { NullDates, UpTo, Between, After };

struct Chunk {
  Shape shape = Shape::Between;
  std::array<char, 20> lowDate{}, highDate{};
  int64_t lowId = 0, highId = 0;
};

// The decoded rows of one chunk; text values point into `text` by offset.
struct Batch {
  std::vector<Decoded> values;
  std::string text;
  size_t rows = 0;
  std::exception_ptr error;  // raised after the rows before it are delivered
  bool ready = false;
  void Clear() {
    values.clear();
    text.clear();
    rows = 0;
    error = nullptr;
    ready = false;
  }
};

// Roughly one chunk per megabyte of table: small enough to balance the
// workers and bound the memory held ahead, large enough to make the per-chunk
// statement cost vanish.
constexpr int64_t kBytesPerChunk = 1 << 20;
constexpr int64_t kMinimumBytes = 4 << 20;  // below this one statement is quicker
constexpr size_t kRowsReserved = 4096;       // about a chunk's worth

int64_t QueryInteger(sqlite3* db, const char* sql) {
  sqlite3_stmt* raw = nullptr;
  const int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
  Statement statement(raw);
  if (rc != SQLITE_OK) return -1;
  return sqlite3_step(raw) == SQLITE_ROW ? sqlite3_column_int64(raw, 0) : -1;
}

class ParallelScan {
 public:
  ParallelScan(const Query& query, std::vector<Chunk> chunks, int workers)
      : query_(query), chunks_(std::move(chunks)), batches_(chunks_.size()), workers_(workers) {
    maxAhead_ = static_cast<size_t>(workers) * 2 + 2;
  }

  ~ParallelScan() { Stop(); }

  int64_t Run(IJobColumn* const* targets, const JobVisitor& visitor) {
    for (int i = 0; i < workers_; ++i) threads_.emplace_back([this] { Work(); });
    return WithOwnColumns(targets, [&](auto* const* columns) { return Deliver(columns, visitor); });
  }

 private:
  template <class Column>
  int64_t Deliver(Column* const* targets, const JobVisitor& visitor) {
    const Variant null = Variant::Null();
    int64_t visited = 0;
    for (size_t c = 0; c < chunks_.size(); ++c) {
      std::unique_ptr<Batch> batch;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return batches_[c] && batches_[c]->ready; });
        batch = std::move(batches_[c]);
      }
      const Decoded* values = batch->values.data();
      for (size_t row = 0; row < batch->rows; ++row, values += HostColumnCount) {
        for (int i = 0; i < HostColumnCount; ++i) {
          Decoded d = values[i];
          if (d.type == Decoded::Text) d.text = batch->text.data() + d.whole;
          Refill(*targets[i], d, null);
        }
        ++visited;
        if (!visitor()) return visited;
      }
      if (batch->error) std::rethrow_exception(batch->error);
      batch->Clear();
      std::lock_guard lock(mutex_);
      delivered_ = c + 1;
      pool_.push_back(std::move(batch));
      changed_.notify_all();
    }
    return visited;
  }

  void Stop() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
      stopping_.store(true, std::memory_order_relaxed);
    }
    changed_.notify_all();
    for (std::thread& t : threads_) t.join();
    threads_.clear();
  }

  // Takes the next chunk while no more than maxAhead_ wait undelivered.
  void Work() {
    Connection db;
    Statement statements[4];
    for (;;) {
      size_t c;
      std::unique_ptr<Batch> batch;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || next_ >= chunks_.size() || next_ < delivered_ + maxAhead_; });
        if (stop_ || next_ >= chunks_.size()) return;
        c = next_++;
        if (!pool_.empty()) {
          batch = std::move(pool_.back());
          pool_.pop_back();
        }
      }
      if (!batch) batch = std::make_unique<Batch>();
      bool failed = false;
      try {
        Fill(db, statements, chunks_[c], *batch);
      } catch (...) {
        batch->error = std::current_exception();
        failed = true;
      }
      {
        std::lock_guard lock(mutex_);
        if (stop_) return;  // abandoned: nobody will read this chunk
        batch->ready = true;
        batches_[c] = std::move(batch);
      }
      changed_.notify_all();
      if (failed) return;
    }
  }

  void Fill(Connection& db, Statement (&statements)[4], const Chunk& chunk, Batch& batch) {
    if (!db) {
      sqlite3* raw = nullptr;
      const int rc = sqlite3_open_v2(query_.path.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
      db.reset(raw);
      if (rc != SQLITE_OK) RaiseSqliteError(raw, rc, query_.path, "open");
      sqlite3_busy_timeout(raw, 5000);
      sqlite3_exec(raw, "PRAGMA mmap_size = 0; PRAGMA cache_size = -16384", nullptr, nullptr, nullptr);
    }
    Statement& statement = statements[static_cast<int>(chunk.shape)];
    if (!statement) {
      const std::string sql = query_.select + " WHERE " + ChunkCondition(chunk.shape) + query_.orderBy;
      sqlite3_stmt* raw = nullptr;
      const int rc = sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &raw, nullptr);
      statement.reset(raw);
      if (rc != SQLITE_OK) RaiseSqliteError(db.get(), rc, query_.path, "read the jobs");
    }
    sqlite3_stmt* s = statement.get();
    sqlite3_reset(s);
    BindRange(s, query_);
    if (query_.splitColumn == 12) {
      sqlite3_bind_text(s, 3, chunk.lowDate.data(), 19, SQLITE_STATIC);
      sqlite3_bind_text(s, 4, chunk.highDate.data(), 19, SQLITE_STATIC);
    } else {
      sqlite3_bind_int64(s, 3, chunk.lowId);
      sqlite3_bind_int64(s, 4, chunk.highId);
    }
    const auto& table = HostColumnTable();
    Decoded d{};
    batch.values.reserve(kRowsReserved * HostColumnCount);
    batch.text.reserve(kRowsReserved * 256);
    for (;;) {
      const int rc = sqlite3_step(s);
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) RaiseSqliteError(db.get(), rc, query_.path, "read the jobs");
      if (stopping_.load(std::memory_order_relaxed)) return;
      for (int i = 0; i < HostColumnCount; ++i) {
        if (!Decode(sqlite3_column_value(s, i), table[i].kind, d)) {
          batch.values.resize(batch.rows * HostColumnCount);  // keep the whole rows before it
          RaiseDamagedValue(query_.path, s, i);
        }
        if (d.type == Decoded::Text) {
          const char* text = d.text;
          d.whole = static_cast<int64_t>(batch.text.size());
          if (d.size) batch.text.append(text, d.size);
        }
        batch.values.push_back(d);
      }
      ++batch.rows;
    }
    sqlite3_reset(s);
  }

  std::string ChunkCondition(Shape shape) const {
    std::string condition = query_.condition.empty() ? "" : query_.condition + " AND ";
    const char* field = query_.splitColumn == 12 ? "date_time" : "job_id";
    switch (shape) {
      case Shape::NullDates: return condition + "date_time IS NULL";
      case Shape::UpTo: return condition + field + " IS NOT NULL AND " + field + " <= ?4";
      case Shape::Between: return condition + field + " > ?3 AND " + field + " <= ?4";
      case Shape::After: return condition + field + " > ?3";
    }
    return condition;
  }

  const Query& query_;
  std::vector<Chunk> chunks_;
  std::vector<std::unique_ptr<Batch>> batches_;
  std::vector<std::unique_ptr<Batch>> pool_;
  int workers_;
  size_t maxAhead_;
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t next_ = 0, delivered_ = 0;
  bool stop_ = false;
  std::atomic<bool> stopping_{false};  // stop_, readable without the lock
  std::vector<std::thread> threads_;
};

// The split column's smallest and largest value within the range, as text.
bool SplitBounds(sqlite3* db, const Query& query, const char* aggregate, std::string& out) {
  const char* field = query.splitColumn == 12 ? "date_time" : "job_id";
  const std::string sql = std::string("SELECT ") + aggregate + "(" + field + ") FROM jobs" +
                          (query.condition.empty() ? "" : " WHERE " + query.condition);
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) return false;
  Statement statement(raw);
  BindRange(raw, query);
  if (sqlite3_step(raw) != SQLITE_ROW || sqlite3_column_type(raw, 0) == SQLITE_NULL) return false;
  out = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
  return true;
}

// Chunks in delivery order, or none when the order cannot be split.
std::vector<Chunk> PlanChunks(sqlite3* db, const Query& query, int64_t count) {
  std::string low, high;
  if (!SplitBounds(db, query, "min", low) || !SplitBounds(db, query, "max", high)) return {};
  std::vector<Chunk> chunks;
  if (query.splitColumn == 12) {
    double first = 0, last = 0;
    // Serials before 1900 do not rise with time (the time counts forwards
    // from a negative day), so evenly spaced serials would not be in order.
    if (!IsoDate::Parse(low, first) || !IsoDate::Parse(high, last) || first < 0 || last <= first) return {};
    // Spans of equal time hold unequal numbers of jobs (working hours against
    // nights), and the shorter they are, the more so: four times as many
    // keep the fullest chunk within the rows a batch reserves, so that the
    // batches read ahead stay as small at three million jobs as at one.
    count = std::min<int64_t>(count * 4, 16384);
    for (int64_t c = 0; c < count; ++c) {
      Chunk chunk;
      chunk.shape = c == 0 ? Shape::UpTo : c == count - 1 ? Shape::After : Shape::Between;
      if (c > 0) IsoDate::Format(first + (last - first) * static_cast<double>(c) / static_cast<double>(count), chunk.lowDate.data());
      if (c < count - 1)
        IsoDate::Format(first + (last - first) * static_cast<double>(c + 1) / static_cast<double>(count), chunk.highDate.data());
      chunks.push_back(chunk);
    }
    // Jobs without a date sort before every date.
    if (!query.hasFrom && !query.hasTo) chunks.insert(chunks.begin(), Chunk{Shape::NullDates, {}, {}, 0, 0});
  } else {
    const int64_t first = std::stoll(low), last = std::stoll(high);
    if (last <= first) return {};
    const int64_t span = last - first;
    for (int64_t c = 0; c < count; ++c) {
      Chunk chunk;
      chunk.shape = c == 0 ? Shape::UpTo : c == count - 1 ? Shape::After : Shape::Between;
      chunk.lowId = first + span * c / count;
      chunk.highId = first + span * (c + 1) / count;
      chunks.push_back(chunk);
    }
  }
  if (!query.splitAscending) std::reverse(chunks.begin(), chunks.end());
  return chunks;
}

template <class Column>
int64_t ReadRows(sqlite3_stmt* statement, const Query& query, Column* const* targets, const JobVisitor& visitor) {
  const auto& table = HostColumnTable();
  const Variant null = Variant::Null();
  sqlite3* db = sqlite3_db_handle(statement);
  Decoded d{};
  int64_t visited = 0;
  for (;;) {
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) RaiseSqliteError(db, rc, query.path, "read the jobs");
    for (int i = 0; i < HostColumnCount; ++i) {
      // One API call per value: the value's own accessors skip the
      // statement's entry checks (safe, the connection has no mutex).
      if (!Decode(sqlite3_column_value(statement, i), table[i].kind, d)) RaiseDamagedValue(query.path, statement, i);
      Refill(*targets[i], d, null);
    }
    ++visited;
    if (!visitor()) break;
  }
  return visited;
}

}  // namespace

void BindRange(sqlite3_stmt* statement, const Query& query) {
  if (query.hasFrom) sqlite3_bind_text(statement, 1, query.from.data(), 19, SQLITE_STATIC);
  if (query.hasTo) sqlite3_bind_text(statement, 2, query.to.data(), 19, SQLITE_STATIC);
}

int64_t RunStatement(sqlite3_stmt* statement, const Query& query, IJobColumn* const* targets,
                     const JobVisitor& visitor) {
  return WithOwnColumns(targets, [&](auto* const* columns) { return ReadRows(statement, query, columns, visitor); });
}

int64_t RunParallel(sqlite3* db, const Query& query, int threads, IJobColumn* const* targets,
                    const JobVisitor& visitor) {
  if (threads < 2 || query.splitColumn == 0 || query.path.empty() || query.path == ":memory:") return -1;
  // With a write-ahead log each connection could see another state.
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &raw, nullptr) != SQLITE_OK) return -1;
  Statement journal(raw);
  if (sqlite3_step(raw) != SQLITE_ROW ||
      std::string_view(reinterpret_cast<const char*>(sqlite3_column_text(raw, 0))) == "wal")
    return -1;
  journal.reset();
  const int64_t bytes = QueryInteger(db, "PRAGMA page_count") * QueryInteger(db, "PRAGMA page_size");
  if (bytes < kMinimumBytes) return -1;

  // The read transaction holds a shared lock for the whole loop: no other
  // program can commit meanwhile, so every worker sees this same state.
  if (sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) return -1;
  struct EndRead {
    sqlite3* db;
    ~EndRead() { sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr); }
  } endRead{db};
  const std::vector<Chunk> chunks = PlanChunks(db, query, std::min<int64_t>(bytes / kBytesPerChunk, 4096));
  if (chunks.empty()) return -1;
  ParallelScan scan(query, chunks, threads);
  return scan.Run(targets, visitor);
}

}  // namespace qx6::host::JobScan
