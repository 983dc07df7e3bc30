// qx6export: the print-job accounting host. It keeps the job database and
// drives export components through the registry and IJobExporter.
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "host/CsvImport.h"
#include "host/CupsImport.h"
#include "host/ExportRun.h"
#include "host/ExporterSession.h"
#include "host/HostColumns.h"
#include "host/IsoDate.h"
#include "host/JobDatabase.h"
#include "host/PostgresJobs.h"
#include "host/OutputFileAnswer.h"
#include "host/ProductPaths.h"
#include "host/RegistryMessages.h"
#include "host/SampleJobs.h"
#include "host/Scheduler.h"
#include "host/TaskTimer.h"
#include "host/TerminalUserInteraction.h"
#include "platform/ComponentModel.h"
#include "platform/FileAttributes.h"
#include "platform/RegistryStore.h"
#include "platform/ShellFolders.h"
#include "platform/RegistryTransaction.h"
#include "platform/UserInteraction.h"
#include "qx6/Version.h"
#include "runtime/CodePage.h"
#include "runtime/Conversion.h"
#include "runtime/RuntimeError.h"

namespace qx6::host {
namespace {

constexpr const char* FlatFileProgId = "QX6JobExportFlatFile.QX6FlatFile";

struct Options {
  std::string database;
  int decimals = 2;
  std::string exporter = FlatFileProgId;
};

// The job database named on the command line, else the user's default one.
std::string DatabasePath(const Options& options) {
  return options.database.empty() ? DefaultDatabasePath() : options.database;
}

// A job database that must exist already: the host never makes one up, and
// never creates a file where a command only reads.
JobDatabase OpenExistingDatabase(const std::string& path, OpenMode mode) {
  if (path.empty())
    throw std::runtime_error("there is no job database: neither --db nor HOME names a place for one");
  if (PostgresJobs::IsLocation(path)) return JobDatabase(path, mode);
  std::error_code ec;
  if (std::filesystem::symlink_status(path, ec).type() == std::filesystem::file_type::not_found)
    throw std::runtime_error("there is no job database " + path +
                             "; make one with 'qx6export jobs import FILE.csv', 'qx6export jobs import-cups' or 'qx6export jobs sample COUNT'"
                             " (or name another with --db)");
  return JobDatabase(path, mode);
}

// The job database that new jobs go into, created (with its folder, for the
// default one) when missing.
JobDatabase OpenDatabaseForNewJobs(const Options& options) {
  const std::string path = DatabasePath(options);
  if (path.empty()) throw std::runtime_error("there is no place for the job database: set HOME or use --db");
  if (options.database.empty()) std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  return JobDatabase(path, OpenMode::Create);
}

// Runs `add` on the job database that new jobs go into; one that this
// command made goes again when the command fails with no job in it, so that
// a failed first import leaves no empty database behind.
int AddingJobs(const Options& options, const std::function<int(JobDatabase&)>& add) {
  JobDatabase database = OpenDatabaseForNewJobs(options);
  try {
    return add(database);
  } catch (...) {
    try {
      database.RemoveIfNewAndEmpty();
    } catch (...) {
    }
    throw;
  }
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

// The written file's path on standard output (what scripts read), and how
// many jobs went where on standard error.
int Report(const RunResult& result, bool toStandardOutput = false) {
  if (!result.started) return Fail(result.lastError.empty() ? "the export did not start" : result.lastError);
  if (!toStandardOutput) std::printf("%s\n", result.path.c_str());
  std::fflush(stdout);
  std::fprintf(stderr, "qx6export: %lld job%s exported to %s\n", static_cast<long long>(result.jobs),
               result.jobs == 1 ? "" : "s", toStandardOutput ? "standard output" : result.path.c_str());
  return 0;
}

struct ExportRequest {
  bool quick = false;    // every host column with default settings
  std::string config;    // identifier or name, for a run of a configuration
  bool silent = false;
  std::string from, to;  // the date range
  std::string output;    // answers the exporter's file question; "-": standard output
};

int Export(const Options& options, const ExportRequest& request) {
  RunOptions run;
  run.range.from = ParseDate(request.from, false);
  run.range.to = ParseDate(request.to, true);
  run.progress = isatty(STDERR_FILENO);
  run.stopOnSignals = true;
  JobDatabase database = OpenExistingDatabase(DatabasePath(options), OpenMode::ReadOnly);
  // Made before the session, so that it outlives the exporter's file.
  std::optional<StandardOutputCopy> standardOutput;
  if (request.output == "-") standardOutput.emplace();
  ExporterSession session(options.exporter);
  auto columns = MakeHostColumns();
  auto list = session.Initialize(columns.Get(), static_cast<int16_t>(options.decimals));
  int32_t id = 0;
  if (!request.quick) {
    id = ExporterSession::FindConfiguration(list, request.config);
    if (id == 0) {
      std::fprintf(stderr, "qx6export: no configuration '%s'; these are:\n", request.config.c_str());
      for (const auto& entry : list) std::fprintf(stderr, "  %d\t%s\n", entry.id, entry.name.c_str());
      return 1;
    }
  }
  bool silent = request.silent;
  const bool toStandardOutput = request.output == "-";
  if (!request.output.empty()) {
    // A configuration that names its file can be scheduled; one that names
    // none cannot. That is the one way to ask without opening anything.
    std::vector<ExporterSession::Entry> entries;
    std::string error;
    if (!request.quick && session.GetSchedulingEntries(id, entries, error)) {
      std::fprintf(stderr,
                   "qx6export: the configuration '%s' names its own output file; --output is for a "
                   "configuration that names none (or use quick)\n",
                   request.config.c_str());
      return 2;
    }
    // The file question is answered; anything else is asked as usual, or
    // not at all in a silent run.
    auto previous = platform::InstallUserInteraction(std::make_shared<platform::NoUserInteraction>());
    std::shared_ptr<platform::UserInteraction> inner = previous;
    if (silent) inner = std::make_shared<platform::NoUserInteraction>();
    platform::InstallUserInteraction(
        std::make_shared<OutputFileAnswer>(toStandardOutput ? standardOutput->Path() : request.output, inner));
    silent = false;
  }
  RunResult result;
  try {
    result = RunExport(
        session, database,
        [&] { return request.quick ? session.QuickStartExport(columns.Get(), silent) : session.StartExport(id, silent); },
        run);
  } catch (RunFailed& failed) {
    if (toStandardOutput) failed.ShowOutputAs("standard output");
    throw;
  }
  if (!toStandardOutput) return Report(result);
  // The exporter has closed its file: what it wrote is on its way.
  const std::string path = standardOutput->Path(), outputError = standardOutput->Finish();
  if (!result.started && result.lastError.find(path) != std::string::npos &&
      result.lastError.find(path + "\"") == std::string::npos) {
    std::fprintf(stderr,
                 "qx6export: the configuration '%s' adds the date and time to its file name, which standard output "
                 "cannot have; use --output FILE\n",
                 request.config.c_str());
    return 2;
  }
  if (!outputError.empty()) return Fail("cannot write the export to standard output: " + outputError);
  return Report(result, true);
}

int Import(const Options& options, const std::string& file) {
  return AddingJobs(options, [&](JobDatabase& database) {
    const int64_t count = CsvImport::ImportFile(database, file);
    std::printf("imported %lld job%s into %s\n", static_cast<long long>(count), count == 1 ? "" : "s",
                database.Path().c_str());
    return 0;
  });
}

// Jobs from CUPS: every source read first, so that a missing log or an
// unreachable scheduler leaves the database untouched.
int ImportCups(const Options& options, const CupsImport::Request& request) {
  // "PATH:LINE: why", as compilers write it, so that editors find the line.
  const auto report = [](const std::string& message) { std::fprintf(stderr, "%s\n", message.c_str()); };
  const CupsImport::Gathered gathered = CupsImport::Gather(request, report);
  return AddingJobs(options, [&](JobDatabase& database) {
    const CupsImport::Counts counts = CupsImport::ImportJobs(database, gathered.jobs, report);
    std::printf("%s into %s\n", CupsImport::SummaryText(gathered, counts).c_str(), database.Path().c_str());
    return 0;
  });
}

int Sample(const Options& options, int64_t count, uint64_t seed) {
  return AddingJobs(options, [&](JobDatabase& database) {
    GenerateSampleJobs(database, count, seed);
    std::printf("added %lld sample job%s to %s\n", static_cast<long long>(count), count == 1 ? "" : "s",
                database.Path().c_str());
    return 0;
  });
}

// Copies the shipped sample configurations into the user's configuration
// folder, their output files going to `outputFolder`; a configuration file
// the user has already is kept as it is.
int Samples(const std::string& outputFolder) {
  const std::string samples = SamplesFolder();
  if (samples.empty()) return Fail("the sample configurations are not there: the product is incomplete");
  const std::string configurations = ConfigurationFolder();
  if (configurations.empty()) return Fail("there is no documents folder for the configurations: set HOME");
  std::string output = outputFolder;
  if (output.empty()) output = platform::SHGetSpecialFolderPath(platform::CSIDL_PERSONAL) + "/Quorvex exports";
  output = std::filesystem::absolute(output).lexically_normal().string();
  while (output.size() > 1 && output.back() == '/') output.pop_back();
  std::filesystem::create_directories(output);
  std::filesystem::create_directories(configurations);
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(samples))
    if (entry.is_regular_file() && entry.path().extension() == ".cfg") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  // Configuration files are in the ANSI code page, like the path put in.
  const std::string outputText = CodePage::ToAnsi(output);
  for (const auto& file : files) {
    const std::string target = configurations + file.filename().string();
    // "Weekly.cfg" would be the same file as "weekly.cfg" to the exporter.
    const std::string existing = platform::FindEntryName(configurations, file.filename().string());
    if (!existing.empty()) {
      std::printf("kept %s (you have one by that name)\n", (configurations + existing).c_str());
      continue;
    }
    std::ifstream in(file, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (size_t at; (at = text.find("@OUTPUT@")) != std::string::npos;) text.replace(at, 8, outputText);
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!in || !out) return Fail("cannot copy " + file.string() + " to " + target);
    std::printf("added %s\n", target.c_str());
  }
  std::printf("their exports go to %s\n", output.c_str());
  return 0;
}

bool ValidTaskName(const std::string& task) {
  if (task.empty() || task.size() > 255) return false;
  for (unsigned char c : task) {
    if (c < 0x20 || c == 0x7F || c == '\\') return false;
  }
  return true;
}

// A private registry folder gets user units; the machine's, system units.
bool PrivateRegistry() {
  const char* folder = std::getenv("QX6_REGISTRY_DIR");
  return folder && *folder;
}

// Run through sudo, a task is still the invoking user's: their
// configurations and their default job database, not root's (sudo gives
// root's HOME).
void ActForSudoUser() {
  const char* user = std::getenv("SUDO_USER");
  if (geteuid() != 0 || !user || !*user) return;
  const passwd* account = getpwnam(user);
  if (!account || !account->pw_dir || !*account->pw_dir) return;
  setenv("HOME", account->pw_dir, 1);
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("XDG_DATA_HOME");
}

int ScheduleAdd(const Options& options, const std::string& task, const std::string& config, bool replace,
                const std::string& at) {
  ActForSudoUser();
  if (!ValidTaskName(task))
    return Fail("'" + task + "' cannot name a task: use 1 to 255 characters, no \"\\\" and no control characters");
  std::string problem;
  const auto calendar = TaskTimer::CheckCalendar(at.empty() ? TaskTimer::DefaultCalendar : at, problem);
  if (!calendar) return Fail(problem);
  // Tasks live in the machine registry, where the exporter's scheduling
  // entry must go: that is for root, unless the registry is a private folder.
  if (platform::CheckHiveWritable(platform::HiveId::LocalMachine) != 0)
    return Fail("scheduled tasks are kept in the machine registry (" +
                platform::HivePath(platform::HiveId::LocalMachine) +
                "), which needs root: run 'sudo qx6export schedule add ...', or set QX6_REGISTRY_DIR to a folder of "
                "your own");
  // The task keeps the database it runs on as an absolute path, so that it
  // runs on the same jobs whoever starts it and from wherever; a server's
  // location without a password, which the registry must never hold.
  const std::string location = DatabasePath(options);
  const bool onServer = PostgresJobs::IsLocation(location);
  if (onServer && PostgresJobs::HasPassword(location))
    return Fail("a scheduled task does not keep passwords: name the database without one (" +
                PostgresJobs::Redacted(location) +
                ") and put the password in ~/.pgpass of the user the task runs as, or use a service "
                "(service=NAME in ~/.pg_service.conf)");
  const std::string database =
      onServer ? location : std::filesystem::absolute(location).lexically_normal().string();
  OpenExistingDatabase(database, OpenMode::ReadOnly);
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
  saved.database = database;
  saved.decimals = options.decimals;
  saved.calendar = *calendar;
  std::vector<TaskValue> values;
  for (const auto& entry : entries)
    values.push_back({entry.sectionKey, entry.valueName, Convert::ToText(entry.value), entry.valueType});
  if (!SaveTask(saved, values, replace))
    return Fail("there is a task '" + task + "' already; give --replace to replace it, or choose another name");
  std::printf("scheduled '%s' as task %s on the job database %s, %s\n", saved.configName.c_str(), task.c_str(),
              database.c_str(), calendar->c_str());

  const std::string program = ProductFolder() + "/bin/qx6export";
  const char* registry = std::getenv("QX6_REGISTRY_DIR");
  const bool userUnits = PrivateRegistry();
  // Run by sudo, the task runs as the user who asked for it.
  const char* sudoUser = std::getenv("SUDO_USER");
  const std::string user = !userUnits && geteuid() == 0 && sudoUser && *sudoUser ? sudoUser : "";
  try {
    std::printf("%s\n", TaskTimer::Install(task, TaskTimer::MakeUnits(task, *calendar, program,
                                                                        userUnits ? registry : "", user),
                                           userUnits)
                            .c_str());
  } catch (const std::exception& e) {
    return Fail(std::string("the task is saved, but its timer is not: ") + e.what() +
                "; put that right and run schedule add again with --replace");
  }
  std::string command = (userUnits ? "QX6_REGISTRY_DIR=" + TaskTimer::ShellQuote(registry) + " " : std::string()) +
                        TaskTimer::ShellQuote(program) + " schedule run " + TaskTimer::ShellQuote(task);
  if (const auto line = TaskTimer::CrontabLine(*calendar, command))
    std::printf("or, to use cron instead, add this line to the crontab (crontab -e):\n%s\n", line->c_str());
  else
    std::printf("cron cannot express this calendar; use the timer\n");
  return 0;
}

int ScheduleList() {
  for (const ScheduledTask& task : ListTasks()) {
    const std::string next = TaskTimer::NextRun(task.name, task.calendar, PrivateRegistry());
    std::printf("%s\t%s\t%s\t%s\t%s\n", task.name.c_str(), task.configName.c_str(),
                task.database.empty() ? DefaultDatabasePath().c_str() : task.database.c_str(),
                task.calendar.empty() ? "-" : task.calendar.c_str(), next.empty() ? "-" : next.c_str());
  }
  return 0;
}

int ScheduleRemove(const std::string& task) {
  if (!RemoveTask(task)) return Fail("no scheduled task '" + task + "'");
  const std::string removed = TaskTimer::Remove(task, PrivateRegistry());
  if (!removed.empty()) std::printf("%s\n", removed.c_str());
  return 0;
}

int ScheduleRun(const std::string& name) {
  ScheduledTask task;
  if (!LoadTask(name, task)) return Fail("no scheduled task '" + name + "'");
  Options options;
  options.database = task.database;
  options.decimals = task.decimals;
  options.exporter = task.exporter.empty() ? FlatFileProgId : task.exporter;
  const std::string path = DatabasePath(options);
  JobDatabase database = [&] {
    try {
      return OpenExistingDatabase(path, OpenMode::ReadOnly);
    } catch (const std::exception& e) {
      throw std::runtime_error("task " + name + ": " + e.what());
    }
  }();
  ExporterSession session(options.exporter);
  session.LoadSchedulingInfo(TaskKey(name));
  auto columns = MakeHostColumns();
  auto list = session.Initialize(columns.Get(), static_cast<int16_t>(options.decimals));
  const int32_t id = ExporterSession::FindConfiguration(list, task.configName);
  if (id == 0) return Fail("the configuration '" + task.configName + "' of task " + name + " no longer exists");
  RunOptions run;
  run.stopOnSignals = true;
  return Report(RunExport(session, database, [&] { return session.StartExport(id, true); }, run));
}

// Every library of the product in one change of the registry: after a
// crash or a failure the registrations are all there or none of them.
int Register(bool unregister, bool perUser) {
  platform::RegistryTransaction transaction;
  std::optional<platform::PerUserRegistration> user;
  if (perUser) {
    user.emplace();
    if (const LONG status = user->Status())
      return Fail("cannot open your own classes key (HKEY_CURRENT_USER\\Software\\Classes): " + RegistryFailure(status));
  }
  std::vector<std::string> done;
  for (const std::string& library : ComponentLibraries()) {
    std::string error;
    if (const HRESULT hr = platform::RegisterLibrary(library, unregister, &error); Failed(hr)) {
      // The first failure says what to do; the next ones would repeat it.
      std::fprintf(stderr, "qx6export: %s\n", RegistrationFailure(library, hr, error, unregister, perUser).c_str());
      return 1;
    }
    done.push_back(library);
  }
  if (const LONG status = transaction.Commit())
    return Fail(std::string(unregister ? "cannot unregister: " : "cannot register: ") + RegistryFailure(status));
  for (const std::string& library : done)
    std::printf("%s %s%s\n", unregister ? "unregistered" : "registered", library.c_str(), perUser ? " (for this user)" : "");
  return 0;
}

// The first word that names no command where one is expected ("frobnicate"
// in "qx6export frobnicate"); empty when the command words are all known.
std::string UnknownCommand(CLI::App& app, int argc, char** argv) {
  CLI::App* current = &app;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word.rfind("-", 0) == 0) {
      // An option's value is no command: skip it unless given with "=".
      const CLI::Option* option = current->get_option_no_throw(word);
      if (!option) option = app.get_option_no_throw(word);
      if (option && option->get_items_expected_min() > 0 && word.find('=') == std::string::npos) ++i;
      continue;
    }
    if (current->get_subcommands([](CLI::App*) { return true; }).empty()) return {};
    CLI::App* next = nullptr;
    try {
      next = current->get_subcommand(word);
    } catch (const CLI::OptionNotFound&) {
      return word;
    }
    current = next;
  }
  return {};
}

}  // namespace
}  // namespace qx6::host

int main(int argc, char** argv) {
  using namespace qx6::host;
  CLI::App app{"qx6export: print-job accounting host of Quorvex 6. Keeps a job database and exports it\n"
               "through the registered export components."};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("qx6export ") + qx6::ProductVersion);
  // The global options stand before or after the command.
  app.fallthrough();
  Options options;
  app.add_option("--db", options.database,
                 "job database: an SQLite file (default: $XDG_DATA_HOME/quorvex/qx6jobs.db, made by 'jobs import' or "
                 "'jobs sample') or a PostgreSQL server (postgresql://HOST/DB, service=NAME, 'host=... dbname=...')");
  app.add_option("--decimals", options.decimals, "the host's number of decimal places")->check(CLI::Range(0, 15));
  app.add_option("--exporter", options.exporter, "ProgID of the export component")->capture_default_str();

  app.add_subcommand("columns", "list the host columns, number and title");
  app.add_subcommand("list", "list the export configurations: identifier, a tab, name");
  auto* run = app.add_subcommand("run", "export the jobs with a configuration");
  std::string config;
  ExportRequest request;
  run->add_option("CONFIG", request.config, "configuration identifier or name (any letter case)")->required();
  auto exportOptions = [&request](CLI::App* command) {
    command->add_flag("--silent", request.silent, "never ask anything (unattended run)");
    command->add_option("--from", request.from, "only jobs from this date (YYYY-MM-DD [HH:MM[:SS]])");
    command->add_option("--to", request.to, "only jobs up to this date (a date alone includes that whole day)");
    command->add_option("--output", request.output,
                        "the output file when the configuration names none; - for standard output");
  };
  exportOptions(run);
  auto* edit = app.add_subcommand("edit", "open the settings dialog; prints the identifier and name it hands back");
  edit->add_option("CONFIG", config, "configuration shown first: identifier or name (default: the first)");
  auto* quick = app.add_subcommand("quick", "export every host column with default settings");
  exportOptions(quick);

  auto* samples = app.add_subcommand("samples", "copy the sample configurations into your configuration folder");
  std::string samplesOutput;
  samples->add_option("--output-folder", samplesOutput,
                      "where their exports go (default: \"Quorvex exports\" in your documents folder)");
  auto* jobs = app.add_subcommand("jobs", "fill the job database");
  jobs->require_subcommand(1);
  auto* import = jobs->add_subcommand("import", "import jobs from a CSV file (header row of column numbers or titles)");
  std::string csv;
  import->add_option("FILE", csv, "CSV file")->required()->check(CLI::ExistingFile);
  auto* importCups = jobs->add_subcommand(
      "import-cups", "import finished jobs from CUPS (its page log, or its scheduler over IPP), each job once");
  CupsImport::Request cups;
  importCups->add_option("--page-log", cups.pageLogs,
                         "page log to read with its rotated files (default: /var/log/cups/page_log unless --ipp)");
  importCups->add_option("--page-log-format", cups.pageLogFormat,
                         "the PageLogFormat the log was written with (default: the one in --cupsd-conf)");
  importCups->add_option("--cupsd-conf", cups.cupsdConf, "cupsd.conf to read PageLogFormat from")->capture_default_str();
  importCups->add_flag("--ipp", cups.ipp, "ask the scheduler for its completed jobs over IPP");
  importCups->add_option("--server", cups.server, "the scheduler: HOST[:PORT] or its socket path (implies --ipp)");
  importCups->add_option("--print-server", cups.printServer,
                         "name of the print server in the jobs and their keys (default: the host's name)");
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
  bool replace = false;
  add->add_flag("--replace", replace, "replace a task of that name");
  std::string at;
  add->add_option("--at", at, "when it runs: a systemd calendar expression (default: daily at 02:00)");
  auto* scheduleList = schedule->add_subcommand("list", "list the scheduled tasks");
  auto* remove = schedule->add_subcommand("remove", "remove a task");
  remove->add_option("TASK", task, "task name")->required();
  auto* scheduleRun = schedule->add_subcommand("run", "run a task now, silently (what cron calls)");
  scheduleRun->add_option("TASK", task, "task name")->required();

  auto* reg = app.add_subcommand("register", "register the product's components in the registry (for every user: needs root)");
  auto* unreg = app.add_subcommand("unregister", "remove the product's components from the registry");
  bool perUser = false;
  reg->add_flag("--user", perUser, "register for this user alone, in HKEY_CURRENT_USER\\Software\\Classes (no root needed)");
  unreg->add_flag("--user", perUser, "remove this user's own registration");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (const std::string word = UnknownCommand(app, argc, argv); !word.empty()) {
      std::fprintf(stderr, "qx6export: '%s' is no command; qx6export --help lists them\n", word.c_str());
      return 2;
    }
    return app.exit(e) == 0 ? 0 : 2;
  }
  if (app.get_option("--db")->count() > 0 && options.database.empty()) {
    std::fprintf(stderr, "qx6export: --db needs the path of a job database; an empty one names none\n");
    return 2;
  }

  qx6::platform::InstallUserInteraction(std::make_shared<TerminalUserInteraction>());
  try {
    if (app.got_subcommand("columns")) return Columns();
    if (app.got_subcommand("list")) return List(options);
    if (*run) return Export(options, request);
    if (*quick) {
      request.quick = true;
      return Export(options, request);
    }
    if (*edit) return Edit(options, config);
    if (*samples) return Samples(samplesOutput);
    if (*import) return Import(options, csv);
    if (*importCups) {
      if (!cups.server.empty()) cups.ipp = true;
      if (cups.pageLogs.empty() && !cups.ipp) cups.pageLogs.push_back("/var/log/cups/page_log");
      return ImportCups(options, cups);
    }
    if (*sample) return Sample(options, count, seed);
    if (*add) return ScheduleAdd(options, task, config, replace, at);
    if (*scheduleList) return ScheduleList();
    if (*remove) return ScheduleRemove(task);
    if (*scheduleRun) return ScheduleRun(task);
    if (*reg) return Register(false, perUser);
    if (*unreg) return Register(true, perUser);
  } catch (const RunFailed& e) {
    Fail(e.what());
    return Fail(e.Note());
  } catch (const CLI::ValidationError& e) {
    std::fprintf(stderr, "qx6export: %s\n", e.what());
    return 2;
  } catch (const std::exception& e) {
    return Fail(ErrorText(e));
  }
  return 2;
}
