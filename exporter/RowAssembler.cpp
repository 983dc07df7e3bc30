#include "exporter/RowAssembler.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "runtime/Conversion.h"
#include "runtime/Locale.h"
#include "runtime/RuntimeError.h"
#include "runtime/Strings.h"
#include "runtime/TextFile.h"
#include "ui/modLanguage.h"

namespace qx6 {
namespace {

constexpr const char* DefaultDateFormat = "MMM dd, yyyy hh:nn:ss";

std::vector<std::string> Characters(std::string_view text) {
  std::vector<std::string> characters;
  for (int32_t i = 1, n = Strings::Len(text); i <= n; ++i) characters.emplace_back(Strings::Mid(text, i, 1));
  return characters;
}

}  // namespace

RowAssembler::TextRule RowAssembler::RuleFor(int16_t hostColumn) {
  switch (hostColumn) {
    case ExportColumn::TextColumn: return TextRule::Fixed;
    case 10: return TextRule::Status;
    case 12: return TextRule::DateTime;
    case 20: case 21: case 27: case 36: return TextRule::YesNo;
    case 28: return TextRule::Size;
    case 32: case 33: case 34: case 35: return TextRule::Rate;
    default: return TextRule::Plain;
  }
}

RowAssembler::RowAssembler(const ExportConfig& config)
    : layout_(RowLayout::Of(config)),
      summary_(config.ExportType() == ExportConfig::Summary),
      autoStrip_(config.AutoStripDelimiters()),
      stripChars_(Characters(config.StripChars())),
      datePattern_(config.DateFormat().empty() ? DefaultDateFormat : config.DateFormat()),
      ratePattern_(config.NumericFormat()),
      sizePattern_("0.00"),
      yes_(modLanguage::GetLangString(303)),
      no_(modLanguage::GetLangString(304)) {
  for (int i = 0; i < 4; ++i) status_[i] = modLanguage::GetLangString(305 + i);
  MarkFirstByte("\r");
  MarkFirstByte("\n");
  if (autoStrip_) {
    MarkFirstByte(layout_.fieldDelimiter);
    MarkFirstByte(layout_.rowDelimiter);
  }
  for (const std::string& c : stripChars_) MarkFirstByte(c);
  for (const ExportColumnPtr& column : *config.Columns()) {
    columns_.push_back({column.get(), column->Index(), column->Action(), RuleFor(column->Index()),
                        ColumnLayout::Of(*column)});
  }
  quoteAndDelimiter_ = '"' + layout_.fieldDelimiter;
  std::string added = quoteAndDelimiter_;
  if (layout_.outputType == ExportConfig::FixedWidth)
    for (const Column& column : columns_) added += column.layout.padChar;
  checkWholeRow_ = removedBytes_.size() <= 4 && !MayNeedCleaning(added);
  numbersMayNeedCleaning_ = MayNeedCleaning("0123456789-" + Locale::User().decimalSeparator);
}

void RowAssembler::AppendText(TextRule rule, const Variant& value, std::string& out) const {
  // Each rule first takes the kind of value the host delivers for its
  // columns without a call, then falls back on the general conversions,
  // which give the same text for it.
  switch (rule) {
    case TextRule::Plain:
    case TextRule::Fixed:
      if (value.IsString()) {
        out.append(value.StringValue());
      } else if (!value.IsNull()) {
        Convert::AppendText(value, out);
      }
      return;
    case TextRule::DateTime:
      if (value.Type() == VarType::Date) {
        datePattern_.AppendTo(value.DateValue(), out);
      } else if (value.IsString() && Convert::IsDate(value)) {
        datePattern_.AppendTo(Convert::ToDate(value), out);
      } else {
        Convert::AppendText(value, out);  // Null: invalid use of Null
      }
      return;
    case TextRule::Size:
      if (value.Type() == VarType::Double) {
        // Within the 32-bit range rounding cannot overflow, and a number
        // equals its rounded self exactly when it is whole.
        const double size = value.DoubleValue();
        if (size >= -2147483648.0 && size <= 2147483647.0) {
          if (size == std::floor(size)) Convert::AppendText(value, out);
          else sizePattern_.AppendTo(size, out);
          return;
        }
      }
      if (!Convert::IsNumeric(value)) return;
      // The whole-number test overflows outside the 32-bit range, as it did.
      if (static_cast<double>(Convert::ToLong(value)) == Convert::ToDouble(value)) {
        Convert::AppendText(value, out);
      } else {
        sizePattern_.AppendTo(Convert::ToDouble(value), out);
      }
      return;
    case TextRule::Rate:
      if (value.Type() == VarType::Double) ratePattern_.AppendTo(value.DoubleValue(), out);
      else if (Convert::IsNumeric(value)) ratePattern_.AppendTo(Convert::ToDouble(value), out);
      return;
    case TextRule::YesNo:
      if (value.Type() == VarType::Boolean) {
        out += value.BooleanValue() ? yes_ : no_;  // True is -1
      } else if (Convert::IsNumeric(value)) {
        out += Convert::ToDouble(value) == -1.0 ? yes_ : no_;
      } else {
        Convert::AppendText(value, out);  // Null: invalid use of Null
      }
      return;
    case TextRule::Status:
      if (value.Type() == VarType::Integer || value.Type() == VarType::Long) {
        const int32_t code = value.Type() == VarType::Integer ? value.IntegerValue() : value.LongValue();
        if (code >= 0 && code < 4) out += status_[code];
      } else if (Convert::IsNumeric(value)) {
        const double code = Convert::ToDouble(value);
        for (int i = 0; i < 4; ++i) {
          if (code == i) out += status_[i];
        }
      }
      return;
  }
}

void RowAssembler::MarkFirstByte(std::string_view removed) noexcept {
  if (removed.empty()) return;
  const auto byte = static_cast<unsigned char>(removed.front());
  if (removedFirstByte_[byte]) return;
  removedFirstByte_[byte] = true;
  const size_t count = removedBytes_.size();
  if (count == 0) {
    for (ByteVector& v : removedVectors_) v = ByteVector{} + byte;
  } else if (count < kVectorSearched) {
    removedVectors_[count] = ByteVector{} + byte;
  }
  removedBytes_ += removed.front();
}

bool RowAssembler::MayNeedCleaning(std::string_view text) const noexcept {
  const size_t searched = removedBytes_.size();
  if (searched == 0) return false;
  const char* p = text.data();
  const size_t size = text.size();
  if (searched <= kVectorSearched && size >= 4) {
    // A lane equal to a searched byte compares as all ones.
    const auto hit = [this](const ByteVector& chunk) {
      const auto hits = (chunk == removedVectors_[0]) | (chunk == removedVectors_[1]) |
                        (chunk == removedVectors_[2]) | (chunk == removedVectors_[3]);
      uint64_t halves[2];
      std::memcpy(halves, &hits, sizeof halves);
      return (halves[0] | halves[1]) != 0;
    };
    ByteVector chunk;
    if (size >= 16) {
      const char* const last = p + size - 16;
      for (; p < last; p += 16) {
        std::memcpy(&chunk, p, sizeof chunk);
        if (hit(chunk)) return true;
      }
      std::memcpy(&chunk, last, sizeof chunk);  // the last sixteen, overlapping bytes already searched
      return hit(chunk);
    }
    // Four to fifteen bytes: the first and the last eight (or four), which
    // overlap, in one vector.
    uint64_t halves[2];
    if (size >= 8) {
      std::memcpy(&halves[0], p, 8);
      std::memcpy(&halves[1], p + size - 8, 8);
    } else {
      uint32_t head, tail;
      std::memcpy(&head, p, 4);
      std::memcpy(&tail, p + size - 4, 4);
      halves[0] = halves[1] = head | static_cast<uint64_t>(tail) << 32;
    }
    std::memcpy(&chunk, halves, sizeof chunk);
    return hit(chunk);
  }
  for (const char* const end = p + size; p != end; ++p)
    if (removedFirstByte_[static_cast<unsigned char>(*p)]) return true;
  return false;
}

void RowAssembler::Clean(std::string& text, size_t start) const {
  if (!MayNeedCleaning(std::string_view(text).substr(start))) return;
  std::string value = text.substr(start);
  if (value.find_first_of("\r\n") != std::string::npos) {
    std::erase(value, '\r');
    std::erase(value, '\n');
  }
  if (autoStrip_) {
    Strings::RemoveAll(value, layout_.fieldDelimiter);
    Strings::RemoveAll(value, layout_.rowDelimiter);
  }
  for (const std::string& c : stripChars_) Strings::RemoveAll(value, c);
  text.resize(start);
  text += value;
}

void RowAssembler::AppendValue(const Column& column, const IJobColumns& job, std::string& out, bool clean) {
  const size_t start = out.size();
  if (column.index == ExportColumn::TextColumn) {
    out += column.column->Name();
  } else {
    const IJobColumn& jobColumn = ColumnAt(job, column.index);
    if (!summary_) {
      AppendText(column.rule, jobColumn.Value(), out);
    } else if (column.action == 3) {
      AppendText(column.rule, Variant::Double(column.column->Accumulate()), out);
    } else if (column.action == 0 && column.column->ChangedInGroup()) {
      AppendText(column.rule, emptyText_, out);
    } else {
      AppendText(column.rule, column.column->LastValue(), out);
    }
  }
  if (clean) Clean(out, start);
}

std::string RowAssembler::GetColumnValue(const Column& column, const IJobColumns& job) {
  std::string text;
  AppendValue(column, job, text);
  return text;
}

void RowAssembler::RowBuffer::Grow(size_t count) {
  const size_t wanted = std::max(size + count, capacity * 2 + 256);
  auto grown = std::make_unique_for_overwrite<char[]>(wanted);
  if (size) std::memcpy(grown.get(), bytes.get(), size);
  bytes = std::move(grown);
  capacity = wanted;
}

void RowAssembler::AssembleRow(const IJobColumns& job, bool cleanEachValue) {
  row_.size = 0;
  const bool fixed = layout_.outputType == ExportConfig::FixedWidth;
  const bool quoted = layout_.outputType == ExportConfig::Delimited && layout_.stringsInQuotes;
  // What follows a value: its closing quote and the field delimiter, at once.
  const std::string& after = quoted ? quoteAndDelimiter_ : layout_.fieldDelimiter;
  const char* afterBytes = after.data();
  const size_t afterSize = after.size();
  // What follows a value of up to 8 bytes, stored with one 8-byte move (the
  // bytes beyond it are overwritten by the next value or left unused).
  char afterWord[8] = {};
  const bool shortAfter = afterSize <= sizeof afterWord;
  if (shortAfter) std::memcpy(afterWord, afterBytes, afterSize);
  const size_t afterRoom = std::max(afterSize, sizeof afterWord);
  const bool direct = !summary_;
  // Appends the opening quote, `size` bytes from `write` and what follows.
  auto put = [&](size_t size, auto&& write) {
    char* to = row_.Extend(size + afterRoom + 1);
    if (quoted) *to++ = '"';
    to = write(to);
    if (shortAfter) {
      std::memcpy(to, afterWord, sizeof afterWord);
      to += afterSize;
    } else {
      std::memcpy(to, afterBytes, afterSize);
      to += afterSize;
    }
    row_.size = static_cast<size_t>(to - row_.bytes.get());
  };
  ForEachColumn([&](const Column& column) {
    if (direct && column.rule <= TextRule::Status && column.index != ExportColumn::TextColumn) {
      // Most values are texts, whole numbers, dates, amounts, flags and
      // statuses of the kind their column holds: they go straight into the
      // row, without the calls of the general path below, which gives the
      // same bytes for them.
      const Variant& value = ColumnAt(job, column.index).Value();
      char digits[64];
      std::string_view text;
      const char* end = nullptr;
      bool number = false;  // digits, a sign and a decimal separator at most
      bool known = false;   // `text` is the value's text
      switch (column.rule) {
        case TextRule::Plain:
          // A whole number's text is its digits (as the general conversion
          // writes them), and ASCII.
          if (value.IsString() || value.IsNull()) {
            text = value.StringValue();  // empty for Null
            known = true;
          } else if (value.Type() == VarType::Long) {
            end = std::to_chars(digits, digits + sizeof digits, value.LongValue()).ptr;
            number = true;
          }
          break;
        case TextRule::DateTime:
          if (value.Type() == VarType::Date) end = datePattern_.TryWrite(value.DateValue(), digits, sizeof digits);
          break;
        case TextRule::Size:
          // A whole size is written by the general conversion.
          if (value.Type() == VarType::Double && std::fabs(value.DoubleValue()) <= 2147483647.0 &&
              value.DoubleValue() != std::floor(value.DoubleValue()))
            end = sizePattern_.TryWrite(value.DoubleValue(), digits, sizeof digits);
          number = true;
          break;
        case TextRule::Rate:
          if (value.Type() == VarType::Double) end = ratePattern_.TryWrite(value.DoubleValue(), digits, sizeof digits);
          number = true;
          break;
        case TextRule::YesNo:
          if (value.Type() == VarType::Boolean) {
            text = value.BooleanValue() ? yes_ : no_;
            known = true;
          }
          break;
        case TextRule::Status:
          if (value.Type() == VarType::Integer && value.IntegerValue() >= 0 && value.IntegerValue() < 4) {
            text = status_[value.IntegerValue()];
            known = true;
          }
          break;
        default: break;
      }
      if (end) text = std::string_view(digits, static_cast<size_t>(end - digits));
      bool simple = end != nullptr || known;
      // A value that holds none of the bytes cleaning removes is clean as it is.
      if (simple && cleanEachValue && (!number || numbersMayNeedCleaning_) && MayNeedCleaning(text)) simple = false;
      if (simple) {
        const ColumnLayout& layout = column.layout;
        if (!fixed) {
          put(text.size(), [&](char* to) { return Strings::CopyShort(to, text.data(), text.size()); });
          return;
        }
        const auto width = static_cast<size_t>(layout.width);
        const size_t kept = std::min(text.size(), width);
        // Fitted to the width where the bytes kept are ASCII: a character is
        // a byte there (and a longer text has more characters than the width).
        if (layout.width >= 0 && layout.padChar.size() == 1 && Strings::IsAscii(text.substr(0, kept))) {
          put(width, [&](char* to) {
            if (layout.rightJustify) {
              std::memset(to, layout.padChar.front(), width - kept);
              std::memcpy(to + (width - kept), text.data(), kept);
            } else {
              std::memcpy(to, text.data(), kept);
              std::memset(to + kept, layout.padChar.front(), width - kept);
            }
            return to + width;
          });
          return;
        }
      }
    }
    value_.clear();
    AppendValue(column, job, value_, cleanEachValue);
    if (fixed) FitColumnInPlace(value_, 0, column.layout);
    put(value_.size(), [&](char* to) { return Strings::CopyShort(to, value_.data(), value_.size()); });
  });
}

std::string RowAssembler::ColumnDetail(const Column& column) const {
  const size_t position = static_cast<size_t>(&column - columns_.data()) + 1;
  return "output column " + std::to_string(position) + " \"" + column.column->Name() + "\"";
}

void RowAssembler::WriteRow(const IJobColumns& job, int16_t fileNumber) {
  AssembleRow(job, !checkWholeRow_);
  if (checkWholeRow_) {
    for (const char c : removedBytes_) {
      if (std::memchr(row_.bytes.get(), c, row_.size)) {
        AssembleRow(job, true);
        break;
      }
    }
  }
  if (row_.size == 0) return;
  text_.assign(row_.bytes.get(), row_.size);
  FinishRowInPlace(text_, layout_);
  TextFile::Write(fileNumber, text_);
}

void RowAssembler::WriteColumnNames(int16_t fileNumber) {
  text_.clear();
  for (const Column& column : columns_) {
    AppendFinishedColumn(text_, column.column->Name(), column.layout, layout_);
    text_ += layout_.fieldDelimiter;
  }
  FinishRowInPlace(text_, layout_);
  TextFile::Write(fileNumber, text_);
}

}  // namespace qx6
