#include "runtime/Variant.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "runtime/RuntimeError.h"

namespace qx6 {
namespace detail {

StringRep* StringRep::Make(std::string_view text, uint32_t capacity) {
  void* mem = std::malloc(sizeof(StringRep) + capacity + 1);
  if (!mem) throw std::bad_alloc();
  auto* rep = new (mem) StringRep{{1}, static_cast<uint32_t>(text.size()), capacity};
  if (!text.empty()) std::memcpy(rep->Data(), text.data(), text.size());
  rep->Data()[text.size()] = '\0';
  return rep;
}

void StringRep::Unref() {
  if (refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    this->~StringRep();
    std::free(this);
  }
}

struct ArrayRep {
  std::atomic<uint32_t> refs{1};
  int dims = 1;
  int32_t lower[2] = {0, 0};
  int32_t extent[2] = {0, 1};
  std::vector<Variant> items;
  void Unref() {
    if (refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
};

}  // namespace detail

void Variant::AddRef() const noexcept {
  switch (type_) {
    case VarType::String: u_.str->refs.fetch_add(1, std::memory_order_relaxed); break;
    case VarType::Object:
      if (u_.obj) u_.obj->AddRef();
      break;
    case VarType::Array: u_.arr->refs.fetch_add(1, std::memory_order_relaxed); break;
    default: break;
  }
}

void Variant::Release() noexcept {
  switch (type_) {
    case VarType::String: u_.str->Unref(); break;
    case VarType::Object:
      if (u_.obj) u_.obj->Release();
      break;
    case VarType::Array: u_.arr->Unref(); break;
    default: break;
  }
}

Variant& Variant::AssignShared(const Variant& o) noexcept {
  if (this != &o) {
    Variant keep(std::move(*this));  // released after the copy: o may live in it
    type_ = o.type_;
    u_ = o.u_;
    AddRef();
  }
  return *this;
}

Variant Variant::String(std::string_view text) {
  Variant v;
  v.u_.str = detail::StringRep::Make(text, static_cast<uint32_t>(text.size()));
  v.type_ = VarType::String;
  return v;
}
Variant Variant::FromObject(IUnknown* object) noexcept {
  Variant v;
  v.type_ = VarType::Object;
  v.u_.obj = object;
  if (object) object->AddRef();
  return v;
}

Variant Variant::Array2D(int32_t rows, int32_t columns) {
  auto* rep = new detail::ArrayRep;
  rep->dims = 2;
  rep->extent[0] = rows < 0 ? 0 : rows;
  rep->extent[1] = columns < 0 ? 0 : columns;
  rep->items.resize(static_cast<size_t>(rep->extent[0]) * static_cast<size_t>(rep->extent[1]));
  Variant v;
  v.type_ = VarType::Array;
  v.u_.arr = rep;
  return v;
}

Variant Variant::Array1D(std::vector<Variant> elements) {
  auto* rep = new detail::ArrayRep;
  rep->dims = 1;
  rep->extent[0] = static_cast<int32_t>(elements.size());
  rep->items = std::move(elements);
  Variant v;
  v.type_ = VarType::Array;
  v.u_.arr = rep;
  return v;
}

Variant Variant::ByteArray(std::string_view bytes) {
  std::vector<Variant> items;
  items.reserve(bytes.size());
  for (unsigned char c : bytes) items.push_back(Byte(c));
  return Array1D(std::move(items));
}

VariantArray Variant::ArrayValue() const {
  if (type_ != VarType::Array) Raise(RuntimeErrorNumber::TypeMismatch);
  return VariantArray(u_.arr);
}

void Variant::ReplaceString(std::string_view text) {
  uint32_t capacity = static_cast<uint32_t>(text.size() < 24 ? 24 : text.size());
  auto* rep = detail::StringRep::Make(text, capacity);
  Clear();
  u_.str = rep;
  type_ = VarType::String;
}

int VariantArray::Dimensions() const { return rep_->dims; }

int32_t VariantArray::LowerBound(int dimension) const {
  if (dimension < 1 || dimension > rep_->dims) Raise(RuntimeErrorNumber::SubscriptOutOfRange);
  return rep_->lower[dimension - 1];
}

int32_t VariantArray::UpperBound(int dimension) const {
  if (dimension < 1 || dimension > rep_->dims) Raise(RuntimeErrorNumber::SubscriptOutOfRange);
  return rep_->lower[dimension - 1] + rep_->extent[dimension - 1] - 1;
}

size_t VariantArray::ElementCount() const { return rep_->items.size(); }

Variant& VariantArray::At(int32_t i) {
  return const_cast<Variant&>(static_cast<const VariantArray*>(this)->At(i));
}
Variant& VariantArray::At(int32_t i, int32_t j) {
  return const_cast<Variant&>(static_cast<const VariantArray*>(this)->At(i, j));
}

const Variant& VariantArray::At(int32_t i) const {
  int64_t k = int64_t{i} - rep_->lower[0];
  if (rep_->dims != 1 || k < 0 || k >= rep_->extent[0]) Raise(RuntimeErrorNumber::SubscriptOutOfRange);
  return rep_->items[static_cast<size_t>(k)];
}

const Variant& VariantArray::At(int32_t i, int32_t j) const {
  int64_t r = int64_t{i} - rep_->lower[0], c = int64_t{j} - rep_->lower[1];
  if (rep_->dims != 2 || r < 0 || r >= rep_->extent[0] || c < 0 || c >= rep_->extent[1])
    Raise(RuntimeErrorNumber::SubscriptOutOfRange);
  return rep_->items[static_cast<size_t>(r * rep_->extent[1] + c)];
}

}  // namespace qx6
