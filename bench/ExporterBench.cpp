// WriteJob throughput of the exporter over the 45 default columns, details
// (delimited and fixed width) and summary, through IJobExporter; and the
// peak memory of long runs, which must not grow with the number of jobs.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "exporter/QX6FlatFile.h"
#include "host/HostColumns.h"
#include "platform/ComponentFile.h"
#include "runtime/DateTime.h"
#include "ui/modLanguage.h"

namespace qx6 {
namespace {

// The run's files go to memory (/dev/shm) where it exists, so that the
// figures are the engine's and not the disk's; the folder goes at exit.
std::string Folder() {
  static const std::string folder = [] {
    const std::filesystem::path base =
        std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path();
    std::string pattern = (base / "qx6bench.XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    static const std::string removed = pattern;
    std::atexit([] { std::filesystem::remove_all(removed); });
    setenv("HOME", pattern.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (pattern + "/.config").c_str(), 1);
    setenv("QX6_REGISTRY_DIR", (pattern + "/registry").c_str(), 1);
    platform::SetComponentFolderForTesting(QX6_PRODUCT_DIR "/exporters");
    modLanguage::LoadLanguage("qx6jeflt");
    return pattern;
  }();
  return folder;
}

// A thousand different jobs with values of every kind, cycled. As in the
// host, one column collection carries every job: its values are refilled
// from these rows before each WriteJob, and that refill is timed too.
using JobRow = std::vector<Variant>;
const std::vector<JobRow>& Jobs() {
  static const std::vector<JobRow> jobs = [] {
    std::vector<JobRow> made;
    const char* users[] = {"ann", "bob", "cid", "dora", "emil"};
    const char* departments[] = {"Sales", "Legal", "Engineering", "Finance"};
    for (int i = 0; i < 1000; ++i) {
      JobRow row;
      for (const host::HostColumn& c : host::HostColumnTable()) {
        switch (c.kind) {
          case host::ColumnKind::Integer: row.push_back(Variant::Long(1000 + i * 7 % 997)); break;
          case host::ColumnKind::Status: row.push_back(Variant::Long(i % 4)); break;
          case host::ColumnKind::Boolean: row.push_back(Variant::Boolean(i % 3 == 0)); break;
          case host::ColumnKind::Number: row.push_back(Variant::Double(i * 0.37 + 0.05)); break;
          case host::ColumnKind::Date:
            row.push_back(Variant::Date(DateTime::DateSerial(2024, 1 + i % 12, 1 + i % 28) + (i % 86400) / 86400.0));
            break;
          case host::ColumnKind::Text:
            row.push_back(Variant::String(c.id == 2   ? users[i % 5]
                                          : c.id == 4 ? departments[(i / 250) % 4]
                                                      : "Text value " + std::to_string(i % 50)));
            break;
        }
      }
      made.push_back(std::move(row));
    }
    return made;
  }();
  return jobs;
}

void WriteConfig(const std::string& name, const std::string& options) {
  const std::string folder = Folder() + "/Documents/Quorvex Inc/Quorvex/6.0/FlatFileExport/";
  std::filesystem::create_directories(folder);
  std::ofstream out(folder + name + ".cfg", std::ios::binary);
  out << "<Name>" << name << "</Name>\r\n<Version>4</Version>\r\n<OutputFile>" << Folder() << "/" << name
      << ".out</OutputFile>\r\n"
      << options;
}

double PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

bool SameScalar(const Variant& a, const Variant& b) {
  if (a.Type() != b.Type()) return false;
  switch (a.Type()) {
    case VarType::Null: return true;
    case VarType::Integer: return a.IntegerValue() == b.IntegerValue();
    case VarType::Long: return a.LongValue() == b.LongValue();
    case VarType::Boolean: return a.BooleanValue() == b.BooleanValue();
    case VarType::Double: return a.DoubleValue() == b.DoubleValue();
    case VarType::Date: return a.DateValue() == b.DateValue();
    default: return false;
  }
}

// Refills a column the way the host's job reader does: a text into the
// column's own buffer, any other value only when it differs from the last.
void Refill(IJobColumn& column, const Variant& value) {
  if (value.IsString()) {
    column.SetTextValue(value.StringValue());
  } else if (!SameScalar(column.Value(), value)) {
    column.SetValue(value);
  }
}

// The order in which `count` jobs arrive: job i is row i % 1000, as they
// come unsorted, or sorted by department and user, as the host delivers
// them to a summary grouped by those columns (stable, so that the other
// values still change from job to job within a group).
std::vector<uint32_t> Arrival(int64_t count, bool grouped) {
  std::vector<uint32_t> order(static_cast<size_t>(count));
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<uint32_t>(i % 1000);
  if (grouped) {
    const auto key = [](uint32_t row) {
      return std::string(Jobs()[row][3].StringValue()) + '\t' + std::string(Jobs()[row][1].StringValue());
    };
    std::vector<std::string> keys;
    for (uint32_t row = 0; row < 1000; ++row) keys.push_back(key(row));
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return keys[a] < keys[b]; });
  }
  return order;
}

// Runs `jobs` jobs of the configuration (the default columns unless the
// options name some) per iteration.
void Run(benchmark::State& state, const std::string& name, const std::string& options, bool grouped = false) {
  WriteConfig(name, options);
  auto exporter = MakeObject<QX6FlatFile>();
  auto hostColumns = host::MakeHostColumns();
  const auto& jobs = Jobs();
  auto job = host::MakeHostColumns();
  std::vector<IJobColumn*> columns;
  for (const host::HostColumn& c : host::HostColumnTable()) columns.push_back(&ColumnAt(*job, c.id));
  const int64_t count = state.range(0);
  const std::vector<uint32_t> arrival = Arrival(count, grouped);
  for (auto _ : state) {
    Variant list;
    exporter->Initialize(hostColumns.Get(), 2, nullptr, &list);
    int32_t id = 0;
    auto rows = list.ArrayValue();
    for (int32_t r = 0; r <= rows.UpperBound(1); ++r)
      if (rows.At(r, 1).StringValue() == name) id = r + 1;
    bool ok = false;
    exporter->StartExport(id, true, &ok);
    if (!ok) state.SkipWithError("the run did not start");
    for (int64_t i = 0; i < count; ++i) {
      const JobRow& row = jobs[arrival[static_cast<size_t>(i)]];
      for (size_t c = 0; c < row.size(); ++c) Refill(*columns[c], row[c]);
      exporter->WriteJob(job.Get(), &ok);
    }
    exporter->DoneExport(&ok);
  }
  state.SetItemsProcessed(state.iterations() * count);
  state.counters["jobs_per_second"] = benchmark::Counter(static_cast<double>(state.iterations() * count),
                                                         benchmark::Counter::kIsRate);
  state.counters["peak_rss_MB"] = PeakMegabytes();
}

// The default configuration's columns, written out: all 45, each with
// `extra` and with the options `actions` gives for its host column.
std::string DefaultColumns(const std::string& extra, std::string (*actions)(int) = nullptr) {
  std::string columns;
  const int order[] = {1, 2, 3, 4, 5, 6, 7, 8, 40, 41, 42, 43, 44, 45, 9, 10, 11, 12, 13, 14, 15, 16, 17,
                       18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39};
  for (int index : order)
    columns += "<Column>\r\n<Index>" + std::to_string(index) + "</Index>\r\n" + extra +
               (actions ? actions(index) : std::string()) + "</Column>\r\n";
  return columns;
}

// The summary groups by department and user and sums the total pages and
// the cost; the other 41 columns show their last value. Jobs arrive sorted
// by the group columns, as the host delivers them, in groups of 5,000 at
// 100,000 jobs; unsorted, nearly every job closes a group and writes a row.
std::string SummaryActions(int index) {
  if (index == 4 || index == 2) return "<Action>1</Action>\r\n";
  if (index == 25 || index == 34) return "<Action>3</Action>\r\n";
  return {};
}

void BM_DetailsDelimited(benchmark::State& state) { Run(state, "delimited", DefaultColumns("")); }
void BM_DetailsFixedWidth(benchmark::State& state) {
  Run(state, "fixed", "<OutputType>1</OutputType>\r\n" + DefaultColumns("<Width>12</Width>\r\n"));
}
void BM_Summary(benchmark::State& state) {
  Run(state, "summary", "<ExportType>1</ExportType>\r\n" + DefaultColumns("", SummaryActions), true);
}
void BM_SummaryRowPerJob(benchmark::State& state) {
  Run(state, "summary", "<ExportType>1</ExportType>\r\n" + DefaultColumns("", SummaryActions));
}

BENCHMARK(BM_DetailsDelimited)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DetailsFixedWidth)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Summary)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SummaryRowPerJob)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);
// Peak memory after a million jobs against a hundred thousand.
BENCHMARK(BM_DetailsDelimited)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace qx6
