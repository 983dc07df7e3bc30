#include "host/CsvImport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "host/IsoDate.h"
#include "runtime/RuntimeError.h"
#include "runtime/Strings.h"

namespace qx6::host::CsvImport {
namespace {

struct Field {
  std::string text;
  bool quoted = false;
};

// Fills `buffer` with up to `size` bytes of input; 0 at its end.
using Source = std::function<size_t(char* buffer, size_t size)>;

// Reads records one at a time, counting physical lines for the messages.
// A record may hold no more than `maxBytes` bytes, and only its first
// `maxFields` fields are kept, so that neither a huge line nor a quote never
// closed makes memory grow without bound.
class CsvReader {
 public:
  CsvReader(Source source, std::string_view name, size_t maxBytes)
      : source_(std::move(source)), name_(name), maxBytes_(maxBytes) {}

  // False at the end of the input. Blank lines are skipped. `count` is the
  // number of fields read, which may exceed `maxFields`.
  bool ReadRecord(std::vector<Field>& fields, size_t& count, size_t maxFields) {
    for (;;) {
      if (Peek() == kEnd) return false;
      recordLine_ = line_;
      recordBytes_ = 0;
      count = 0;
      bool blank = true;
      for (;;) {
        // Fields beyond `maxFields` are only counted, for the message.
        if (count < maxFields && count == fields.size()) fields.emplace_back();
        Field& field = count < maxFields ? fields[count] : surplus_;
        ++count;
        field.text.clear();
        field.quoted = false;
        int c = Peek();
        if (c == '"') {
          blank = false;
          field.quoted = true;
          ReadQuoted(field.text, count);
          c = Peek();
          if (c != ',' && c != '\r' && c != '\n' && c != kEnd)
            Fail(line_, "field " + std::to_string(count) + " has text after its closing quote");
        } else {
          c = ReadUnquoted(field.text);
          if (!field.text.empty()) blank = false;
        }
        if (c == ',') {
          blank = false;
          Count();
          Next();
          continue;
        }
        EndLine(c);
        break;
      }
      if (!(blank && count == 1)) return true;
    }
  }

  int RecordLine() const { return recordLine_; }

  [[noreturn]] void Fail(int line, const std::string& what) const {
    Raise(InvalidFileFormat, std::string(name_) + " line " + std::to_string(line) + ": " + what);
  }

 private:
  static constexpr int kEnd = -1;
  // The bytes that end an unquoted field.
  static constexpr auto kEndsField = [] {
    std::array<bool, 256> ends{};
    ends[','] = ends['\r'] = ends['\n'] = true;
    return ends;
  }();

  int Peek() {
    if (position_ == size_ && !Fill()) return kEnd;
    return static_cast<unsigned char>(buffer_[position_]);
  }
  void Next() { ++position_; }

  // One byte more of the record, within its limit.
  void Count() { Count(1); }
  void Count(size_t n) {
    recordBytes_ += n;
    if (recordBytes_ > maxBytes_)
      Fail(recordLine_, "the record is longer than " + SizeText(maxBytes_) +
                            (inQuotes_ ? " (is a quote never closed?)" : ""));
  }
  // The current byte `c`, appended to `text`.
  void Take(std::string& text, int c) {
    Count();
    text += static_cast<char>(c);
    Next();
  }
  // The bytes up to the next comma or line end, taken a run of the buffer at
  // a time; returns the byte that ends the field (or kEnd).
  int ReadUnquoted(std::string& text) {
    for (;;) {
      if (position_ == size_ && !Fill()) return kEnd;
      const char* begin = buffer_ + position_;
      const char* end = buffer_ + size_;
      const char* p = begin;
      while (p != end && !kEndsField[static_cast<unsigned char>(*p)]) ++p;
      const auto n = static_cast<size_t>(p - begin);
      if (n) {
        Count(n);
        text.append(begin, n);
        position_ += n;
      }
      if (p != end) return static_cast<unsigned char>(*p);
    }
  }

  static std::string SizeText(size_t bytes) {
    if (bytes % (1 << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
    return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  }

  bool Fill() {
    if (ended_) return false;
    size_ = source_(buffer_, sizeof buffer_);
    ended_ = size_ == 0;
    position_ = 0;
    if (first_) {
      first_ = false;
      if (size_ >= 3 && std::memcmp(buffer_, "\xEF\xBB\xBF", 3) == 0) position_ = 3;
      if (position_ == size_) return Fill();
    }
    return size_ > 0;
  }

  void ReadQuoted(std::string& text, size_t fieldNumber) {
    const int startLine = line_;
    inQuotes_ = true;
    Count();
    Next();
    for (;;) {
      int c = Peek();
      if (c == kEnd)
        Fail(startLine, "the quoted field " + std::to_string(fieldNumber) + " is never closed");
      if (c == '"') {
        Count();
        Next();
        if (Peek() != '"') break;
        Take(text, c);
        continue;
      }
      // The run up to the next quote in the buffer, line ends counted.
      const char* begin = buffer_ + position_;
      const auto* quote = static_cast<const char*>(std::memchr(begin, '"', size_ - position_));
      const auto n = static_cast<size_t>((quote ? quote : buffer_ + size_) - begin);
      Count(n);
      line_ += static_cast<int>(std::count(begin, begin + n, '\n'));
      text.append(begin, n);
      position_ += n;
    }
    inQuotes_ = false;
  }

  void EndLine(int c) {
    if (c == kEnd) return;
    Next();
    if (c == '\r' && Peek() == '\n') Next();
    ++line_;
  }

  Source source_;
  Field surplus_;
  std::string_view name_;
  size_t maxBytes_;
  char buffer_[65536];
  size_t size_ = 0, position_ = 0;
  size_t recordBytes_ = 0;
  bool first_ = true;
  bool ended_ = false;
  bool inQuotes_ = false;
  int line_ = 1;
  int recordLine_ = 1;
};

bool IsValidUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  // ASCII, nearly all of every file, eight bytes at a time.
  while (end - p >= 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    if (word & 0x8080808080808080u) break;
    p += 8;
  }
  while (p < end) {
    const unsigned c = *p++;
    if (c < 0x80) continue;
    int more;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) more = 1, cp = c & 0x1F;
    else if (c >= 0xE0 && c <= 0xEF) more = 2, cp = c & 0x0F;
    else if (c >= 0xF0 && c <= 0xF4) more = 3, cp = c & 0x07;
    else return false;
    if (end - p < more) return false;
    for (int i = 0; i < more; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (p[i] & 0x3F);
    }
    p += more;
    if ((more == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (more == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
      return false;
  }
  return true;
}

bool ParseWhole(std::string_view text, int64_t& value) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

bool ParseNumber(std::string_view text, double& value) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text.front())) || text.front() == '-' ||
                        text.front() == '.'))
    return false;  // no "inf" or "nan"
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  return ec == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

bool ParseBoolean(std::string_view text, bool& value) {
  if (text.size() == 1 && (text[0] == '0' || text[0] == '1')) return value = text[0] == '1', true;
  for (std::string_view word : {"1", "true", "yes"})
    if (Strings::EqualsText(text, word)) return value = true, true;
  for (std::string_view word : {"0", "false", "no"})
    if (Strings::EqualsText(text, word)) return value = false, true;
  return false;
}

bool ParseStatus(std::string_view text, int64_t& value) {
  static constexpr std::string_view words[] = {"Printed", "Cancelled", "Denied", "Held"};
  for (int64_t i = 0; i < 4; ++i)
    if (Strings::EqualsText(text, words[i]) || text == std::string_view("0123").substr(static_cast<size_t>(i), 1))
      return value = i, true;
  if (Strings::EqualsText(text, "Canceled")) return value = 1, true;
  return false;
}

std::string Shown(std::string_view text) {
  constexpr size_t kShown = 40;
  std::string shown(text.substr(0, kShown));
  if (text.size() > kShown) shown += "...";
  return "'" + shown + "'";
}

}  // namespace

namespace {

int64_t ImportRecords(JobDatabase& database, CsvReader& reader, std::string_view sourceName);

}  // namespace

int64_t ImportFile(JobDatabase& database, const std::string& path, size_t maxRecordBytes) {
  // Not blocking on open: a FIFO without a writer would hang here before it
  // could be refused.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) RaiseFromErrnoNaming(errno, path);
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) RaiseFromErrnoNaming(errno, path);
  if (!S_ISREG(st.st_mode)) {
    const char* kind = S_ISDIR(st.st_mode)    ? "a folder"
                       : S_ISFIFO(st.st_mode) ? "a pipe (FIFO)"
                       : S_ISSOCK(st.st_mode) ? "a socket"
                       : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "a device"
                                                                      : "no regular file";
    Raise(RuntimeErrorNumber::PathFileAccessError,
          path + " is " + kind + ", not a CSV file: only regular files can be imported");
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  CsvReader reader(
      [&](char* buffer, size_t size) -> size_t {
        for (;;) {
          const ssize_t n = ::read(fd, buffer, size);
          if (n >= 0) return static_cast<size_t>(n);
          if (errno != EINTR) Raise(RuntimeErrorNumber::DeviceIoError, "Device I/O error while reading " + path);
        }
      },
      path, maxRecordBytes);
  return ImportRecords(database, reader, path);
}

int64_t Import(JobDatabase& database, std::istream& input, std::string_view sourceName, size_t maxRecordBytes) {
  CsvReader reader(
      [&](char* buffer, size_t size) -> size_t {
        if (input.eof()) return 0;
        input.read(buffer, static_cast<std::streamsize>(size));
        if (input.bad()) Raise(RuntimeErrorNumber::DeviceIoError, "Device I/O error while reading " + std::string(sourceName));
        return static_cast<size_t>(input.gcount());
      },
      sourceName, maxRecordBytes);
  return ImportRecords(database, reader, sourceName);
}

namespace {

// The records after the header, read and checked value by value on a
// thread of their own and handed over in batches of typed values, so that
// the inserting thread only binds and stores them. An error in the file
// travels after the rows before it: those are stored first, and a job id
// that exists already on an earlier row is still the error reported.
class RecordParser {
 public:
  enum class Kind : uint8_t { Null, Integer, Boolean, Number, Date, Text };
  struct Value {
    Kind kind;
    uint32_t length;  // of a text, at `offset` in the batch's text
    union {
      int64_t whole;
      double number;
      size_t offset;
    };
  };
  struct Batch {
    std::string text;
    std::vector<Value> values;  // the header's count a row
    std::vector<int> lines;
    std::vector<std::pair<size_t, size_t>> ids;  // the job id as written, in `text`
    std::exception_ptr error;   // after the rows: the error that ended the file
    bool last = false;
  };

  RecordParser(CsvReader& reader, const std::vector<const HostColumn*>& header)
      : reader_(reader), header_(header), thread_([this] { Run(); }) {}
  ~RecordParser() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  std::unique_ptr<Batch> Next() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !ready_.empty(); });
    std::unique_ptr<Batch> batch = std::move(ready_.front());
    ready_.pop_front();
    changed_.notify_all();
    return batch;
  }
  void Recycle(std::unique_ptr<Batch> batch) {
    batch->text.clear();
    batch->values.clear();
    batch->lines.clear();
    batch->ids.clear();
    std::lock_guard lock(mutex_);
    pool_.push_back(std::move(batch));
  }

 private:
  static constexpr size_t kRowsPerBatch = 512, kBatchesAhead = 8;

  void Run() {
    std::unique_ptr<Batch> batch = Take();
    try {
      std::vector<Field> fields;
      size_t count = 0;
      while (reader_.ReadRecord(fields, count, header_.size())) {
        Parse(fields, count, *batch);
        if (batch->lines.size() >= kRowsPerBatch) {
          if (!Hand(std::move(batch))) return;
          batch = Take();
        }
      }
    } catch (...) {
      batch->error = std::current_exception();
    }
    batch->last = true;
    Hand(std::move(batch));
  }

  void Parse(const std::vector<Field>& fields, size_t count, Batch& batch) {
    const int line = reader_.RecordLine();
    if (count != header_.size())
      reader_.Fail(line, std::to_string(count) + (count == 1 ? " field" : " fields") + " where the header has " +
                             std::to_string(header_.size()));
    std::pair<size_t, size_t> id{0, 0};
    for (size_t i = 0; i < count; ++i) {
      const HostColumn& column = *header_[i];
      const Field& field = fields[i];
      auto bad = [&](const char* what) {
        reader_.Fail(line, Shown(field.text) + " is not " + what + " (column " + std::string(column.title) + ")");
      };
      Value& value = batch.values.emplace_back();
      value.kind = Kind::Null;
      if (column.kind == ColumnKind::Text) {
        if (field.text.empty() && !field.quoted) continue;
        if (!IsValidUtf8(field.text)) bad("valid UTF-8 text");
        if (field.text.size() > std::numeric_limits<uint32_t>::max()) bad("a text of less than 4 GiB");
        value.kind = Kind::Text;
        value.offset = batch.text.size();
        value.length = static_cast<uint32_t>(field.text.size());
        batch.text += field.text;
        continue;
      }
      const std::string_view text = Strings::Trim(field.text);
      if (text.empty()) continue;
      switch (column.kind) {
        case ColumnKind::Integer: {
          if (!ParseWhole(text, value.whole)) bad("a whole number");
          if (column.id == 1 && (value.whole < 1 || value.whole > std::numeric_limits<int32_t>::max()))
            bad("a job id from 1 to 2147483647");
          if (value.whole < std::numeric_limits<int32_t>::min() || value.whole > std::numeric_limits<int32_t>::max())
            bad("a whole number from -2147483648 to 2147483647");
          value.kind = Kind::Integer;
          if (column.id == 1) {
            id = {batch.text.size(), text.size()};
            batch.text += text;
          }
          break;
        }
        case ColumnKind::Status:
          if (!ParseStatus(text, value.whole)) bad("a status (0 to 3, Printed, Cancelled, Denied or Held)");
          value.kind = Kind::Integer;
          break;
        case ColumnKind::Boolean: {
          bool on = false;
          if (!ParseBoolean(text, on)) bad("a Boolean (0/1, true/false, yes/no)");
          value.kind = Kind::Boolean;
          value.whole = on;
          break;
        }
        case ColumnKind::Number:
          if (!ParseNumber(text, value.number)) bad("a number");
          value.kind = Kind::Number;
          break;
        case ColumnKind::Date:
          if (!IsoDate::Parse(text, value.number)) bad("a date and time (YYYY-MM-DD HH:MM:SS)");
          value.kind = Kind::Date;
          break;
        case ColumnKind::Text: break;
      }
    }
    batch.lines.push_back(line);
    batch.ids.push_back(id);
  }

  std::unique_ptr<Batch> Take() {
    std::lock_guard lock(mutex_);
    if (pool_.empty()) return std::make_unique<Batch>();
    std::unique_ptr<Batch> batch = std::move(pool_.back());
    pool_.pop_back();
    return batch;
  }
  // False when the inserting side has stopped taking batches.
  bool Hand(std::unique_ptr<Batch> batch) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return ready_.size() < kBatchesAhead || stop_; });
    if (stop_) return false;
    ready_.push_back(std::move(batch));
    changed_.notify_all();
    return true;
  }

  CsvReader& reader_;
  const std::vector<const HostColumn*>& header_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::unique_ptr<Batch>> ready_;
  std::vector<std::unique_ptr<Batch>> pool_;
  bool stop_ = false;
  std::thread thread_;  // last: it starts once the members above are made
};

int64_t ImportRecords(JobDatabase& database, CsvReader& reader, std::string_view sourceName) {
  std::vector<Field> fields;
  size_t count = 0;
  if (!reader.ReadRecord(fields, count, HostColumnCount))
    Raise(InvalidFileFormat, std::string(sourceName) + " is empty: it needs a header row naming the columns");
  if (count > HostColumnCount)
    reader.Fail(reader.RecordLine(), "the header names " + std::to_string(count) + " columns; there are " +
                                         std::to_string(HostColumnCount) + " host columns");

  std::vector<const HostColumn*> header;
  bool seen[HostColumnCount + 1] = {};
  for (size_t i = 0; i < count; ++i) {
    const std::string_view name = Strings::Trim(fields[i].text);
    const HostColumn* column = FindHostColumn(name);
    if (!column) reader.Fail(reader.RecordLine(), "unknown column " + Shown(name));
    if (seen[column->id]) reader.Fail(reader.RecordLine(), "the column " + std::string(column->title) + " appears twice");
    seen[column->id] = true;
    header.push_back(column);
  }

  JobInserter inserter = database.BeginInsert();
  using Kind = RecordParser::Kind;
  RecordParser parser(reader, header);
  int64_t imported = 0;
  for (;;) {
    std::unique_ptr<RecordParser::Batch> batch = parser.Next();
    const RecordParser::Value* value = batch->values.data();
    for (size_t row = 0; row < batch->lines.size(); ++row) {
      for (const HostColumn* column : header) {
        const int32_t id = column->id;
        switch (value->kind) {
          case Kind::Null: inserter.SetNull(id); break;
          case Kind::Integer: inserter.SetInteger(id, value->whole); break;
          case Kind::Boolean: inserter.SetBoolean(id, value->whole != 0); break;
          case Kind::Number: inserter.SetNumber(id, value->number); break;
          case Kind::Date: inserter.SetDate(id, value->number); break;
          case Kind::Text: inserter.SetText(id, std::string_view(batch->text).substr(value->offset, value->length)); break;
        }
        ++value;
      }
      try {
        inserter.Insert();
      } catch (const RuntimeError& e) {
        if (e.Number() == RuntimeErrorNumber::DuplicateKey) {
          const auto [at, length] = batch->ids[row];
          reader.Fail(batch->lines[row],
                      "the job id " + (length ? batch->text.substr(at, length) : std::string("?")) + " exists already");
        }
        throw;
      }
      ++imported;
    }
    if (batch->error) std::rethrow_exception(batch->error);
    if (batch->last) break;
    parser.Recycle(std::move(batch));
  }
  inserter.Commit();
  return imported;
}

}  // namespace
}  // namespace qx6::host::CsvImport
