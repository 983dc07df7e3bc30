// Helpers shared by the host tests: reading a job database back as text, and
// running a part of a test in a child process.
#pragma once

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "host/JobDatabase.h"
#include "runtime/RuntimeError.h"

namespace qx6::host::test {

// One value as "type:text", so that a Null, an empty text and a zero differ.
inline std::string Describe(const Variant& v) {
  switch (v.Type()) {
    case VarType::Null: return "null";
    case VarType::String: return "s:" + std::string(v.StringValue());
    case VarType::Long: return "l:" + std::to_string(v.LongValue());
    case VarType::Integer: return "i:" + std::to_string(v.IntegerValue());
    case VarType::Boolean: return v.BooleanValue() ? "b:1" : "b:0";
    case VarType::Double: return "d:" + std::to_string(v.DoubleValue());
    case VarType::Date: return "t:" + std::to_string(v.DateValue());
    default: return "?";
  }
}

// Every job in job id order, one line each, values separated by "|".
inline std::vector<std::string> DumpJobs(const JobDatabase& database, const std::vector<SortKey>& order = {},
                                         const DateRange& range = {}) {
  auto job = MakeHostColumns();
  std::vector<std::string> rows;
  database.ForEachJob(order, range, *job, [&] {
    std::string row;
    for (int32_t i = 1; i <= job->Count(); ++i) row += Describe(ColumnAt(*job, i).Value()) + "|";
    rows.push_back(row);
    return true;
  });
  return rows;
}

// What `call` raised as "NUMBER DESCRIPTION", or "no error".
template <class F>
std::string Failure(F&& call) {
  try {
    call();
  } catch (const RuntimeError& e) {
    return std::to_string(e.Number()) + " " + e.Description();
  }
  return "no error";
}

// Runs `body` in a child process and returns the text it returned, or for a
// RuntimeError "NUMBER DESCRIPTION". With `unprivileged` a root process's child
// first becomes the user nobody (65534), so that file permissions bind it as
// they bind any user; otherwise it runs as this process's user.
inline std::string InChild(const std::function<std::string()>& body, bool unprivileged = false) {
  int fds[2];
  if (pipe(fds) != 0) return "no pipe";
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    std::string text;
    if (unprivileged && geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
      text = "cannot become nobody";
    else
      try {
        text = body();
      } catch (const RuntimeError& e) {
        text = std::to_string(e.Number()) + " " + e.Description();
      }
    (void)!write(fds[1], text.data(), text.size());
    _exit(0);
  }
  close(fds[1]);
  std::string text;
  char buffer[512];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) text += " (the child failed: status " + std::to_string(status) + ")";
  return text;
}

}  // namespace qx6::host::test
