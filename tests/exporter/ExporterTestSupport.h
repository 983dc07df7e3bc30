// Jobs and configurations for engine tests: a 45-column job with chosen
// values, a configuration over chosen host columns, and the output of rows
// written through the text-file layer.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "config/ExportConfig.h"
#include "host/HostColumns.h"
#include "hostapi/JobColumns.h"
#include "runtime/TextFile.h"
#include "tests/support/TestEnvironment.h"

namespace qx6::test {

inline ComPtr<IJobColumns> Job(const std::map<int, Variant>& values) {
  auto job = host::MakeHostColumns();
  for (const auto& [id, value] : values) ColumnAt(*job, id).SetValue(value);
  return job;
}

inline ExportColumnPtr Col(int16_t index, const std::string& name = "", int16_t width = -1, bool right = false,
                           const std::string& pad = "") {
  auto column = std::make_shared<ExportColumn>();
  column->SetIndex(index);
  column->SetName(name.empty() && index > 0 ? std::string(host::HostColumnTable()[static_cast<size_t>(index - 1)].title)
                                            : name);
  column->SetWidth(width);
  column->SetRightJustify(right);
  column->SetPadChar(pad);
  return column;
}

// Runs `write` with an output file open and returns the file's bytes.
inline std::string Output(const std::function<void(int16_t)>& write) {
  TempFolder folder;
  int16_t file = TextFile::FreeFile();
  TextFile::OpenForOutput(file, folder / "out.txt");
  write(file);
  TextFile::Close(file);
  return ReadFile(folder / "out.txt");
}

}  // namespace qx6::test
