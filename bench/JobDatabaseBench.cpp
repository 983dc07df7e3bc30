// The job database's two heavy paths: generating sample jobs, and reading all
// jobs in date order into the host's column collection as an export does.
#include <benchmark/benchmark.h>

#include <memory>

#include "host/JobDatabase.h"
#include "host/SampleJobs.h"
#include "tests/support/TestEnvironment.h"

namespace qx6::host {
namespace {

constexpr int64_t kGenerated = 100000;
constexpr int64_t kRead = 1000000;

void BM_GenerateSampleJobs(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto folder = std::make_unique<test::TempFolder>();
    auto db = std::make_unique<JobDatabase>(*folder / "jobs.db", OpenMode::Create);
    state.ResumeTiming();
    GenerateSampleJobs(*db, kGenerated, 1);
    state.PauseTiming();
    db.reset();
    folder.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kGenerated);
}
BENCHMARK(BM_GenerateSampleJobs)->Unit(benchmark::kMillisecond)->UseRealTime();

// A million jobs, generated once for all read benchmarks.
const std::string& MillionJobs() {
  static test::TempFolder folder;
  static const std::string path = [] {
    std::string p = folder / "million.db";
    JobDatabase db(p, OpenMode::Create);
    GenerateSampleJobs(db, kRead, 1);
    return p;
  }();
  return path;
}

void ReadAll(benchmark::State& state, const std::vector<SortKey>& order, int threads = 0) {
  JobDatabase db(MillionJobs(), OpenMode::ReadOnly);
  if (threads > 0) db.SetReadThreads(threads);
  auto job = MakeHostColumns();
  IJobColumn& pages = ColumnAt(*job, 23);
  for (auto _ : state) {
    int64_t total = 0;
    const int64_t count = db.ForEachJob(order, {}, *job, [&] {
      total += pages.Value().LongValue();
      return true;
    });
    benchmark::DoNotOptimize(total);
    if (count != kRead) state.SkipWithError("not all jobs were read");
  }
  state.SetItemsProcessed(state.iterations() * kRead);
}

void BM_ReadJobsInDateOrder(benchmark::State& state) { ReadAll(state, {{12, true}}); }
// The same on the calling thread alone.
void BM_ReadJobsInDateOrderOneThread(benchmark::State& state) { ReadAll(state, {{12, true}}, 1); }
BENCHMARK(BM_ReadJobsInDateOrderOneThread)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
// Real time: the reading is spread over several threads.
BENCHMARK(BM_ReadJobsInDateOrder)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);

// Without an index to follow: SQLite sorts the rows first.
void BM_ReadJobsByUserThenDate(benchmark::State& state) { ReadAll(state, {{2, true}, {12, false}}); }
BENCHMARK(BM_ReadJobsByUserThenDate)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace
}  // namespace qx6::host
