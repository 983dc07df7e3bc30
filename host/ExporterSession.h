// The host's side of one export component: found by its ProgID in
// HKEY_CLASSES_ROOT, created through its class factory, and driven only
// through IJobExporter. A failed call becomes an ExportError carrying the
// error the component left in the thread's error information.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "hostapi/IJobExporter.h"

namespace qx6::host {

class ExportError : public std::runtime_error {
 public:
  // `detail` is what the component said beyond the number and description
  // (the configuration file and line, the output column); may be empty.
  ExportError(std::string operation, HRESULT status, int32_t number, std::string description, std::string source,
              std::string detail = {});
  HRESULT Status() const { return status_; }
  int32_t Number() const { return number_; }
  const std::string& Description() const { return description_; }
  // Adds what the host knows of where it happened (the job, say).
  void AddContext(const std::string& context);
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  HRESULT status_;
  int32_t number_;
  std::string description_;
  std::string operation_;
  std::vector<std::string> context_;
  std::string message_;
  void Compose();
};

struct ConfigurationEntry {
  int32_t id;
  std::string name;
};

struct SortColumn {
  int32_t columnId;
  bool ascending;
};

class ExporterSession {
 public:
  // Throws std::runtime_error, in words, when the class is not registered
  // or cannot be made.
  explicit ExporterSession(const std::string& progId);

  IJobExporter& Exporter() { return *exporter_; }

  std::string ClassName();
  std::string Name();
  std::vector<ConfigurationEntry> Initialize(IJobColumns* columns, int16_t decimals);
  bool EditConfiguration(int32_t& configId);
  bool StartExport(int32_t configId, bool silent);
  bool QuickStartExport(IJobColumns* columns, bool silent);
  std::vector<SortColumn> GetSortCols();
  void WriteJob(IJobColumns* job);
  void DoneExport();
  std::string GetLastError();
  std::string EmailableResultsPath();
  void LoadSchedulingInfo(const std::string& section);
  // The registry values the component asks to be stored with a task; false
  // with `error` when the configuration cannot be scheduled.
  struct Entry {
    std::string sectionKey, valueName;
    Variant value;
    int32_t valueType;
  };
  bool GetSchedulingEntries(int32_t configId, std::vector<Entry>& entries, std::string& error);

  // The configuration named by `nameOrId` (an identifier or a name in any
  // letter case) in the list; 0 when none.
  static int32_t FindConfiguration(const std::vector<ConfigurationEntry>& list, const std::string& nameOrId);

 private:
  void Check(const char* operation, HRESULT status);
  ComPtr<IJobExporter> exporter_;
};

}  // namespace qx6::host
