// The flat-file exporter as the host sees it: the IJobExporter operations,
// the state one exporter object keeps between calls, and the run from
// StartExport through WriteJob to DoneExport, details or summary.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "config/ExportConfig.h"
#include "exporter/RowAssembler.h"
#include "hostapi/IJobExporter.h"

namespace qx6 {

extern const Guid CLSID_QX6FlatFile;     // {279CFA71-F4A9-4630-BA2D-C1B21E8DDB03}
extern const Guid IID__QX6FlatFile;      // {6DE626DA-57D7-4C27-8274-DA40D5FC1885}
extern const Guid LIBID_QX6JobExportFlatFile;  // {2CA0BC44-EC3A-4747-874F-467F206C8DD5}
extern const Guid LIBID_QX6JobExportInterface;  // {3477B33B-7476-49F3-9ABF-BD7F03E5E06F}
inline constexpr const char* QX6FlatFileProgId = "QX6JobExportFlatFile.QX6FlatFile";
inline constexpr const char* QX6FlatFileName = "Flat File Export";
inline constexpr const char* QX6FlatFileErrorSource = "QX6JobExportFlatFile";

// The class's own default interface.
class I_QX6FlatFile : public IUnknown {
 public:
  virtual HRESULT CheckMigrateSettings() = 0;
};

template <>
struct InterfaceId<I_QX6FlatFile> {
  static const Guid& value() { return IID__QX6FlatFile; }
};

class QX6FlatFile final : public Object<IJobExporter, I_QX6FlatFile> {
 public:
  QX6FlatFile();
  ~QX6FlatFile() override;

  // IJobExporter
  HRESULT get_ClassName(std::string* result) override;
  HRESULT get_Name(std::string* result) override;
  HRESULT Initialize(IJobColumns* pcolExportCols, int16_t pintNumDecimals, std::string* pstrComponentCode,
                     Variant* result) override;
  HRESULT EditConfiguration(IUnknown* pinsFont, int32_t* plngConfigId, bool* result) override;
  HRESULT QuickStartExport(IJobColumns* pcolExportCols, bool pblnSilent, bool* result) override;
  HRESULT StartExport(int32_t plngConfig, bool pblnSilent, bool* result) override;
  HRESULT DoneExport(bool* result) override;
  HRESULT WriteJob(IJobColumns* pinsJobColumns, bool* result) override;
  HRESULT LoadSchedulingInfo(const std::string& pstrSection, std::string* pstrErrorMessage, bool* result) override;
  HRESULT GetSchedulingEntries(int32_t plngConfigId, IUnknown** pinsEntries, std::string* pstrError,
                               bool* result) override;
  HRESULT GetSortCols(IJobColumns** result) override;
  HRESULT GetLastError(std::string* result) override;
  HRESULT get_CanEmailResults(bool* result) override;
  HRESULT get_EmailableResultsPath(std::string* result) override;

  // _QX6FlatFile
  HRESULT CheckMigrateSettings() override;

 private:
  // The operations themselves; runtime errors leave them as exceptions and
  // become the call's failure at the interface.
  Variant DoInitialize(IJobColumns* columns, int16_t numDecimals, std::string* componentCode);
  bool DoEditConfiguration(int32_t* configId);
  bool DoQuickStartExport(IJobColumns* columns, bool silent);
  bool DoStartExport(int32_t configId, bool silent);
  // Runs a step of WriteJob or DoneExport; a file error leaving it names
  // the output file in its detail.
  template <class F>
  void WithOutputFileDetail(F&& operation);
  void DoDoneExport();
  void DoWriteJob(IJobColumns* job);
  void DoLoadSchedulingInfo(const std::string& section);
  bool DoGetSchedulingEntries(int32_t configId, IUnknown** entries, std::string* error);
  ComPtr<IJobColumns> DoGetSortCols();

  bool StartRun(bool silent);
  bool OpenOutputFile(bool silent);
  void SummaryStep(const IJobColumns& job);
  void ResetGroup(const IJobColumns& job);
  RowAssembler& Rows();

  std::shared_ptr<ExportConfigs> configs_;
  ExportConfigPtr current_;
  int16_t fileNumber_ = 0;
  int32_t jobCount_ = 0;
  std::string configFolderOverride_;
  int32_t configId_ = 0;
  std::string configName_;
  bool summaryPending_ = false;
  ComPtr<IJobColumns> lastJob_;
  std::string lastError_;
  int16_t numDecimals_ = 0;
  std::string outputPath_;
  std::unique_ptr<RowAssembler> rows_;
};

}  // namespace qx6
