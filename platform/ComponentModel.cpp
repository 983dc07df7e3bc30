#include "platform/ComponentModel.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>

#include "platform/Registry.h"
#include "platform/RegistryTransaction.h"

namespace qx6::platform {

const Guid IID_IClassFactory = Guid::FromString("{00000001-0000-0000-C000-000000000046}");

namespace {

thread_local std::optional<ErrorInfo> threadErrorInfo;
std::atomic<long> moduleLocks{0};

// Reads a string value of HKEY_CLASSES_ROOT\<path> ("" is the default value).
std::optional<std::string> ReadClassesString(const std::string& path, const std::string& valueName) {
  HKEY key = 0;
  if (RegOpenKeyEx(HKEY_CLASSES_ROOT, path, 0, KEY_QUERY_VALUE, &key) != 0) return std::nullopt;
  DWORD type = 0, size = 0;
  std::optional<std::string> result;
  if (RegQueryValueEx(key, valueName, &type, nullptr, &size) == 0 && (type == REG_SZ || type == REG_EXPAND_SZ)) {
    std::string data(size, '\0');
    if (RegQueryValueEx(key, valueName, &type, reinterpret_cast<BYTE*>(data.data()), &size) == 0) {
      data.resize(size);
      while (!data.empty() && data.back() == '\0') data.pop_back();
      result = data;
    }
  }
  RegCloseKey(key);
  return result;
}

LONG WriteClassesString(const std::string& path, const std::string& valueName, const std::string& value) {
  HKEY key = 0;
  LONG status = RegCreateKeyEx(HKEY_CLASSES_ROOT, path, 0, "", REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key);
  if (status != 0) return status;
  status = RegSetValueEx(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
  return status;
}

HRESULT FromWin32(LONG status) {
  return status == 0 ? S_OK : static_cast<HRESULT>(0x80070000u | (static_cast<uint32_t>(status) & 0xFFFFu));
}

// Libraries stay loaded for the life of the process, once each.
std::mutex librariesMutex;
std::map<std::string, void*>& Libraries() {
  static std::map<std::string, void*> libraries;
  return libraries;
}

void* LoadLibraryOnce(const std::string& path) {
  std::lock_guard lock(librariesMutex);
  auto& libraries = Libraries();
  if (auto it = libraries.find(path); it != libraries.end()) return it->second;
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle) libraries.emplace(path, handle);
  return handle;
}

}  // namespace

void SetErrorInfo(ErrorInfo info) { threadErrorInfo = std::move(info); }

std::optional<ErrorInfo> TakeErrorInfo() {
  auto info = std::move(threadErrorInfo);
  threadErrorInfo.reset();
  return info;
}

void ClearErrorInfo() { threadErrorInfo.reset(); }

void ModuleLock::Lock() noexcept { moduleLocks.fetch_add(1); }
void ModuleLock::Unlock() noexcept { moduleLocks.fetch_sub(1); }
bool ModuleLock::CanUnload() noexcept { return moduleLocks.load() <= 0; }

HRESULT CLSIDFromProgID(const std::string& progId, Guid* clsid) {
  if (!clsid) return E_POINTER;
  auto text = ReadClassesString(progId + "\\CLSID", "");
  if (!text) return REGDB_E_CLASSNOTREG;
  auto parsed = Guid::Parse(*text);
  if (!parsed) return REGDB_E_CLASSNOTREG;
  *clsid = *parsed;
  return S_OK;
}

HRESULT CoCreateInstance(const Guid& clsid, const Guid& iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  auto path = ReadClassesString("CLSID\\" + clsid.ToString() + "\\InprocServer32", "");
  if (!path || path->empty()) return REGDB_E_CLASSNOTREG;
  void* library = LoadLibraryOnce(*path);
  if (!library) return CO_E_ERRORINDLL;
  auto getClassObject = reinterpret_cast<DllGetClassObjectFunction>(dlsym(library, "DllGetClassObject"));
  if (!getClassObject) return CO_E_ERRORINDLL;
  ComPtr<IClassFactory> factory;
  HRESULT hr = getClassObject(&clsid, &IID_IClassFactory, reinterpret_cast<void**>(factory.Put()));
  if (Failed(hr)) return hr;
  if (!factory) return CLASS_E_CLASSNOTAVAILABLE;
  return factory->CreateInstance(nullptr, iid, object);
}

HRESULT RegisterLibrary(const std::string& path, bool unregister, std::string* error) {
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  void* library = LoadLibraryOnce(path);
  if (!library) {
    const char* why = dlerror();
    if (error) *error = "cannot load " + path + (why ? std::string(": ") + why : std::string());
    return CO_E_ERRORINDLL;
  }
  auto function = reinterpret_cast<DllRegisterServerFunction>(dlsym(library, entry));
  if (!function) {
    if (error) *error = path + " has no entry point " + entry;
    return CO_E_ERRORINDLL;
  }
  // All the keys and values of a registration, or none: a failure midway
  // leaves the registry as it was.
  RegistryTransaction transaction;
  HRESULT hr = function();
  if (Failed(hr)) {
    if (error) {
      char status[16];
      std::snprintf(status, sizeof status, "0x%08X", static_cast<unsigned>(hr));
      *error = std::string(entry) + " of " + path + " failed with status " + status;
      if (const std::string detail = RegistryFailureDetail(); !detail.empty()) *error += " (" + detail + ")";
    }
    return hr;
  }
  if (LONG status = transaction.Commit()) {
    if (error) {
      *error = "the registry changes of " + std::string(entry) + " of " + path + " could not be written: " +
               FormatSystemMessage(static_cast<DWORD>(status)).value_or("error " + std::to_string(status));
      if (const std::string detail = RegistryFailureDetail(); !detail.empty()) *error += " (" + detail + ")";
    }
    return FromWin32(status);
  }
  return hr;
}

PerUserRegistration::PerUserRegistration() {
  HKEY classes = 0;
  status_ = RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Classes", 0, "", REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                           nullptr, &classes);
  if (status_ != ERROR_SUCCESS) return;
  status_ = RegOverridePredefKey(HKEY_CLASSES_ROOT, classes);
  RegCloseKey(classes);
}

PerUserRegistration::~PerUserRegistration() {
  if (status_ == ERROR_SUCCESS) RegOverridePredefKey(HKEY_CLASSES_ROOT, 0);
}

HRESULT RegisterClass(const ClassRegistration& r) {
  const std::string classKey = "CLSID\\" + r.clsid.ToString();
  LONG status = WriteClassesString(classKey, "", r.displayName);
  if (status == 0) status = WriteClassesString(classKey + "\\InprocServer32", "", r.libraryPath);
  if (status == 0) status = WriteClassesString(classKey + "\\InprocServer32", "ThreadingModel", r.threadingModel);
  if (status == 0) status = WriteClassesString(classKey + "\\TypeLib", "", r.typeLibrary.ToString());
  if (status == 0 && !r.typeLibraryVersion.empty())
    status = WriteClassesString(classKey + "\\Version", "", r.typeLibraryVersion);
  if (status == 0 && !r.progId.empty()) {
    status = WriteClassesString(classKey + "\\ProgID", "", r.progId);
    if (status == 0) status = WriteClassesString(r.progId, "", r.displayName);
    if (status == 0) status = WriteClassesString(r.progId + "\\CLSID", "", r.clsid.ToString());
  }
  return FromWin32(status);
}

HRESULT UnregisterClass(const ClassRegistration& r) {
  LONG status = RegDeleteTree(HKEY_CLASSES_ROOT, "CLSID\\" + r.clsid.ToString());
  if (status == 2) status = 0;  // already gone
  if (!r.progId.empty()) {
    LONG progStatus = RegDeleteTree(HKEY_CLASSES_ROOT, r.progId);
    if (status == 0 && progStatus != 2) status = progStatus;
  }
  return FromWin32(status);
}

HRESULT RegisterTypeLibrary(const TypeLibraryRegistration& r) {
  const std::string key = "TypeLib\\" + r.id.ToString() + "\\" + r.version;
  LONG status = WriteClassesString(key, "", r.helpString);
  if (status == 0) status = WriteClassesString(key + "\\0\\linux", "", r.libraryPath);
  return FromWin32(status);
}

HRESULT UnregisterTypeLibrary(const TypeLibraryRegistration& r) {
  LONG status = RegDeleteTree(HKEY_CLASSES_ROOT, "TypeLib\\" + r.id.ToString() + "\\" + r.version);
  if (status == 2) status = 0;
  // Drop the library's key when no other version is left.
  HKEY key = 0;
  if (RegOpenKeyEx(HKEY_CLASSES_ROOT, "TypeLib\\" + r.id.ToString(), 0, KEY_READ, &key) == 0) {
    DWORD subKeys = 0;
    RegQueryInfoKey(key, &subKeys, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    if (subKeys == 0) RegDeleteTree(HKEY_CLASSES_ROOT, "TypeLib\\" + r.id.ToString());
  }
  return FromWin32(status);
}

}  // namespace qx6::platform
