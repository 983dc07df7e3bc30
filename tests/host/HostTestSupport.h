// Helpers shared by the host tests: reading a job database back as text,
// running a part of a test in a child process, and running programs.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "host/JobDatabase.h"
#include "runtime/RuntimeError.h"
#include "tests/support/TestEnvironment.h"

// `text` holds `part` (or not), or begins with `prefix`.
#define EXPECT_HAS(text, part) EXPECT_PRED_FORMAT2(::testing::IsSubstring, part, text)
#define EXPECT_LACKS(text, part) EXPECT_PRED_FORMAT2(::testing::IsNotSubstring, part, text)
#define EXPECT_STARTS(text, prefix) EXPECT_EQ(std::string(text).substr(0, std::string(prefix).size()), prefix)

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

using qx6::test::Shell;

// The first row of `sql` on the SQLite file at `path` (by the sqlite3 program),
// columns separated by "|", "" when it gives none, or the error.
inline std::string Sql(const std::string& path, const std::string& sql) {
  const std::string out = Shell("sqlite3 -batch -init /dev/null " + qx6::test::ShellQuote(path) + " " +
                                qx6::test::ShellQuote(sql)).second;
  return out.substr(0, out.find('\n'));
}

// Runs `body` in a child process (as the user nobody with `unprivileged`, see
// qx6::test::RunInChild) and returns the text it returned, which must fit in a pipe's buffer.
inline std::string InChild(const std::function<std::string()>& body, bool unprivileged = false) {
  int fds[2];
  if (pipe(fds) != 0) return "no pipe";
  const int status = qx6::test::RunInChild(
      [&] {
        const std::string text = body();
        return write(fds[1], text.data(), text.size()) < 0 ? 1 : 0;
      },
      unprivileged);
  close(fds[1]);
  std::string text;
  char buffer[512];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  return status == 0 ? text : text + " (the child failed: status " + std::to_string(status) + ")";
}

using Env = std::vector<std::pair<std::string, std::string>>;

// Starts `argv` (argv[0] a path, or a name searched in PATH) with stdin from
// /dev/null and stdout and stderr appended to the files `out` and `err` (the
// same file takes both), with the variables `env` set (an empty value unsets
// one). The descriptor `keepFd` stays open in the program.
inline pid_t Spawn(const std::vector<std::string>& argv, const std::string& out, const std::string& err,
                   const Env& env = {}, int keepFd = -1) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  for (const auto& [name, value] : env)
    value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
  const int in = open("/dev/null", O_RDONLY);
  const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int e = err == out ? o : open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || o < 0 || e < 0 || dup2(in, 0) < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0) _exit(126);
  if (keepFd >= 0) fcntl(keepFd, F_SETFD, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  execvp(args[0], args.data());
  _exit(127);
}

// The exit status of `pid` (128 + the signal that ended it) once it ends
// within `limit`; nothing while it still runs.
inline std::optional<int> WaitFor(pid_t pid, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  for (auto pause = std::chrono::microseconds(200);; pause = std::min(pause * 2, std::chrono::microseconds(20000))) {
    int raw = 0;
    if (waitpid(pid, &raw, WNOHANG) == pid) return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    if (std::chrono::steady_clock::now() >= until) break;
    std::this_thread::sleep_for(pause);
  }
  return std::nullopt;
}

// Ends `pid`: asked first, killed when it does not end within five seconds.
inline void Stop(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  if (WaitFor(pid, std::chrono::seconds(5))) return;
  kill(pid, SIGKILL);
  WaitFor(pid, std::chrono::seconds(5));
}

struct Result {
  int status;
  std::string out, err;
};

// The staged qx6export run by the shell with `arguments` (quoted for it),
// `prefix` before it (variables, a change of folder or of user), which must
// end with `status`; its output passes through files in `folder`.
inline Result RunQxExport(int status, const std::string& folder, const std::string& arguments,
                          const std::string& prefix = "") {
  const std::string out = folder + "/stdout", err = folder + "/stderr";
  const int raw = std::system((prefix + QX6_PRODUCT_DIR "/bin/qx6export " + arguments + " >'" + out + "' 2>'" + err +
                               "' </dev/null").c_str());
  Result result{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, qx6::test::ReadFile(out), qx6::test::ReadFile(err)};
  EXPECT_EQ(result.status, status) << "qx6export " << arguments << "\n" << result.err;
  return result;
}

// The text of a stored configuration `name` of the columns `columns`, writing
// to `output` unless it is empty, with further `settings` as the file has them.
inline std::string ConfigText(const std::string& name, const std::string& output, const std::vector<int>& columns,
                              const std::string& settings = "") {
  std::string text = "<?xml version=\"1.0\"?>\r\n<root>\r\n<Name>" + name + "</Name>\r\n<Version>4</Version>\r\n";
  text += settings;
  if (!output.empty()) text += "<OutputFile>" + output + "</OutputFile>\r\n";
  for (int c : columns) text += "<Column>\r\n<Index>" + std::to_string(c) + "</Index>\r\n</Column>\r\n";
  return text;
}

inline size_t Lines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

}  // namespace qx6::host::test
