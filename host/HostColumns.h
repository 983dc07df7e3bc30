// The host's 45 job columns: number, title and kind, in the order of every
// collection the host hands to an exporter (item n is column n).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "hostapi/JobColumn.h"
#include "hostapi/JobColumns.h"

namespace qx6::host {

enum class ColumnKind { Integer, Text, Status, Date, Boolean, Number };

struct HostColumn {
  int32_t id;
  std::string_view title;
  ColumnKind kind;
  std::string_view field;  // the job database's column name
};

inline constexpr int32_t HostColumnCount = 45;
const std::array<HostColumn, HostColumnCount>& HostColumnTable();

// The 45 field names, quoted, in host order: "job_id", "user", ...
std::string JobFieldList();

// "CREATE TABLE jobs (...)": one column per host column, named by its field
// and typed by `type` in the database's own words, the job id the key.
std::string CreateJobsTableSql(const char* (*type)(ColumnKind));

// A new collection of the 45 columns with their titles and no values.
ComPtr<IJobColumns> MakeHostColumns();

// Calls `read(columns)` with the 45 `targets` as the host's own JobColumn
// objects when every one is (its calls then go straight to the class and
// inline), or as they are otherwise; returns what `read` returns.
template <class Read>
decltype(auto) WithOwnColumns(IJobColumn* const* targets, Read&& read) {
  std::array<JobColumn*, HostColumnCount> own{};
  for (int32_t i = 0; i < HostColumnCount; ++i)
    if (!(own[i] = dynamic_cast<JobColumn*>(targets[i]))) return read(targets);
  return read(own.data());
}

// The column whose title or number (as text) is `name`, letter case ignored;
// null when none.
const HostColumn* FindHostColumn(std::string_view name);

}  // namespace qx6::host
