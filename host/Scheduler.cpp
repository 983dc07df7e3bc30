#include "host/Scheduler.h"

#include <stdexcept>

#include "platform/Registry.h"
#include "platform/SystemMessage.h"

namespace qx6::host {
namespace {

using namespace qx6::platform;

[[noreturn]] void Fail(const std::string& what, LONG status) {
  std::string text = what + ": " + FormatSystemMessage(static_cast<DWORD>(status)).value_or("error " + std::to_string(status));
  if (status == 5) text += " (scheduling writes the machine registry: run as an administrator, or set QX6_REGISTRY_DIR)";
  throw std::runtime_error(text);
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

void SaveTask(const ScheduledTask& task) {
  Key key(TaskKey(task.name), true);
  if (!key) Fail("Cannot create the task " + task.name, key.Status());
  key.SetString("Configuration", task.configName);
  key.SetString("Exporter", task.exporter);
  key.SetString("Database", task.database);
  key.SetNumber("Decimals", static_cast<DWORD>(task.decimals));
}

void SaveTaskValue(const std::string& task, const std::string& sectionKey, const std::string& valueName,
                   const std::string& value, int valueType) {
  const std::string path = sectionKey.empty() ? TaskKey(task) : TaskKey(task) + "\\" + sectionKey;
  Key key(path, true);
  if (!key) Fail("Cannot create " + path, key.Status());
  key.SetString(valueName, value, valueType == 2 ? REG_EXPAND_SZ : REG_SZ);
}

bool LoadTask(const std::string& name, ScheduledTask& task) {
  Key key(TaskKey(name), false);
  if (!key) return false;
  task.name = name;
  task.configName = key.GetString("Configuration");
  task.exporter = key.GetString("Exporter");
  task.database = key.GetString("Database");
  task.decimals = key.GetNumber("Decimals", 2);
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
  LONG status = RegDeleteTree(HKEY_LOCAL_MACHINE, TaskKey(name));
  if (status == 2) return false;
  if (status != 0) Fail("Cannot remove the task " + name, status);
  return true;
}

}  // namespace qx6::host
