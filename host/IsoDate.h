// The job database's date text: ISO 8601 `YYYY-MM-DD HH:MM:SS` in local time,
// converted to and from the runtime's date serials. Parsing is hand-written
// because every job read from the database passes through it.
#pragma once

#include <string>
#include <string_view>

namespace qx6::host::IsoDate {

// `YYYY-MM-DD HH:MM:SS` plus the forms a person types: `T` for the space,
// `HH:MM` without seconds, and the date alone (midnight). False for anything
// else, including a day the month does not have or a year outside 100..9999.
bool Parse(std::string_view text, double& serial) noexcept;

// Nineteen characters, rounded to the nearest second; `out` needs 20 bytes
// (the text is terminated). False for a serial outside the date range.
bool Format(double serial, char* out) noexcept;
std::string Format(double serial);  // error 5 outside the date range

}  // namespace qx6::host::IsoDate
