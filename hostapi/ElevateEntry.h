// A registry value that an exporter asks the host to write on its behalf
// (the host has the rights to write under HKEY_LOCAL_MACHINE), and the
// collection of objects such requests come in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/Object.h"
#include "runtime/Variant.h"

namespace qx6 {

extern const Guid IID_IElevateEntry;
extern const Guid IID_IObjectCollection;

class IElevateEntry : public IUnknown {
 public:
  virtual std::string SectionKey() const = 0;
  virtual std::string ValueName() const = 0;
  virtual Variant Value() const = 0;
  virtual int32_t ValueType() const = 0;
};

template <>
struct InterfaceId<IElevateEntry> {
  static const Guid& value() { return IID_IElevateEntry; }
};

class IObjectCollection : public IUnknown {
 public:
  virtual int32_t Count() const = 0;
  // Borrowed; null outside 1..Count.
  virtual IUnknown* Item(int32_t index) const = 0;
  virtual void Add(IUnknown* item) = 0;
};

template <>
struct InterfaceId<IObjectCollection> {
  static const Guid& value() { return IID_IObjectCollection; }
};

class ObjectCollection final : public Object<IObjectCollection> {
 public:
  int32_t Count() const override { return static_cast<int32_t>(items_.size()); }
  IUnknown* Item(int32_t index) const override {
    return index >= 1 && index <= Count() ? items_[static_cast<size_t>(index - 1)].Get() : nullptr;
  }
  void Add(IUnknown* item) override { items_.emplace_back(item); }

 private:
  std::vector<ComPtr<IUnknown>> items_;
};

}  // namespace qx6
