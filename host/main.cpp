// qx6export: the print-job accounting host. It keeps the job database and
// drives export components through the registry and IJobExporter.
#include <cstdlib>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "host/CsvImport.h"
#include "host/ExportRun.h"
#include "host/ExporterSession.h"
#include "host/HostColumns.h"
#include "host/IsoDate.h"
#include "host/JobDatabase.h"
#include "host/ProductPaths.h"
#include "host/SampleJobs.h"
#include "host/Scheduler.h"
#include "host/TerminalUserInteraction.h"
#include "platform/ComponentModel.h"
#include "platform/UserInteraction.h"
#include "runtime/Conversion.h"
#include "runtime/RuntimeError.h"

namespace qx6::host {
namespace {

constexpr const char* FlatFileProgId = "QX6JobExportFlatFile.QX6FlatFile";
constexpr int64_t BundledSampleJobs = 5000;
constexpr uint64_t BundledSampleSeed = 6;

struct Options {
  std::string database;
  int decimals = 2;
  std::string exporter = FlatFileProgId;
};

// The job database named on the command line, else the bundled sample,
// created with sample jobs on first use.
JobDatabase OpenDatabase(const Options& options, OpenMode mode) {
  if (!options.database.empty()) return JobDatabase(options.database, mode);
  const std::string path = DefaultDatabasePath();
  if (!std::filesystem::exists(path)) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    JobDatabase created(path, OpenMode::Create);
    GenerateSampleJobs(created, BundledSampleJobs, BundledSampleSeed);
    std::fprintf(stderr, "qx6export: created the sample job database %s with %lld jobs\n", path.c_str(),
                 static_cast<long long>(BundledSampleJobs));
  }
  return JobDatabase(path, mode == OpenMode::Create ? OpenMode::ReadWrite : mode);
}

std::optional<double> ParseDate(const std::string& text, bool endOfDay) {
  if (text.empty()) return std::nullopt;
  double serial = 0;
  if (!IsoDate::Parse(text, serial)) throw CLI::ValidationError("date", "'" + text + "' is no date (YYYY-MM-DD [HH:MM[:SS]])");
  // A date alone as the end of a range means the whole of that day.
  if (endOfDay && text.size() == 10) serial += 86399.0 / 86400.0;
  return serial;
}

int Fail(const std::string& text) {
  std::fprintf(stderr, "qx6export: %s\n", text.c_str());
  return 1;
}

int Columns() {
  for (const HostColumn& column : HostColumnTable()) std::printf("%d\t%s\n", column.id, std::string(column.title).c_str());
  return 0;
}

int List(const Options& options) {
  ExporterSession session(options.exporter);
  auto columns = MakeHostColumns();
  for (const auto& entry : session.Initialize(columns.Get(), static_cast<int16_t>(options.decimals)))
    std::printf("%d\t%s\n", entry.id, entry.name.c_str());
  return 0;
}

// The settings dialog is a window: it needs a display, or a Qt platform
// named for it (the offscreen one, say).
bool DisplayNamed() {
  for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return true;
  }
  return false;
}

int Edit(const Options& options, const std::string& config) {
  if (!DisplayNamed()) {
    std::fprintf(stderr, "qx6export: the settings dialog needs a display; DISPLAY and WAYLAND_DISPLAY are not set\n");
    return 2;
  }
  ExporterSession session(options.exporter);
  auto columns = MakeHostColumns();
  auto list = session.Initialize(columns.Get(), static_cast<int16_t>(options.decimals));
  int32_t id = 1;
  if (!config.empty()) {
    id = ExporterSession::FindConfiguration(list, config);
    if (id == 0) {
      std::fprintf(stderr, "qx6export: no configuration '%s'; these are:\n", config.c_str());
      for (const auto& entry : list) std::fprintf(stderr, "  %d\t%s\n", entry.id, entry.name.c_str());
      return 1;
    }
  }
  session.EditConfiguration(id);
  // The list as the files now hold it, for the name of the identifier handed back.
  list = session.Initialize(columns.Get(), static_cast<int16_t>(options.decimals));
  for (const auto& entry : list)
    if (entry.id == id) std::printf("%d\t%s\n", entry.id, entry.name.c_str());
  return 0;
}

int Report(const RunResult& result) {
  if (!result.started) return Fail(result.lastError.empty() ? "the export did not start" : result.lastError);
  std::printf("%s\n", result.path.c_str());
  return 0;
}

int Run(const Options& options, const std::string& config, bool silent, const std::string& from,
        const std::string& to) {
  RunOptions run;
  run.range.from = ParseDate(from, false);
  run.range.to = ParseDate(to, true);
  run.progress = isatty(STDERR_FILENO);
  JobDatabase database = OpenDatabase(options, OpenMode::ReadOnly);
  ExporterSession session(options.exporter);
  auto columns = MakeHostColumns();
  auto list = session.Initialize(columns.Get(), static_cast<int16_t>(options.decimals));
  const int32_t id = ExporterSession::FindConfiguration(list, config);
  if (id == 0) {
    std::fprintf(stderr, "qx6export: no configuration '%s'; these are:\n", config.c_str());
    for (const auto& entry : list) std::fprintf(stderr, "  %d\t%s\n", entry.id, entry.name.c_str());
    return 1;
  }
  return Report(RunExport(session, database, [&] { return session.StartExport(id, silent); }, run));
}

int Quick(const Options& options, bool silent) {
  RunOptions run;
  run.progress = isatty(STDERR_FILENO);
  JobDatabase database = OpenDatabase(options, OpenMode::ReadOnly);
  ExporterSession session(options.exporter);
  auto columns = MakeHostColumns();
  session.Initialize(columns.Get(), static_cast<int16_t>(options.decimals));
  return Report(RunExport(session, database, [&] { return session.QuickStartExport(columns.Get(), silent); }, run));
}

int Import(const Options& options, const std::string& file) {
  JobDatabase database = options.database.empty() ? OpenDatabase(options, OpenMode::Create)
                                                  : JobDatabase(options.database, OpenMode::Create);
  const int64_t count = CsvImport::ImportFile(database, file);
  std::printf("imported %lld jobs into %s\n", static_cast<long long>(count), database.Path().c_str());
  return 0;
}

int Sample(const Options& options, int64_t count, uint64_t seed) {
  JobDatabase database = options.database.empty() ? OpenDatabase(options, OpenMode::Create)
                                                  : JobDatabase(options.database, OpenMode::Create);
  GenerateSampleJobs(database, count, seed);
  std::printf("added %lld sample jobs to %s\n", static_cast<long long>(count), database.Path().c_str());
  return 0;
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

int ScheduleAdd(const Options& options, const std::string& task, const std::string& config) {
  if (task.find('\\') != std::string::npos || task.empty()) return Fail("a task name cannot be empty or hold \"\\\"");
  ExporterSession session(options.exporter);
  auto columns = MakeHostColumns();
  auto list = session.Initialize(columns.Get(), static_cast<int16_t>(options.decimals));
  const int32_t id = ExporterSession::FindConfiguration(list, config);
  if (id == 0) return Fail("no configuration '" + config + "'");
  std::vector<ExporterSession::Entry> entries;
  std::string error;
  if (!session.GetSchedulingEntries(id, entries, error)) return Fail(error.empty() ? "this configuration cannot be scheduled" : error);
  ScheduledTask saved;
  saved.name = task;
  for (const auto& entry : list) {
    if (entry.id == id) saved.configName = entry.name;
  }
  saved.exporter = options.exporter;
  saved.database = options.database.empty() ? "" : std::filesystem::absolute(options.database).string();
  saved.decimals = options.decimals;
  RemoveTask(task);
  SaveTask(saved);
  for (const auto& entry : entries)
    SaveTaskValue(task, entry.sectionKey, entry.valueName, Convert::ToText(entry.value), entry.valueType);
  std::printf("scheduled '%s' as task %s\n", saved.configName.c_str(), task.c_str());
  std::string line = "0 2 * * * ";
  if (const char* registry = std::getenv("QX6_REGISTRY_DIR")) line += "QX6_REGISTRY_DIR=" + ShellQuote(registry) + " ";
  line += ShellQuote(ProductFolder() + "/bin/qx6export") + " schedule run " + ShellQuote(task);
  std::printf("to run it every night at 02:00, add this line to your crontab (crontab -e):\n%s\n", line.c_str());
  return 0;
}

int ScheduleList() {
  for (const ScheduledTask& task : ListTasks())
    std::printf("%s\t%s\t%s\n", task.name.c_str(), task.configName.c_str(),
                task.database.empty() ? DefaultDatabasePath().c_str() : task.database.c_str());
  return 0;
}

int ScheduleRemove(const std::string& task) {
  if (!RemoveTask(task)) return Fail("no scheduled task '" + task + "'");
  return 0;
}

int ScheduleRun(const std::string& name) {
  ScheduledTask task;
  if (!LoadTask(name, task)) return Fail("no scheduled task '" + name + "'");
  Options options;
  options.database = task.database;
  options.decimals = task.decimals;
  options.exporter = task.exporter.empty() ? FlatFileProgId : task.exporter;
  JobDatabase database = OpenDatabase(options, OpenMode::ReadOnly);
  ExporterSession session(options.exporter);
  session.LoadSchedulingInfo(TaskKey(name));
  auto columns = MakeHostColumns();
  auto list = session.Initialize(columns.Get(), static_cast<int16_t>(options.decimals));
  const int32_t id = ExporterSession::FindConfiguration(list, task.configName);
  if (id == 0) return Fail("the configuration '" + task.configName + "' of task " + name + " no longer exists");
  return Report(RunExport(session, database, [&] { return session.StartExport(id, true); }, RunOptions{}));
}

int Register(bool unregister) {
  int status = 0;
  for (const std::string& library : ComponentLibraries()) {
    std::string error;
    if (Failed(platform::RegisterLibrary(library, unregister, &error))) {
      std::fprintf(stderr, "qx6export: %s\n", error.c_str());
      status = 1;
    } else {
      std::printf("%s %s\n", unregister ? "unregistered" : "registered", library.c_str());
    }
  }
  return status;
}

}  // namespace
}  // namespace qx6::host

int main(int argc, char** argv) {
  using namespace qx6::host;
  CLI::App app{"qx6export: print-job accounting host of Quorvex 6. Keeps a job database and exports it\n"
               "through the registered export components."};
  app.require_subcommand(1);
  Options options;
  app.add_option("--db", options.database, "job database file (default: the bundled sample, created on first use)");
  app.add_option("--decimals", options.decimals, "the host's number of decimal places")->check(CLI::Range(0, 15));
  app.add_option("--exporter", options.exporter, "ProgID of the export component")->capture_default_str();

  app.add_subcommand("columns", "list the host columns, number and title");
  app.add_subcommand("list", "list the export configurations: identifier, a tab, name");
  auto* run = app.add_subcommand("run", "export the jobs with a configuration");
  std::string config, from, to;
  bool silent = false;
  run->add_option("CONFIG", config, "configuration identifier or name (any letter case)")->required();
  run->add_flag("--silent", silent, "never ask anything (unattended run)");
  run->add_option("--from", from, "only jobs from this date (YYYY-MM-DD [HH:MM[:SS]])");
  run->add_option("--to", to, "only jobs up to this date (a date alone includes that whole day)");
  auto* edit = app.add_subcommand("edit", "open the settings dialog; prints the identifier and name it hands back");
  edit->add_option("CONFIG", config, "configuration shown first: identifier or name (default: the first)");
  auto* quick = app.add_subcommand("quick", "export every host column with default settings");
  quick->add_flag("--silent", silent, "never ask anything (fails: a quick export needs a file name)");

  auto* jobs = app.add_subcommand("jobs", "fill the job database");
  jobs->require_subcommand(1);
  auto* import = jobs->add_subcommand("import", "import jobs from a CSV file (header row of column numbers or titles)");
  std::string csv;
  import->add_option("FILE", csv, "CSV file")->required()->check(CLI::ExistingFile);
  auto* sample = jobs->add_subcommand("sample", "add deterministic sample jobs");
  int64_t count = 0;
  uint64_t seed = 1;
  sample->add_option("COUNT", count, "number of jobs")->required()->check(CLI::Range(int64_t{1}, int64_t{100000000}));
  sample->add_option("--seed", seed, "seed of the sample (same seed, same jobs)")->capture_default_str();

  auto* schedule = app.add_subcommand("schedule", "unattended exports for cron or a systemd timer");
  schedule->require_subcommand(1);
  std::string task;
  auto* add = schedule->add_subcommand("add", "schedule a configuration as a task");
  add->add_option("TASK", task, "task name")->required();
  add->add_option("CONFIG", config, "configuration identifier or name")->required();
  auto* scheduleList = schedule->add_subcommand("list", "list the scheduled tasks");
  auto* remove = schedule->add_subcommand("remove", "remove a task");
  remove->add_option("TASK", task, "task name")->required();
  auto* scheduleRun = schedule->add_subcommand("run", "run a task now, silently (what cron calls)");
  scheduleRun->add_option("TASK", task, "task name")->required();

  auto* reg = app.add_subcommand("register", "register the product's components in the registry");
  auto* unreg = app.add_subcommand("unregister", "remove the product's components from the registry");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : 2;
  }

  qx6::platform::InstallUserInteraction(std::make_shared<TerminalUserInteraction>());
  try {
    if (app.got_subcommand("columns")) return Columns();
    if (app.got_subcommand("list")) return List(options);
    if (*run) return Run(options, config, silent, from, to);
    if (*quick) return Quick(options, silent);
    if (*edit) return Edit(options, config);
    if (*import) return Import(options, csv);
    if (*sample) return Sample(options, count, seed);
    if (*add) return ScheduleAdd(options, task, config);
    if (*scheduleList) return ScheduleList();
    if (*remove) return ScheduleRemove(task);
    if (*scheduleRun) return ScheduleRun(task);
    if (*reg) return Register(false);
    if (*unreg) return Register(true);
  } catch (const ExportError& e) {
    return Fail(e.what());
  } catch (const qx6::RuntimeError& e) {
    return Fail("error " + std::to_string(e.Number()) + ": " + e.Description());
  } catch (const CLI::ValidationError& e) {
    std::fprintf(stderr, "qx6export: %s\n", e.what());
    return 2;
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  return 2;
}
