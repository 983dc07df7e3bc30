// Reference-counted objects with interface query by GUID: what a Variant of
// type Object holds, and the base on which the component model is built.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace qx6 {

struct Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  uint8_t data4[8] = {};

  // Reads "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", braces optional, any case.
  static std::optional<Guid> Parse(std::string_view text);
  // Throws std::invalid_argument on a malformed text; for constants.
  static Guid FromString(std::string_view text);
  // Upper case with braces, as the registry spells class ids.
  std::string ToString() const;

  friend bool operator==(const Guid& a, const Guid& b) noexcept;
};

// Status codes of calls across interfaces, as the component model spells them.
using HRESULT = int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
inline constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9);
// A runtime error raised inside a call: the facility of the original runtime,
// with the error number in the low word.
inline constexpr HRESULT RuntimeErrorStatus(int number) {
  return static_cast<HRESULT>(0x800A0000u | (static_cast<uint32_t>(number) & 0xFFFFu));
}
inline constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }
inline constexpr bool Failed(HRESULT hr) { return hr < 0; }

extern const Guid IID_IUnknown;

class IUnknown {
 public:
  virtual HRESULT QueryInterface(const Guid& iid, void** object) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};

// Owning pointer to an interface: AddRef on copy, Release on destruction.
template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}
  // Takes a new reference.
  explicit ComPtr(T* p) noexcept : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& o) noexcept : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U>
  ComPtr(const ComPtr<U>& o) noexcept : ComPtr(static_cast<T*>(o.Get())) {}
  ~ComPtr() { Reset(); }

  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }

  // Adopts a reference the caller already owns (a fresh object, an out value).
  static ComPtr Attach(T* p) noexcept {
    ComPtr r;
    r.p_ = p;
    return r;
  }
  T* Detach() noexcept { return std::exchange(p_, nullptr); }
  void Reset() noexcept {
    if (auto* p = std::exchange(p_, nullptr)) p->Release();
  }

  T* Get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  friend bool operator==(const ComPtr& a, const ComPtr& b) noexcept { return a.p_ == b.p_; }

  // For out parameters of QueryInterface and the like.
  T** Put() noexcept {
    Reset();
    return &p_;
  }

  // Asks the object for another interface; empty when it has none.
  template <class U>
  ComPtr<U> As(const Guid& iid) const {
    ComPtr<U> r;
    if (p_) p_->QueryInterface(iid, reinterpret_cast<void**>(r.Put()));
    return r;
  }

 private:
  T* p_ = nullptr;
};

// Creates an object whose reference count starts at one and hands it over.
template <class T, class... Args>
ComPtr<T> MakeObject(Args&&... args) {
  return ComPtr<T>::Attach(new T(std::forward<Args>(args)...));
}

// Reference counting and IUnknown for a concrete class. Derive from
// Object<Self, Interfaces...> and give each interface its GUID through
// InterfaceId<Interface>::value (see below).
template <class I>
struct InterfaceId;  // specialised per interface: static const Guid& value();

template <>
struct InterfaceId<IUnknown> {
  static const Guid& value() { return IID_IUnknown; }
};

template <class... Interfaces>
class Object : public Interfaces... {
 public:
  HRESULT QueryInterface(const Guid& iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid == IID_IUnknown) {
      *object = static_cast<IUnknown*>(static_cast<First*>(this));
    } else {
      // The first listed interface with that identifier answers.
      (void)((iid == InterfaceId<Interfaces>::value() && !*object
                  ? (*object = static_cast<Interfaces*>(this), true)
                  : false) ||
             ...);
      if (!*object) *object = QueryOtherInterface(iid);
    }
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  uint32_t AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  uint32_t Release() override {
    uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~Object() = default;
  // For interfaces that are not base classes (none by default).
  virtual void* QueryOtherInterface(const Guid&) { return nullptr; }

 private:
  template <class F, class...>
  struct FirstOf { using type = F; };
  using First = typename FirstOf<Interfaces...>::type;
  std::atomic<uint32_t> refs_{1};
};

}  // namespace qx6
