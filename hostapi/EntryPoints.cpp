// The host type library's entry points: it registers itself and the
// JobColumn class, which exporters create by class id for their sort
// columns.
#include "hostapi/JobColumns.h"
#include "platform/ComponentFile.h"
#include "platform/ComponentModel.h"

namespace qx6 {
namespace {

const Guid LIBID_HostTypeLibrary = Guid::FromString("{3477B33B-7476-49F3-9ABF-BD7F03E5E06F}");

std::string LibraryPath() { return platform::SharedObjectPath(reinterpret_cast<const void*>(&LibraryPath)); }

platform::ClassRegistration JobColumnClass() {
  platform::ClassRegistration r;
  r.clsid = CLSID_JobColumn;
  r.progId = "QX6JobExportInterface.JobColumn";
  r.displayName = "JobColumn";
  r.typeLibrary = LIBID_HostTypeLibrary;
  r.typeLibraryVersion = "5.1";
  r.libraryPath = LibraryPath();
  return r;
}

platform::TypeLibraryRegistration TypeLibrary() {
  return {LIBID_HostTypeLibrary, "5.1", "QX6JobExportInterface", LibraryPath()};
}

}  // namespace
}  // namespace qx6

extern "C" __attribute__((visibility("default"))) qx6::HRESULT DllGetClassObject(const qx6::Guid* clsid,
                                                                                 const qx6::Guid* iid, void** object) {
  if (!clsid || !iid || !object) return qx6::E_POINTER;
  *object = nullptr;
  if (!(*clsid == qx6::CLSID_JobColumn)) return qx6::CLASS_E_CLASSNOTAVAILABLE;
  auto factory = qx6::MakeObject<qx6::platform::ClassFactory<qx6::JobColumn>>();
  return factory->QueryInterface(*iid, object);
}

extern "C" __attribute__((visibility("default"))) qx6::HRESULT DllCanUnloadNow() {
  return qx6::platform::ModuleLock::CanUnload() ? qx6::S_OK : qx6::S_FALSE;
}

extern "C" __attribute__((visibility("default"))) qx6::HRESULT DllRegisterServer() {
  qx6::HRESULT hr = qx6::platform::RegisterTypeLibrary(qx6::TypeLibrary());
  if (qx6::Failed(hr)) return hr;
  return qx6::platform::RegisterClass(qx6::JobColumnClass());
}

extern "C" __attribute__((visibility("default"))) qx6::HRESULT DllUnregisterServer() {
  qx6::HRESULT hr = qx6::platform::UnregisterClass(qx6::JobColumnClass());
  qx6::HRESULT lib = qx6::platform::UnregisterTypeLibrary(qx6::TypeLibrary());
  return qx6::Failed(hr) ? hr : lib;
}
