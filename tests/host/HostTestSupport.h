// Helpers shared by the host tests: reading a job database back as text,
// running a part of a test in a child process, and running programs.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <grp.h>
#include <sqlite3.h>
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

// `text` holds `part` (or not), or begins with `prefix`; a failure shows both.
#define EXPECT_HAS(text, part) EXPECT_PRED_FORMAT2(::testing::IsSubstring, part, text)
#define EXPECT_LACKS(text, part) EXPECT_PRED_FORMAT2(::testing::IsNotSubstring, part, text)
#define EXPECT_STARTS(text, prefix) EXPECT_PRED_FORMAT2(::qx6::host::test::StartsWith, text, prefix)

namespace qx6::host::test {

inline ::testing::AssertionResult StartsWith(const char* textExpression, const char*, const std::string& text,
                                             const std::string& prefix) {
  if (text.rfind(prefix, 0) == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << textExpression << " is \"" << text << "\", which does not begin with \""
                                       << prefix << "\"";
}

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

// Runs one statement of `sql` on the SQLite file at `path`: its first row,
// columns separated by "|", "" when it gives none, or "error: ..." when it fails.
inline std::string Sql(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_stmt* s = nullptr;
  std::string row;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK ||
      sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
    row = "error: " + std::string(sqlite3_errmsg(db));
  } else if (const int rc = sqlite3_step(s); rc == SQLITE_ROW) {
    for (int i = 0; i < sqlite3_column_count(s); ++i)
      row += (i ? "|" : "") + std::string(reinterpret_cast<const char*>(sqlite3_column_text(s, i)));
  } else if (rc != SQLITE_DONE) {
    row = "error: " + std::string(sqlite3_errmsg(db));
  }
  sqlite3_finalize(s);
  sqlite3_close(db);
  return row;
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
// `prefix` before it (variables, a change of folder or of user); its output
// passes through files in `folder`.
inline Result RunQxExport(const std::string& folder, const std::string& arguments, const std::string& prefix = "") {
  const std::string out = folder + "/stdout", err = folder + "/stderr";
  const int raw = std::system((prefix + QX6_PRODUCT_DIR "/bin/qx6export " + arguments + " >'" + out + "' 2>'" + err +
                               "' </dev/null").c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, qx6::test::ReadFile(out), qx6::test::ReadFile(err)};
}

}  // namespace qx6::host::test
