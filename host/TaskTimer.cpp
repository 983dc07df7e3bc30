#include "host/TaskTimer.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "platform/FileSystem.h"

namespace qx6::host::TaskTimer {
namespace {

namespace FileSystem = qx6::platform::FileSystem;

// What a command prints on standard output, and whether it succeeded.
bool Capture(const std::string& command, std::string& output) {
  output.clear();
  std::FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return false;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  const int status = pclose(pipe);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool HaveProgram(const char* name) {
  std::string ignored;
  return Capture(std::string("command -v ") + name, ignored);
}

// The value after "Label:" in systemd-analyze's answer.
std::string Field(const std::string& text, const std::string& label) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t at = line.find(label + ":");
    if (at == std::string::npos) continue;
    std::string value = line.substr(at + label.size() + 1);
    value.erase(0, value.find_first_not_of(' '));
    return value;
  }
  return {};
}

// A word of a unit file's command line: quoted, with systemd's specifiers
// and variables kept literal.
std::string UnitWord(const std::string& text) {
  std::string word = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') word += '\\';
    if (c == '%') word += '%';
    if (c == '$') word += '$';
    word += c;
  }
  return word + "\"";
}

bool SystemdRuns(bool userUnits) {
  if (!userUnits) return access("/run/systemd/system", F_OK) == 0;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime && *runtime && access((std::string(runtime) + "/systemd/private").c_str(), F_OK) == 0;
}

std::string Systemctl(bool userUnits) { return userUnits ? "systemctl --user" : "systemctl"; }

// Numbers for cron from systemd's day names ("Mon..Fri,Sun" -> "1-5,0").
std::optional<std::string> CronDays(const std::string& days) {
  static const char* names[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  auto number = [&](const std::string& name) -> int {
    for (int i = 0; i < 7; ++i)
      if (name == names[i]) return i;
    return -1;
  };
  std::string out;
  std::stringstream parts(days);
  std::string part;
  while (std::getline(parts, part, ',')) {
    const size_t dots = part.find("..");
    const int from = number(part.substr(0, dots));
    if (from < 0) return std::nullopt;
    if (!out.empty()) out += ',';
    out += std::to_string(from);
    if (dots != std::string::npos) {
      const int to = number(part.substr(dots + 2));
      if (to < 0 || to < from) return std::nullopt;
      out += "-" + std::to_string(to);
    }
  }
  return out;
}

// A cron field from a calendar field: "*", a number or a list of numbers.
std::optional<std::string> CronField(const std::string& field) {
  if (field == "*") return field;
  std::string out;
  std::stringstream parts(field);
  std::string part;
  while (std::getline(parts, part, ',')) {
    if (part.empty() || part.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    if (!out.empty()) out += ',';
    out += std::to_string(std::stoi(part));
  }
  return out.empty() ? std::nullopt : std::optional<std::string>(out);
}

void WriteWhole(const std::string& path, const std::string& text) {
  if (FileSystem::ReplaceWhole(path, text, 0644) != 0)
    throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
}

}  // namespace

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string UnitName(const std::string& task) {
  // systemd-escape: "/" becomes "-", anything else but ASCII letters,
  // digits, ":", "_" and a "." not at the start becomes \xNN.
  std::string name = "qx6export-";
  for (size_t i = 0; i < task.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(task[i]);
    if (c == '/') {
      name += '-';
    } else if (std::isalnum(c) || c == ':' || c == '_' || (c == '.' && i > 0)) {
      name += static_cast<char>(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      name += hex;
    }
  }
  return name;
}

std::optional<std::string> CheckCalendar(const std::string& calendar, std::string& error) {
  if (calendar.empty() || calendar.find_first_of("\n\r") != std::string::npos) {
    error = "'" + calendar + "' is no calendar expression";
    return std::nullopt;
  }
  if (!HaveProgram("systemd-analyze")) return calendar;
  std::string answer;
  if (!Capture("systemd-analyze calendar " + ShellQuote(calendar), answer)) {
    error = "'" + calendar + "' is no calendar expression systemd understands (try 'daily' or 'Mon..Fri 06:00')";
    return std::nullopt;
  }
  const std::string normalized = Field(answer, "Normalized form");
  return normalized.empty() ? calendar : normalized;
}

std::optional<std::string> CrontabLine(const std::string& calendar, const std::string& command) {
  std::string form = calendar;
  if (form == "daily") form = "*-*-* 00:00:00";
  else if (form == "hourly") form = "*-*-* *:00:00";
  else if (form == "weekly") form = "Mon *-*-* 00:00:00";
  else if (form == "monthly") form = "*-*-01 00:00:00";
  // [days] year-month-day hour:minute:second
  std::vector<std::string> words;
  std::stringstream split(form);
  for (std::string word; split >> word;) words.push_back(word);
  std::string days = "*";
  if (words.size() == 3) {
    const auto cronDays = CronDays(words[0]);
    if (!cronDays) return std::nullopt;
    days = *cronDays;
    words.erase(words.begin());
  }
  if (words.size() != 2) return std::nullopt;
  std::vector<std::string> date, time;
  std::stringstream dateParts(words[0]), timeParts(words[1]);
  for (std::string part; std::getline(dateParts, part, '-');) date.push_back(part);
  for (std::string part; std::getline(timeParts, part, ':');) time.push_back(part);
  if (date.size() != 3 || date[0] != "*" || time.size() != 3 || (time[2] != "00" && time[2] != "0")) return std::nullopt;
  const auto month = CronField(date[1]), day = CronField(date[2]), hour = CronField(time[0]),
             minute = CronField(time[1]);
  if (!month || !day || !hour || !minute || *minute == "*") return std::nullopt;
  std::string line = *minute + " " + *hour + " " + *day + " " + *month + " " + days + " ";
  for (char c : command) {
    if (c == '\n' || c == '\r') return std::nullopt;
    if (c == '%') line += '\\';
    line += c;
  }
  return line;
}

UnitFiles MakeUnits(const std::string& task, const std::string& calendar, const std::string& program,
                    const std::string& registryFolder, const std::string& user) {
  UnitFiles units;
  std::string description = task;
  for (char& c : description)
    if (c == '%') c = '_';
  units.service = "[Unit]\nDescription=Quorvex 6 export task " + description +
                  "\n\n[Service]\nType=oneshot\n";
  if (!user.empty()) units.service += "User=" + user + "\n";
  if (!registryFolder.empty()) units.service += "Environment=" + UnitWord("QX6_REGISTRY_DIR=" + registryFolder) + "\n";
  units.service += "ExecStart=" + UnitWord(program) + " schedule run " + UnitWord(task) + "\n";
  units.timer = "[Unit]\nDescription=Runs the Quorvex 6 export task " + description + "\n\n[Timer]\nOnCalendar=" +
                calendar + "\nPersistent=true\nUnit=" + UnitName(task) + ".service\n\n[Install]\nWantedBy=timers.target\n";
  return units;
}

std::string UnitFolder(bool userUnits) {
  if (const char* folder = std::getenv("QX6_SYSTEMD_DIR"); folder && *folder) return folder;
  if (!userUnits) return "/etc/systemd/system";
  std::string config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') config = xdg;
  else if (const char* home = std::getenv("HOME"); home && *home) config = std::string(home) + "/.config";
  else throw std::runtime_error("there is no place for user units: set HOME");
  return config + "/systemd/user";
}

std::string Install(const std::string& task, const UnitFiles& units, bool userUnits) {
  const std::string folder = UnitFolder(userUnits);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) throw std::runtime_error("cannot create " + folder + ": " + ec.message());
  const std::string unit = UnitName(task);
  WriteWhole(folder + "/" + unit + ".service", units.service);
  WriteWhole(folder + "/" + unit + ".timer", units.timer);
  const std::string systemctl = Systemctl(userUnits);
  const std::string enable = systemctl + " daemon-reload && " + systemctl + " enable --now " + ShellQuote(unit + ".timer");
  std::string ignored;
  if (SystemdRuns(userUnits) && Capture(enable, ignored))
    return "the timer " + unit + ".timer in " + folder + " is enabled";
  return "wrote " + unit + ".service and " + unit + ".timer to " + folder +
         "; systemd does not run here, so once it does, run: " + enable;
}

std::string Remove(const std::string& task, bool userUnits) {
  const std::string folder = UnitFolder(userUnits);
  const std::string unit = UnitName(task);
  const std::string timer = folder + "/" + unit + ".timer", service = folder + "/" + unit + ".service";
  if (access(timer.c_str(), F_OK) != 0 && access(service.c_str(), F_OK) != 0) return {};
  std::string ignored;
  if (SystemdRuns(userUnits)) Capture(Systemctl(userUnits) + " disable --now " + ShellQuote(unit + ".timer"), ignored);
  for (const std::string& path : {timer, service}) {
    if (FileSystem::Remove(path) != 0 && errno != ENOENT)
      throw std::runtime_error("cannot remove " + path + ": " + std::strerror(errno));
  }
  if (SystemdRuns(userUnits)) Capture(Systemctl(userUnits) + " daemon-reload", ignored);
  return "removed " + unit + ".timer and " + unit + ".service from " + folder;
}

std::string NextRun(const std::string& task, const std::string& calendar, bool userUnits) {
  std::string answer;
  if (SystemdRuns(userUnits) &&
      Capture(Systemctl(userUnits) + " show -P NextElapseUSecRealtime " + ShellQuote(UnitName(task) + ".timer"),
              answer)) {
    while (!answer.empty() && (answer.back() == '\n' || answer.back() == ' ')) answer.pop_back();
    if (!answer.empty() && answer != "n/a") return answer;
  }
  if (!calendar.empty() && HaveProgram("systemd-analyze") &&
      Capture("systemd-analyze calendar " + ShellQuote(calendar), answer))
    return Field(answer, "Next elapse");
  return {};
}

}  // namespace qx6::host::TaskTimer
