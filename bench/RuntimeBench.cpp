// The runtime's share of an export: values to text, the format notation and
// the buffered output file, measured per value and per row.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

#include "runtime/Conversion.h"
#include "runtime/DateTime.h"
#include "runtime/Format.h"
#include "runtime/TextFile.h"
#include "runtime/Variant.h"

namespace {

using namespace qx6;

const double kStart = DateTime::DateSerial(2024, 1, 5) + DateTime::TimeSerial(14, 30, 5);

void FormatDateWithPattern(benchmark::State& state) {
  Format::DatePattern pattern("MMM dd, yyyy hh:nn:ss");
  std::string out;
  double serial = kStart;
  for (auto _ : state) {
    out.clear();
    pattern.AppendTo(serial, out);
    serial += 0.0137;  // a new date and time each round
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(FormatDateWithPattern);

void FormatDateFreeFunction(benchmark::State& state) {
  double serial = kStart;
  for (auto _ : state) {
    std::string text = Format::FormatDate(serial, "MMM dd, yyyy hh:nn:ss");
    serial += 0.0137;
    benchmark::DoNotOptimize(text.data());
  }
}
BENCHMARK(FormatDateFreeFunction);

void FormatNumberWithPattern(benchmark::State& state) {
  Format::NumberPattern pattern("0.00");
  std::string out;
  double value = 0.125;
  for (auto _ : state) {
    out.clear();
    pattern.AppendTo(value, out);
    value += 1.37;
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(FormatNumberWithPattern);

void AppendTextDouble(benchmark::State& state) {
  std::string out;
  double value = 0.5;
  for (auto _ : state) {
    out.clear();
    Convert::AppendText(Variant::Double(value), out);
    value += 0.25;  // amounts with few decimals, as jobs have them
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(AppendTextDouble);

void AppendTextDoubleManyDigits(benchmark::State& state) {
  std::string out;
  double value = 1.0 / 3;
  for (auto _ : state) {
    out.clear();
    Convert::AppendText(Variant::Double(value), out);
    value += 1.0 / 7;
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(AppendTextDoubleManyDigits);

void AppendTextInteger(benchmark::State& state) {
  std::string out;
  int32_t value = 1;
  for (auto _ : state) {
    out.clear();
    Convert::AppendText(Variant::Long(value), out);
    value = value * 7 % 1000003;
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(AppendTextInteger);

void AppendTextShortString(benchmark::State& state) {
  std::string out;
  Variant value = Variant::String("LaserJet 4250 (2nd floor)");
  for (auto _ : state) {
    out.clear();
    Convert::AppendText(value, out);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(AppendTextShortString);

void AppendTextDate(benchmark::State& state) {
  std::string out;
  double serial = kStart;
  for (auto _ : state) {
    out.clear();
    Convert::AppendText(Variant::Date(serial), out);
    serial += 0.0137;
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(AppendTextDate);

void IsNumericText(benchmark::State& state) {
  Variant value = Variant::String("1,234.50");
  for (auto _ : state) benchmark::DoNotOptimize(Convert::IsNumeric(value));
}
BENCHMARK(IsNumericText);

void ParseDateText(benchmark::State& state) {
  double serial;
  for (auto _ : state) benchmark::DoNotOptimize(Convert::ParseDate("Jan 05, 2024", serial));
}
BENCHMARK(ParseDateText);

// A million rows of about 300 bytes, mostly ASCII with a few Western
// European letters, through the ANSI code page into a temporary file.
void WriteMillionRows(benchmark::State& state) {
  std::string row;
  while (row.size() < 290)
    row += "\"Jürgen Müller\",\"Büro 3 – Drucker\",\"Jan 05, 2024 14:30:05\",12,2.50,\"Quarterly report.pdf\",";
  row.resize(296);
  row += "\r\n";
  char path[] = "/tmp/qx6-bench-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) {
    state.SkipWithError("no temporary file");
    return;
  }
  close(fd);
  constexpr int kRows = 1000000;
  size_t bytes = 0;
  for (auto _ : state) {
    int16_t n = TextFile::FreeFile();
    TextFile::OpenForOutput(n, path);
    for (int i = 0; i < kRows; ++i) TextFile::Write(n, row);
    TextFile::Close(n);
    bytes += row.size() * kRows;
  }
  unlink(path);
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kRows);
}
BENCHMARK(WriteMillionRows)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
