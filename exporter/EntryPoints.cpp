// The four entry points of the component library, with C linkage, as the
// component model loads them: class factory, unload state, registration.
#include "dialog/SettingsDialogEntry.h"
#include "exporter/QX6FlatFile.h"
#include "exporter/Startup.h"
#include "platform/ComponentFile.h"
#include "platform/ComponentModel.h"

namespace qx6 {
namespace {

// Creates exporters; the thread's start-up runs before its first object.
class QX6FlatFileFactory final : public Object<platform::IClassFactory> {
 public:
  HRESULT CreateInstance(IUnknown* outer, const Guid& iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    try {
      EnsureStartedOnThisThread();
      auto exporter = MakeObject<QX6FlatFile>();
      return exporter->QueryInterface(iid, object);
    } catch (...) {
      return E_FAIL;
    }
  }
  HRESULT LockServer(bool lock) override {
    if (lock) platform::ModuleLock::Lock();
    else platform::ModuleLock::Unlock();
    return S_OK;
  }
};

platform::ClassRegistration Registration() {
  platform::ClassRegistration r;
  r.clsid = CLSID_QX6FlatFile;
  r.progId = QX6FlatFileProgId;
  r.displayName = QX6FlatFileProgId;
  r.typeLibrary = LIBID_QX6JobExportFlatFile;
  r.typeLibraryVersion = "1.0";
  r.libraryPath = platform::SharedObjectPath(reinterpret_cast<const void*>(&Registration));
  return r;
}

platform::TypeLibraryRegistration TypeLibrary() {
  return {LIBID_QX6JobExportFlatFile, "1.0", "Quorvex 6 Flat File Job Exporter",
          platform::SharedObjectPath(reinterpret_cast<const void*>(&Registration))};
}

// The component's file is where its product folders are found from.
[[maybe_unused]] const bool recorded = (platform::SetComponentFile(reinterpret_cast<const void*>(&Registration)), true);

// The settings dialog is offered for as long as this library is loaded.
struct SettingsDialogOffer {
  SettingsDialogOffer() { dialog::InstallSettingsDialogEntry(); }
  ~SettingsDialogOffer() { platform::InstallSettingsDialog(nullptr); }
} settingsDialogOffer;

}  // namespace
}  // namespace qx6

using qx6::Guid;
using qx6::HRESULT;

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(const Guid* clsid, const Guid* iid,
                                                                            void** object) {
  if (!clsid || !iid || !object) return qx6::E_POINTER;
  *object = nullptr;
  if (!(*clsid == qx6::CLSID_QX6FlatFile)) return qx6::CLASS_E_CLASSNOTAVAILABLE;
  auto factory = qx6::MakeObject<qx6::QX6FlatFileFactory>();
  return factory->QueryInterface(*iid, object);
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow() {
  return qx6::platform::ModuleLock::CanUnload() ? qx6::S_OK : qx6::S_FALSE;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer() {
  HRESULT hr = qx6::platform::RegisterTypeLibrary(qx6::TypeLibrary());
  if (qx6::Failed(hr)) return hr;
  return qx6::platform::RegisterClass(qx6::Registration());
}

extern "C" __attribute__((visibility("default"))) HRESULT DllUnregisterServer() {
  HRESULT hr = qx6::platform::UnregisterClass(qx6::Registration());
  HRESULT lib = qx6::platform::UnregisterTypeLibrary(qx6::TypeLibrary());
  return qx6::Failed(hr) ? hr : lib;
}
