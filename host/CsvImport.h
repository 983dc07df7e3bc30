// Jobs from a CSV file into the job database: a header row naming the columns
// (by number, title or database field name, any letter case), then one job a
// row. RFC 4180 quoting, comma separated, UTF-8 with an optional BOM.
//
// An empty field is Null; a quoted empty field ("") is an empty text in a
// text column. Dates are ISO (`YYYY-MM-DD HH:MM:SS`, `T` for the space, the
// seconds or the whole time may be left out); Booleans 0/1, true/false or
// yes/no; a status 0 to 3 or Printed, Cancelled, Denied, Held. Columns the
// header leaves out are Null, and a job without a job id gets the next free
// one. The whole file goes in one transaction: a bad row is reported with its
// line number (error InvalidFileFormat) and nothing of the file is kept, as
// is a record longer than the limit below.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <string_view>

#include "host/JobDatabase.h"

namespace qx6::host::CsvImport {

// The longest record read, in bytes: far beyond any real job, small enough
// that a file with a quote never closed cannot exhaust the memory.
inline constexpr size_t MaxRecordBytes = size_t{64} << 20;

// Returns the number of jobs imported. Only a regular file is read; a FIFO,
// a device or a folder is refused before anything is read from it.
int64_t ImportFile(JobDatabase& database, const std::string& path, size_t maxRecordBytes = MaxRecordBytes);
// `sourceName` stands for the input in error messages.
int64_t Import(JobDatabase& database, std::istream& input, std::string_view sourceName,
               size_t maxRecordBytes = MaxRecordBytes);

}  // namespace qx6::host::CsvImport
