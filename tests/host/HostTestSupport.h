// Helpers shared by the host tests: reading a job database back as text.
#pragma once

#include <string>
#include <vector>

#include "host/JobDatabase.h"

namespace qx6::host::test {

// One value as "type:text", so that a Null, an empty text and a zero differ.
inline std::string Describe(const Variant& v) {
  switch (v.Type()) {
    case VarType::Null: return "null";
    case VarType::String: return "s:" + std::string(v.StringValue());
    case VarType::Long: return "l:" + std::to_string(v.LongValue());
    case VarType::Integer: return "i:" + std::to_string(v.IntegerValue());
    case VarType::Boolean: return v.BooleanValue() ? "b:1" : "b:0";
    case VarType::Double: return "d:" + std::to_string(v.DoubleValue());
    case VarType::Date: return "t:" + std::to_string(v.DateValue());
    default: return "?";
  }
}

// Every job in job id order, one line each, values separated by "|".
inline std::vector<std::string> DumpJobs(const JobDatabase& database, const std::vector<SortKey>& order = {},
                                         const DateRange& range = {}) {
  auto job = MakeHostColumns();
  std::vector<std::string> rows;
  database.ForEachJob(order, range, *job, [&] {
    std::string row;
    for (int32_t i = 1; i <= job->Count(); ++i) row += Describe(ColumnAt(*job, i).Value()) + "|";
    rows.push_back(row);
    return true;
  });
  return rows;
}

}  // namespace qx6::host::test
