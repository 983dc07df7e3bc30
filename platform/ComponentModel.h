// The in-process component model: class factories, the four entry points a
// component library exports with C linkage, creation of objects by class id
// or ProgID through HKEY_CLASSES_ROOT, registration, and the calling
// thread's error information that a failed call leaves for its caller.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Win32Types.h"
#include "runtime/Object.h"

namespace qx6::platform {

extern const Guid IID_IClassFactory;  // {00000001-0000-0000-C000-000000000046}

class IClassFactory : public IUnknown {
 public:
  virtual HRESULT CreateInstance(IUnknown* outer, const Guid& iid, void** object) = 0;
  virtual HRESULT LockServer(bool lock) = 0;
};

}  // namespace qx6::platform

template <>
struct qx6::InterfaceId<qx6::platform::IClassFactory> {
  static const Guid& value() { return qx6::platform::IID_IClassFactory; }
};

namespace qx6::platform {

// The entry points every component library exports (extern "C").
using DllGetClassObjectFunction = HRESULT (*)(const Guid* clsid, const Guid* iid, void** object);
using DllCanUnloadNowFunction = HRESULT (*)();
using DllRegisterServerFunction = HRESULT (*)();
using DllUnregisterServerFunction = HRESULT (*)();

// Error information of the calling thread: set by a component when a call
// fails, read (and cleared) by the caller.
struct ErrorInfo {
  int32_t number = 0;
  std::string description;
  std::string source;
  // Where it went wrong, when the component knows more than the number and
  // description say (a file and line, an output column); often empty.
  std::string detail;
};
void SetErrorInfo(ErrorInfo info);
std::optional<ErrorInfo> TakeErrorInfo();
void ClearErrorInfo();

// Looks the class up under HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32,
// loads that library once (it stays loaded), asks its class factory for a
// new object and queries it for `iid`. REGDB_E_CLASSNOTREG when the class is
// not registered, CO_E_ERRORINDLL when the library cannot be loaded or has
// no DllGetClassObject.
HRESULT CoCreateInstance(const Guid& clsid, const Guid& iid, void** object);
// The class id registered for a ProgID (HKEY_CLASSES_ROOT\<ProgID>\CLSID).
HRESULT CLSIDFromProgID(const std::string& progId, Guid* clsid);

template <class T>
ComPtr<T> CreateObject(const Guid& clsid, const Guid& iid, HRESULT* status = nullptr) {
  ComPtr<T> object;
  HRESULT hr = CoCreateInstance(clsid, iid, reinterpret_cast<void**>(object.Put()));
  if (status) *status = hr;
  return object;
}

// What registration writes for one class of a library.
struct ClassRegistration {
  Guid clsid;
  std::string progId;       // may be empty
  std::string displayName;  // the class key's default value
  Guid typeLibrary;
  std::string typeLibraryVersion;  // "1.0"
  std::string libraryPath;         // the library's full path
  std::string threadingModel = "Apartment";
};

// Writes CLSID\{clsid} (default value, InprocServer32 with ThreadingModel,
// ProgID, TypeLib) and <ProgID>\CLSID into HKEY_CLASSES_ROOT.
HRESULT RegisterClass(const ClassRegistration& registration);
HRESULT UnregisterClass(const ClassRegistration& registration);

struct TypeLibraryRegistration {
  Guid id;
  std::string version;  // "5.1"
  std::string helpString;
  std::string libraryPath;
};
// TypeLib\{id}\<version> with its help string and the library path.
HRESULT RegisterTypeLibrary(const TypeLibraryRegistration& registration);
HRESULT UnregisterTypeLibrary(const TypeLibraryRegistration& registration);

// Loads a component library and calls its DllRegisterServer (or, with
// `unregister`, DllUnregisterServer), as regsvr32 does, inside one registry
// transaction that is committed only when the entry point succeeded. On
// failure `error` says what went wrong.
HRESULT RegisterLibrary(const std::string& path, bool unregister, std::string* error = nullptr);

// While one lives, HKEY_CLASSES_ROOT stands for the user's own
// HKEY_CURRENT_USER\Software\Classes in this process, so that what a
// component registers goes there: a registration for this user alone, which
// needs no administrator. HKEY_CLASSES_ROOT reads that key first anyway.
class PerUserRegistration {
 public:
  PerUserRegistration();
  ~PerUserRegistration();
  PerUserRegistration(const PerUserRegistration&) = delete;
  PerUserRegistration& operator=(const PerUserRegistration&) = delete;
  // ERROR_SUCCESS when the user's classes key could be opened or made.
  LONG Status() const { return status_; }

 private:
  LONG status_ = 0;
};

// Counts the live objects and locks of one library, for DllCanUnloadNow.
class ModuleLock {
 public:
  static void Lock() noexcept;
  static void Unlock() noexcept;
  static bool CanUnload() noexcept;
};

// A class factory creating `T` (default-constructible, Object<...>-based).
template <class T>
class ClassFactory final : public Object<IClassFactory> {
 public:
  HRESULT CreateInstance(IUnknown* outer, const Guid& iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    ComPtr<T> instance;
    try {
      instance = MakeObject<T>();
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    return instance->QueryInterface(iid, object);
  }
  HRESULT LockServer(bool lock) override {
    if (lock) ModuleLock::Lock();
    else ModuleLock::Unlock();
    return S_OK;
  }
};

}  // namespace qx6::platform
