// Scheduled tasks on the clock: a systemd service and timer pair for each
// task (system units, or the user's own units when the registry is a private
// folder), and the equivalent crontab line for those who prefer cron.
#pragma once

#include <optional>
#include <string>

namespace qx6::host::TaskTimer {

// When a task runs unless told otherwise: every night at 02:00.
inline constexpr const char* DefaultCalendar = "*-*-* 02:00:00";

// One word for the shell, whatever it holds.
std::string ShellQuote(const std::string& text);

// "qx6export-<task>" with the task escaped as systemd-escape does.
std::string UnitName(const std::string& task);

// The calendar in systemd's normalized form ("Mon..Fri *-*-* 06:00:00"),
// checked with systemd-analyze where there is one (as given otherwise);
// no value, with `error` set, when it is no calendar expression.
std::optional<std::string> CheckCalendar(const std::string& calendar, std::string& error);

// The crontab line that runs `command` on the same calendar; no value when
// cron cannot express it (seconds, years, ranges of days cron lacks) or the
// command holds a line break. "%" is escaped, as cron reads it as one.
std::optional<std::string> CrontabLine(const std::string& calendar, const std::string& command);

struct UnitFiles {
  std::string service;
  std::string timer;
};

// The two units of a task. `program` is qx6export's path, `registryFolder`
// the private registry folder (empty: the machine's), `user` the account the
// service runs as (empty: root for system units, the user for user units).
UnitFiles MakeUnits(const std::string& task, const std::string& calendar, const std::string& program,
                    const std::string& registryFolder, const std::string& user);

// Where the units go: /etc/systemd/system, or the user's
// $XDG_CONFIG_HOME/systemd/user ($QX6_SYSTEMD_DIR overrides both).
std::string UnitFolder(bool userUnits);

// Writes the units (each whole or not at all) and enables the timer where
// systemd runs; returns what was done, or the commands to run where it
// does not. Throws std::runtime_error naming the file that cannot be written.
std::string Install(const std::string& task, const UnitFiles& units, bool userUnits);

// Stops and removes the task's units, if there are any; returns what was done.
std::string Remove(const std::string& task, bool userUnits);

// When the timer runs next ("Tue 2026-12-08 02:00:00 UTC"), from systemd
// where it runs, else from the calendar; empty when it cannot be told.
std::string NextRun(const std::string& task, const std::string& calendar, bool userUnits);

}  // namespace qx6::host::TaskTimer
