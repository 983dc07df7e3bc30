// Turns one job (or one finished summary group) into one output row and
// writes the title row. Everything a run reads from its configuration is
// taken once, when the run starts, so that the per-job path only converts,
// cleans, fits and joins values.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <string>
#include <vector>

#include "config/ExportConfig.h"
#include "config/RowLayout.h"
#include "hostapi/JobColumns.h"
#include "runtime/Format.h"
#include "runtime/RuntimeError.h"

namespace qx6 {

class RowAssembler {
 public:
  // How a host column's value becomes text.
  // The rules up to Status are those whose values a detail row can take
  // straight into the row; keep them first.
  enum class TextRule : uint8_t { Plain, DateTime, Size, Rate, YesNo, Status, Fixed };

  struct Column {
    ExportColumn* column;  // owned by the configuration
    int16_t index;
    int32_t action;
    TextRule rule;
    ColumnLayout layout;
  };

  explicit RowAssembler(const ExportConfig& config);

  const std::vector<Column>& Columns() const noexcept { return columns_; }
  bool IsSummary() const noexcept { return summary_; }

  // The cleaned text of one column for one job (before width and quotes);
  // in a summary run the column's group state instead of the job's value.
  std::string GetColumnValue(const Column& column, const IJobColumns& job);
  void WriteRow(const IJobColumns& job, int16_t fileNumber);
  void WriteColumnNames(int16_t fileNumber);

  static TextRule RuleFor(int16_t hostColumn);

  // Where a value that failed stands, for the error's detail: the column's
  // position in the row and its title ("output column 3 "Pages"").
  std::string ColumnDetail(const Column& column) const;
  // Runs `step` for each column in row order; a runtime error leaving it
  // names that column in its detail.
  template <class F>
  void ForEachColumn(F&& step) const {
    const Column* column = columns_.data();
    try {
      for (const Column* end = column + columns_.size(); column != end; ++column) step(*column);
    } catch (RuntimeError& error) {
      error.SetDetail(ColumnDetail(*column));
      throw;
    }
  }

 private:
  // Appends the value, cleaned when `clean` (else the caller checks the row).
  void AppendValue(const Column& column, const IJobColumns& job, std::string& out, bool clean = true);
  void AssembleRow(const IJobColumns& job, bool cleanEachValue);
  void AppendText(TextRule rule, const Variant& value, std::string& out) const;
  // Cleans the value at the end of `text`, from `start` on.
  void Clean(std::string& text, size_t start) const;
  void MarkFirstByte(std::string_view removed) noexcept;

  bool MayNeedCleaning(std::string_view text) const noexcept;

  // The first bytes of everything Clean removes: a value without any of them
  // (nearly every value) needs no cleaning at all.
  bool removedFirstByte_[256] = {};
  std::string removedBytes_;
  // Each of the first few of them in every lane of a sixteen-byte vector
  // (the unused ones repeat the first), so that a value is searched sixteen
  // bytes at a time.
  typedef unsigned char ByteVector __attribute__((vector_size(16)));
  static constexpr size_t kVectorSearched = 4;
  ByteVector removedVectors_[kVectorSearched] = {};
  // True when no byte the row adds itself (quotes, field delimiters, padding)
  // is one of them: then one search of the finished row (a few memchr calls)
  // stands for checking every value, and only a row with a hit is assembled
  // again with each value cleaned.
  bool checkWholeRow_ = false;
  // Whether a number's text (digits, a minus, the decimal separator) can
  // hold one of them: nearly never, and then numbers need no search.
  bool numbersMayNeedCleaning_ = true;

  std::vector<Column> columns_;
  RowLayout layout_;
  bool summary_;
  bool autoStrip_;
  std::vector<std::string> stripChars_;
  Format::DatePattern datePattern_;
  Format::NumberPattern ratePattern_;
  Format::NumberPattern sizePattern_;
  std::string yes_, no_;
  std::string status_[4];
  std::string quoteAndDelimiter_;
  // The row being assembled: bytes written through a pointer, so that the
  // dozens of small pieces of a row cost no string bookkeeping each.
  struct RowBuffer {
    std::unique_ptr<char[]> bytes;
    size_t size = 0;
    size_t capacity = 0;
    // Room for `count` more bytes; returns where they go.
    char* Extend(size_t count) {
      if (capacity - size < count) [[unlikely]] Grow(count);
      return bytes.get() + size;
    }
    void Grow(size_t count);
  };
  RowBuffer row_;
  std::string value_;  // one value on the general path
  const Variant emptyText_ = Variant::String("");  // a summary column whose value changed
  std::string text_;   // the finished row
};

}  // namespace qx6
