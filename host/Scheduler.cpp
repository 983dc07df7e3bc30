#include "host/Scheduler.h"

#include <stdexcept>

#include "platform/Registry.h"
#include "platform/RegistryTransaction.h"
#include "host/RegistryMessages.h"

namespace qx6::host {
namespace {

using namespace qx6::platform;

[[noreturn]] void Fail(const std::string& what, LONG status) {
  throw std::runtime_error(what + ": " + RegistryFailure(status));
}

class Key {
 public:
  Key(const std::string& path, bool create) {
    LONG status = create ? RegCreateKeyEx(HKEY_LOCAL_MACHINE, path, 0, "", REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                          nullptr, &key_)
                         : RegOpenKeyEx(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key_);
    if (status != 0) {
      key_ = 0;
      status_ = status;
    }
  }
  ~Key() {
    if (key_) RegCloseKey(key_);
  }
  explicit operator bool() const { return key_ != 0; }
  LONG Status() const { return status_; }
  HKEY Get() const { return key_; }

  void SetString(const std::string& name, const std::string& value, DWORD type = REG_SZ) {
    LONG status = RegSetValueEx(key_, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>(value.size() + 1));
    if (status != 0) Fail("Cannot write " + name, status);
  }
  void SetNumber(const std::string& name, DWORD value) {
    LONG status = RegSetValueEx(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    if (status != 0) Fail("Cannot write " + name, status);
  }
  std::string GetString(const std::string& name) const {
    DWORD type = 0, size = 0;
    if (RegQueryValueEx(key_, name, &type, nullptr, &size) != 0 || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
    std::string data(size, '\0');
    if (RegQueryValueEx(key_, name, &type, reinterpret_cast<BYTE*>(data.data()), &size) != 0) return {};
    data.resize(size);
    while (!data.empty() && data.back() == '\0') data.pop_back();
    return data;
  }
  int GetNumber(const std::string& name, int fallback) const {
    DWORD type = 0, value = 0, size = sizeof value;
    if (RegQueryValueEx(key_, name, &type, reinterpret_cast<BYTE*>(&value), &size) != 0 || type != REG_DWORD)
      return fallback;
    return static_cast<int>(value);
  }

 private:
  HKEY key_ = 0;
  LONG status_ = 0;
};

}  // namespace

std::string TaskKey(const std::string& task) { return std::string(TasksKey) + "\\" + task; }

bool SaveTask(const ScheduledTask& task, const std::vector<TaskValue>& values, bool replace) {
  RegistryTransaction transaction;
  {
    Key existing(TaskKey(task.name), false);
    if (existing && !replace) return false;
  }
  LONG status = RegDeleteTree(HKEY_LOCAL_MACHINE, TaskKey(task.name));
  if (status != 0 && status != 2) Fail("Cannot replace the task " + task.name, status);
  {
    Key key(TaskKey(task.name), true);
    if (!key) Fail("Cannot create the task " + task.name, key.Status());
    key.SetString("Configuration", task.configName);
    key.SetString("Exporter", task.exporter);
    key.SetString("Database", task.database);
    key.SetNumber("Decimals", static_cast<DWORD>(task.decimals));
    if (!task.calendar.empty()) key.SetString("Calendar", task.calendar);
  }
  for (const TaskValue& value : values) {
    const std::string path = value.sectionKey.empty() ? TaskKey(task.name) : TaskKey(task.name) + "\\" + value.sectionKey;
    Key key(path, true);
    if (!key) Fail("Cannot create " + path, key.Status());
    key.SetString(value.valueName, value.value, value.valueType == 2 ? REG_EXPAND_SZ : REG_SZ);
  }
  // Keys must be closed before the change is written.
  status = transaction.Commit();
  if (status != 0) Fail("Cannot save the task " + task.name, status);
  return true;
}

bool LoadTask(const std::string& name, ScheduledTask& task) {
  Key key(TaskKey(name), false);
  if (!key) return false;
  task.name = name;
  task.configName = key.GetString("Configuration");
  task.exporter = key.GetString("Exporter");
  task.database = key.GetString("Database");
  task.decimals = key.GetNumber("Decimals", 2);
  task.calendar = key.GetString("Calendar");
  return true;
}

std::vector<ScheduledTask> ListTasks() {
  std::vector<ScheduledTask> tasks;
  Key key(TasksKey, false);
  if (!key) return tasks;
  for (DWORD index = 0;; ++index) {
    std::string name;
    if (RegEnumKeyEx(key.Get(), index, &name) != 0) break;
    ScheduledTask task;
    if (LoadTask(name, task)) tasks.push_back(task);
  }
  return tasks;
}

bool RemoveTask(const std::string& name) {
  RegistryTransaction transaction;
  LONG status = RegDeleteTree(HKEY_LOCAL_MACHINE, TaskKey(name));
  if (status == 2) return false;
  if (status == 0) status = transaction.Commit();
  if (status != 0) Fail("Cannot remove the task " + name, status);
  return true;
}

}  // namespace qx6::host
