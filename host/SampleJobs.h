// A deterministic sample of realistic print jobs for demonstrations, tests and
// benchmarks: a fixed cast of users, printers and documents over the year
// 2024, the same jobs for the same seed and count on every machine.
#pragma once

#include <cstdint>

#include "host/JobDatabase.h"

namespace qx6::host {

// Appends `count` jobs in one transaction, in date order with rising job ids,
// and returns the number written. Totals add up: total pages = pages x
// copies, colour + mono pages = total pages, cost = total pages x page rate
// rounded to cents, price = cost plus the department's margin.
int64_t GenerateSampleJobs(JobDatabase& database, int64_t count, uint64_t seed);

}  // namespace qx6::host
