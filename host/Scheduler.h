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
  std::string database;  // absolute; empty in tasks of earlier versions: the default database
  int decimals = 2;
  std::string calendar;  // when its timer runs (systemd calendar); empty in tasks of earlier versions
};

// One registry value the exporter asked to be kept with the task, below
// the task's key (`sectionKey` empty: in the task's key itself).
struct TaskValue {
  std::string sectionKey;
  std::string valueName;
  std::string value;
  int valueType = 1;  // REG_SZ or REG_EXPAND_SZ
};

// The task's key below HKEY_LOCAL_MACHINE.
std::string TaskKey(const std::string& task);

// Stores the task with its values as one change of the registry: a crash
// leaves the old task or the new one, whole. False, with nothing changed,
// when a task of that name exists and `replace` is not set. Throws
// std::runtime_error with a clear text on registry failures.
bool SaveTask(const ScheduledTask& task, const std::vector<TaskValue>& values, bool replace);
bool LoadTask(const std::string& name, ScheduledTask& task);
std::vector<ScheduledTask> ListTasks();
// False when there is no such task.
bool RemoveTask(const std::string& name);

}  // namespace qx6::host
