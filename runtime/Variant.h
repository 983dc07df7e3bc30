// The runtime's Variant: Empty, Null, 16/32-bit integers, double, Boolean,
// byte, string, date, object and arrays. Sixteen bytes; strings, objects and
// arrays are shared by reference count, so a copy costs one increment.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Object.h"
#include "runtime/Strings.h"

namespace qx6 {

// The numbers are those of the original runtime's VarType.
enum class VarType : uint16_t {
  Empty = 0,
  Null = 1,
  Integer = 2,  // 16-bit
  Long = 3,     // 32-bit
  Double = 5,
  Date = 7,
  String = 8,
  Object = 9,
  Boolean = 11,
  Byte = 17,
  Array = 0x2000,
};

class Variant;

namespace detail {
// A string's header, followed by its characters in one allocation; the
// header is here so that reading and refilling a text need no call.
struct StringRep {
  std::atomic<uint32_t> refs;
  uint32_t size;
  uint32_t capacity;
  char* Data() { return reinterpret_cast<char*>(this + 1); }
  static StringRep* Make(std::string_view text, uint32_t capacity);
  void Unref();
};
struct ArrayRep;
}  // namespace detail

// An array of variants with one or two dimensions and their lower bounds.
// Arrays are shared: copying a Variant that holds one shares the elements.
class VariantArray {
 public:
  int Dimensions() const;
  int32_t LowerBound(int dimension) const;  // dimension 1 or 2
  int32_t UpperBound(int dimension) const;
  // Error 9 outside the bounds.
  Variant& At(int32_t i);
  Variant& At(int32_t i, int32_t j);
  const Variant& At(int32_t i) const;
  const Variant& At(int32_t i, int32_t j) const;
  size_t ElementCount() const;

 private:
  friend class Variant;
  explicit VariantArray(detail::ArrayRep* rep) : rep_(rep) {}
  detail::ArrayRep* rep_;
};

class Variant {
 public:
  Variant() noexcept : type_(VarType::Empty) { u_.i64 = 0; }
  // Numbers, dates and the like are copied as they are; only a string, an
  // object or an array goes through its reference count, out of line.
  Variant(const Variant& o) noexcept : type_(o.type_), u_(o.u_) {
    if (Shared(type_)) AddRef();
  }
  Variant(Variant&& o) noexcept : type_(o.type_), u_(o.u_) { o.type_ = VarType::Empty; }
  ~Variant() {
    if (Shared(type_)) Release();
  }
  Variant& operator=(const Variant& o) noexcept {
    if (!Shared(type_) && !Shared(o.type_)) {
      type_ = o.type_;
      u_ = o.u_;
      return *this;
    }
    return AssignShared(o);
  }
  Variant& operator=(Variant&& o) noexcept {
    if (this != &o) {
      if (Shared(type_)) Release();
      type_ = o.type_;
      u_ = o.u_;
      o.type_ = VarType::Empty;
    }
    return *this;
  }

  static Variant Null() noexcept;
  static Variant Integer(int16_t v) noexcept;
  static Variant Long(int32_t v) noexcept;
  static Variant Double(double v) noexcept;
  static Variant Boolean(bool v) noexcept;
  static Variant Byte(uint8_t v) noexcept;
  // Days since 30 December 1899, the time as the fraction of the day.
  static Variant Date(double serial) noexcept;
  static Variant String(std::string_view text);
  static Variant FromObject(IUnknown* object) noexcept;  // takes a reference
  template <class T>
  static Variant FromObject(const ComPtr<T>& object) noexcept {
    return FromObject(static_cast<IUnknown*>(object.Get()));
  }
  // A two-dimensional array (rows, columns), each dimension from 0.
  static Variant Array2D(int32_t rows, int32_t columns);
  // A one-dimensional array from 0 with the given elements.
  static Variant Array1D(std::vector<Variant> elements);
  // A one-dimensional array of bytes (type Byte elements) from 0.
  static Variant ByteArray(std::string_view bytes);

  // Convenience constructors for literals in code and tests.
  Variant(int16_t v) noexcept : Variant(Integer(v)) {}
  Variant(int32_t v) noexcept : Variant(Long(v)) {}
  Variant(double v) noexcept : Variant(Double(v)) {}
  Variant(bool v) noexcept : Variant(Boolean(v)) {}
  Variant(const char* text) : Variant(String(text)) {}
  Variant(std::string_view text) : Variant(String(text)) {}
  Variant(const std::string& text) : Variant(String(text)) {}

  VarType Type() const noexcept { return type_; }
  bool IsEmpty() const noexcept { return type_ == VarType::Empty; }
  bool IsNull() const noexcept { return type_ == VarType::Null; }
  bool IsString() const noexcept { return type_ == VarType::String; }
  bool IsObject() const noexcept { return type_ == VarType::Object; }
  bool IsArray() const noexcept { return type_ == VarType::Array; }
  // Integer, Long, Double, Byte or Boolean (not Date, not String).
  bool IsNumber() const noexcept {
    switch (type_) {
      case VarType::Integer:
      case VarType::Long:
      case VarType::Double:
      case VarType::Boolean:
      case VarType::Byte: return true;
      default: return false;
    }
  }

  // Raw access; the caller checks Type() first.
  int16_t IntegerValue() const noexcept { return u_.i16; }
  int32_t LongValue() const noexcept { return u_.i32; }
  double DoubleValue() const noexcept { return u_.dbl; }
  double DateValue() const noexcept { return u_.dbl; }
  bool BooleanValue() const noexcept { return u_.b; }
  uint8_t ByteValue() const noexcept { return u_.u8; }
  std::string_view StringValue() const noexcept {  // empty for other types
    if (type_ != VarType::String) return {};
    return {u_.str->Data(), u_.str->size};
  }
  IUnknown* ObjectValue() const noexcept { return type_ == VarType::Object ? u_.obj : nullptr; }
  // Queries the object for an interface; empty when none or not an object.
  template <class T>
  ComPtr<T> ObjectAs(const Guid& iid) const {
    ComPtr<T> r;
    if (auto* o = ObjectValue()) o->QueryInterface(iid, reinterpret_cast<void**>(r.Put()));
    return r;
  }
  // Error 13 when the variant is no array.
  VariantArray ArrayValue() const;

  // Replaces the value by a text, reusing the string's storage when this
  // variant is its only holder: the host refills job values this way.
  void AssignString(std::string_view text) {
    if (type_ == VarType::String && u_.str->refs.load(std::memory_order_acquire) == 1 &&
        u_.str->capacity >= text.size() &&
        (text.data() < u_.str->Data() || text.data() > u_.str->Data() + u_.str->capacity)) {
      Strings::CopyShort(u_.str->Data(), text.data(), text.size());
      u_.str->size = static_cast<uint32_t>(text.size());
      u_.str->Data()[text.size()] = '\0';
      return;
    }
    ReplaceString(text);
  }

  void Clear() noexcept {
    if (Shared(type_)) Release();
    type_ = VarType::Empty;
    u_.i64 = 0;
  }

 private:
  union Payload {
    int64_t i64;
    int16_t i16;
    int32_t i32;
    double dbl;
    bool b;
    uint8_t u8;
    detail::StringRep* str;
    IUnknown* obj;
    detail::ArrayRep* arr;
  };
  static bool Shared(VarType type) noexcept {
    return type == VarType::String || type == VarType::Object || type == VarType::Array;
  }
  // The reference counting of a shared value; Release leaves type_ and u_.
  void AddRef() const noexcept;
  void Release() noexcept;
  Variant& AssignShared(const Variant& o) noexcept;
  void ReplaceString(std::string_view text);

  VarType type_;
  Payload u_;
};

static_assert(sizeof(Variant) == 16);

inline Variant Variant::Null() noexcept {
  Variant v;
  v.type_ = VarType::Null;
  return v;
}
inline Variant Variant::Integer(int16_t x) noexcept {
  Variant v;
  v.type_ = VarType::Integer;
  v.u_.i16 = x;
  return v;
}
inline Variant Variant::Long(int32_t x) noexcept {
  Variant v;
  v.type_ = VarType::Long;
  v.u_.i32 = x;
  return v;
}
inline Variant Variant::Double(double x) noexcept {
  Variant v;
  v.type_ = VarType::Double;
  v.u_.dbl = x;
  return v;
}
inline Variant Variant::Boolean(bool x) noexcept {
  Variant v;
  v.type_ = VarType::Boolean;
  v.u_.b = x;
  return v;
}
inline Variant Variant::Byte(uint8_t x) noexcept {
  Variant v;
  v.type_ = VarType::Byte;
  v.u_.u8 = x;
  return v;
}
inline Variant Variant::Date(double serial) noexcept {
  Variant v;
  v.type_ = VarType::Date;
  v.u_.dbl = serial;
  return v;
}


}  // namespace qx6
