// One output column of an export configuration: which host column feeds it
// (or a fixed text), its title, its fixed-width layout and its role in a
// summary, plus the working state of a summary run.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/Collection.h"
#include "runtime/Variant.h"

namespace qx6 {

class ExportConfig;

class ExportColumn {
 public:
  // The Index of a text column: it writes its Name in every row.
  static constexpr int16_t TextColumn = -1;

  int16_t Index() const noexcept { return index_; }
  void SetIndex(int16_t value) noexcept { index_ = value; }
  const std::string& Name() const noexcept { return name_; }
  void SetName(std::string_view value) { name_ = value; }
  // -1 when no width has been set.
  int16_t Width() const noexcept { return width_; }
  void SetWidth(int16_t value) noexcept { width_ = value; }
  // 0 nothing, 1 sort/group ascending, 2 sort/group descending, 3 total.
  int32_t Action() const noexcept { return action_; }
  void SetAction(int32_t value) noexcept { action_ = value; }
  bool RightJustify() const noexcept { return rightJustify_; }
  void SetRightJustify(bool value) noexcept { rightJustify_ = value; }
  // Trimmed, so a single space becomes the empty text (pad with spaces).
  const std::string& PadChar() const noexcept { return padChar_; }
  void SetPadChar(std::string_view value);

  // Summary state: the value in the group's first job, the running total,
  // and whether a plain column's value changed inside the group.
  const Variant& LastValue() const noexcept { return lastValue_; }
  // A text is copied into the column's own storage, reused from group to
  // group, so that the host's buffer stays unshared and is refilled in place.
  void SetLastValue(const Variant& value) {
    if (value.IsString()) lastValue_.AssignString(value.StringValue());
    else lastValue_ = value;
  }
  double Accumulate() const noexcept { return accumulate_; }
  void SetAccumulate(double value) noexcept { accumulate_ = value; }
  bool ChangedInGroup() const noexcept { return changedInGroup_; }
  void SetChangedInGroup(bool value) noexcept { changedInGroup_ = value; }

  // The text fitted to the column under `pinsConfig`'s output type: cut or
  // padded to Width (fixed width), or quoted (delimited with quotes).
  Variant FinishColumn(const ExportConfig& pinsConfig, std::string_view pstrValue) const;

  // Kept for the dialog; neither stored nor read by the export.
  const std::string& FieldName() const noexcept { return fieldName_; }
  void SetFieldName(std::string_view value);

 private:
  int16_t index_ = 0;
  std::string name_;
  int16_t width_ = -1;
  int32_t action_ = 0;
  bool rightJustify_ = false;
  std::string padChar_;
  Variant lastValue_ = Variant::Null();
  double accumulate_ = 0;
  bool changedInGroup_ = false;
  std::string fieldName_;
};

using ExportColumnPtr = std::shared_ptr<ExportColumn>;
// A configuration's columns in output order, without keys. Shared: the
// configuration hands out the collection itself so callers edit it in place.
using ExportColumns = Collection<ExportColumnPtr>;

}  // namespace qx6
