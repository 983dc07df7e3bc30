// The interface every export component offers the host, in the order of its
// interface slots. Each call returns a status; a failure leaves its error
// number, description and source in the calling thread's error information.
// Optional by-reference parameters are pointers that may be null.
#pragma once

#include <cstdint>
#include <string>

#include "hostapi/JobColumns.h"
#include "runtime/Object.h"
#include "runtime/Variant.h"

namespace qx6 {

extern const Guid IID_IJobExporter;  // {4A1A8F21-7ED6-4A4D-AF35-CEFC6D344B45}

class IJobExporter : public IUnknown {
 public:
  // 1, 2
  virtual HRESULT get_ClassName(std::string* result) = 0;
  virtual HRESULT get_Name(std::string* result) = 0;
  // 3: the configuration list (rows of identifier and name, or Null).
  virtual HRESULT Initialize(IJobColumns* pcolExportCols, int16_t pintNumDecimals, std::string* pstrComponentCode,
                             Variant* result) = 0;
  // 4: `plngConfigId` in and out, optional.
  virtual HRESULT EditConfiguration(IUnknown* pinsFont, int32_t* plngConfigId, bool* result) = 0;
  // 5, 6, 7, 8
  virtual HRESULT QuickStartExport(IJobColumns* pcolExportCols, bool pblnSilent, bool* result) = 0;
  virtual HRESULT StartExport(int32_t plngConfig, bool pblnSilent, bool* result) = 0;
  virtual HRESULT DoneExport(bool* result) = 0;
  virtual HRESULT WriteJob(IJobColumns* pinsJobColumns, bool* result) = 0;
  // 9: `pstrErrorMessage` optional.
  virtual HRESULT LoadSchedulingInfo(const std::string& pstrSection, std::string* pstrErrorMessage, bool* result) = 0;
  // 10: `pinsEntries` receives a new reference to a collection of entries
  // (IObjectCollection of IElevateEntry); `pstrError` optional.
  virtual HRESULT GetSchedulingEntries(int32_t plngConfigId, IUnknown** pinsEntries, std::string* pstrError,
                                       bool* result) = 0;
  // 11: a new reference to a collection of sort columns, or null.
  virtual HRESULT GetSortCols(IJobColumns** result) = 0;
  // 12, 13, 14
  virtual HRESULT GetLastError(std::string* result) = 0;
  virtual HRESULT get_CanEmailResults(bool* result) = 0;
  virtual HRESULT get_EmailableResultsPath(std::string* result) = 0;
};

template <>
struct InterfaceId<IJobExporter> {
  static const Guid& value() { return IID_IJobExporter; }
};

}  // namespace qx6
