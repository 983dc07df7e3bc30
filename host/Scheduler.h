// Scheduled exports: a task is a key of its own under HKEY_LOCAL_MACHINE
// holding the registry values the exporter asked for (so that the run finds
// its configurations where they were when it was scheduled), the
// configuration's name, the exporter and the job database. cron or a
// systemd timer runs `qx6export schedule run TASK`.
#pragma once

#include <string>
#include <vector>

namespace qx6::host {

inline constexpr const char* TasksKey = "Software\\Quorvex 6\\Scheduled Exports";

struct ScheduledTask {
  std::string name;
  std::string configName;
  std::string exporter;  // ProgID
  std::string database;  // empty: the default database
  int decimals = 2;
};

// The task's key below HKEY_LOCAL_MACHINE.
std::string TaskKey(const std::string& task);

// Throw std::runtime_error with a clear text on registry failures.
void SaveTask(const ScheduledTask& task);
// Writes one value the exporter asked for, below the task's key.
void SaveTaskValue(const std::string& task, const std::string& sectionKey, const std::string& valueName,
                   const std::string& value, int valueType);
bool LoadTask(const std::string& name, ScheduledTask& task);
std::vector<ScheduledTask> ListTasks();
// False when there is no such task.
bool RemoveTask(const std::string& name);

}  // namespace qx6::host
