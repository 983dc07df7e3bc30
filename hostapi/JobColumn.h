// The host's job column: one column of the host's job data, with its title,
// its value for one job and its number. Defined by the host's type library
// (this library); the host fills them and the exporter reads them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/Object.h"
#include "runtime/Variant.h"

namespace qx6 {

extern const Guid IID_JobColumn;    // {D5C30C0C-B954-4AB8-A5EA-DFD164ACE411}
extern const Guid CLSID_JobColumn;  // {C7BA2BC7-2E91-4474-ADB7-CDE86B41A9EF}

class IJobColumn : public IUnknown {
 public:
  virtual const std::string& DisplayName() const = 0;
  virtual void SetDisplayName(std::string_view value) = 0;
  // The value for one job; may be Null.
  virtual const Variant& Value() const = 0;
  virtual void SetValue(const Variant& value) = 0;
  // Refills a text value without allocating when the storage allows.
  virtual void SetTextValue(std::string_view value) = 0;
  virtual int32_t ColumnId() const = 0;
  virtual void SetColumnId(int32_t value) = 0;
  // Only meaningful on the sort columns the exporter hands back.
  virtual bool Ascending() const = 0;
  virtual void SetAscending(bool value) = 0;
};

template <>
struct InterfaceId<IJobColumn> {
  static const Guid& value() { return IID_JobColumn; }
};

class JobColumn final : public Object<IJobColumn> {
 public:
  JobColumn() = default;
  JobColumn(int32_t columnId, std::string_view displayName) : displayName_(displayName), columnId_(columnId) {}

  const std::string& DisplayName() const override { return displayName_; }
  void SetDisplayName(std::string_view value) override { displayName_ = value; }
  const Variant& Value() const override { return value_; }
  void SetValue(const Variant& value) override { value_ = value; }
  void SetTextValue(std::string_view value) override { value_.AssignString(value); }
  int32_t ColumnId() const override { return columnId_; }
  void SetColumnId(int32_t value) override { columnId_ = value; }
  bool Ascending() const override { return ascending_; }
  void SetAscending(bool value) override { ascending_ = value; }

 private:
  std::string displayName_;
  Variant value_;
  int32_t columnId_ = 0;
  bool ascending_ = true;
};

}  // namespace qx6
