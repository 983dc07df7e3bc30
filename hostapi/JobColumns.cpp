#include "hostapi/JobColumns.h"

#include "hostapi/ElevateEntry.h"
#include "hostapi/IJobExporter.h"

#include "runtime/RuntimeError.h"

namespace qx6 {

const Guid IID_JobColumn = Guid::FromString("{D5C30C0C-B954-4AB8-A5EA-DFD164ACE411}");
const Guid CLSID_JobColumn = Guid::FromString("{C7BA2BC7-2E91-4474-ADB7-CDE86B41A9EF}");
const Guid IID_JobColumns = Guid::FromString("{A4C46780-499F-101B-BB78-00AA00383CBB}");
const Guid IID_IJobExporter = Guid::FromString("{4A1A8F21-7ED6-4A4D-AF35-CEFC6D344B45}");
// The host library's own interfaces for scheduling requests.
const Guid IID_IElevateEntry = Guid::FromString("{8E1F2B7A-3C4D-4E5F-9A6B-7C8D9E0F1A2B}");
const Guid IID_IObjectCollection = Guid::FromString("{8E1F2B7B-3C4D-4E5F-9A6B-7C8D9E0F1A2B}");

void JobColumns::Remove(int32_t index) {
  if (index < 1 || index > Count()) Raise(RuntimeErrorNumber::SubscriptOutOfRange);
  items_.erase(items_.begin() + (index - 1));
}

namespace {
thread_local ComPtr<IJobColumns> sharedColumns;
}

ComPtr<IJobColumns> SharedExportColumns() { return sharedColumns; }
void SetSharedExportColumns(ComPtr<IJobColumns> columns) { sharedColumns = std::move(columns); }

}  // namespace qx6
