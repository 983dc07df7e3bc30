// A collection of job columns, indexed from 1: the host's available columns
// (item n is column n), one job's values, or the exporter's sort columns.
#pragma once

#include <cstdint>
#include <vector>

#include "hostapi/JobColumn.h"
#include "runtime/RuntimeError.h"

namespace qx6 {

// The runtime collection's interface id, which the host's collections carry.
extern const Guid IID_JobColumns;  // {A4C46780-499F-101B-BB78-00AA00383CBB}

class IJobColumns : public IUnknown {
 public:
  virtual int32_t Count() const = 0;
  // Borrowed: valid while the collection holds it. Null outside 1..Count,
  // which callers report as error 9.
  virtual IJobColumn* Item(int32_t index) const = 0;
  virtual void Add(IJobColumn* column) = 0;
  virtual void Remove(int32_t index) = 0;
};

template <>
struct InterfaceId<IJobColumns> {
  static const Guid& value() { return IID_JobColumns; }
};

class JobColumns final : public Object<IJobColumns> {
 public:
  int32_t Count() const override { return static_cast<int32_t>(items_.size()); }
  IJobColumn* Item(int32_t index) const override {
    return index >= 1 && index <= Count() ? items_[static_cast<size_t>(index - 1)].Get() : nullptr;
  }
  void Add(IJobColumn* column) override { items_.emplace_back(column); }
  void Remove(int32_t index) override;

 private:
  std::vector<ComPtr<IJobColumn>> items_;
};

// Item `index` or error 9. Inline: the export reads every value through it.
inline IJobColumn& ColumnAt(const IJobColumns& columns, int32_t index) {
  IJobColumn* column = columns.Item(index);
  if (!column) [[unlikely]] Raise(RuntimeErrorNumber::SubscriptOutOfRange);
  return *column;
}

// The host's column collection of the latest Initialize on this thread,
// shared by the exporter objects, the configuration loader, the default
// column set and the settings dialog of the thread.
ComPtr<IJobColumns> SharedExportColumns();
void SetSharedExportColumns(ComPtr<IJobColumns> columns);

}  // namespace qx6
