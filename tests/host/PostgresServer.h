// A private PostgreSQL server for the tests of this process: initdb into a
// temporary folder, listening only on a Unix socket in that folder, trust
// authentication, stopped when the process ends. Under root the server runs
// as the user postgres (or nobody), as a server must not run as root.
#pragma once

#include <pwd.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tests/host/HostTestSupport.h"

namespace qx6::host::test {

class PostgresServer {
 public:
  // The server of this process, started at the first call; Running() says
  // whether it could be, Problem() why not.
  static PostgresServer& Shared() {
    static PostgresServer server;
    return server;
  }

  bool Running() const { return running_; }
  const std::string& Problem() const { return problem_; }
  const std::string& Folder() const { return folder_; }
  // The connection string of the server's database `name`, without creating it.
  std::string Location(const std::string& name) const {
    return "host=" + folder_ + " port=5432 user=qx6 dbname=" + name;
  }

  // A new, empty database of its own for one test. Its text order is a
  // language's (a, A, b, B), as on most servers, so that a read that forgets
  // to ask for binary order shows.
  std::string NewDatabase() {
    const std::string name = "jobs_" + std::to_string(++databases_);
    std::string created = Sql(Location("postgres"), "CREATE DATABASE " + name +
                                                        " TEMPLATE template0 LOCALE_PROVIDER icu ICU_LOCALE 'en-US'");
    if (!created.empty()) created = Sql(Location("postgres"), "CREATE DATABASE " + name);
    if (!created.empty()) problem_ = created;
    return Location(name);
  }

  // The first row of `sql` on `location` (by psql), values separated by "|",
  // "" when it gives none, or the error.
  static std::string Sql(const std::string& location, const std::string& sql) {
    const std::string out = Shell(Shared().bin_ + "/psql -XAtq -d " + qx6::test::ShellQuote(location) + " -c " +
                                  qx6::test::ShellQuote(sql)).second;
    return out.substr(0, out.find('\n'));
  }

 private:
  PostgresServer() { problem_ = Start(); }
  ~PostgresServer() {
    if (!running_) return;  // the folder keeps the logs that say why
    Command(Binary("pg_ctl") + " -D " + folder_ + "/data -m immediate -w stop");
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  // initdb and postgres are not on the PATH on Debian: pg_config names their folder.
  static std::string FindBinaries() {
    std::string folder = Shell("pg_config --bindir").second;
    folder = folder.substr(0, folder.find('\n'));
    return ::access((folder + "/initdb").c_str(), X_OK) == 0 ? folder : std::string();
  }

  std::string Binary(const std::string& name) const { return runAs_ + bin_ + "/" + name; }

  // Runs a command of the server's user; its output goes to the folder's log.
  bool Command(const std::string& command) const {
    return std::system((command + " >>" + folder_ + "/setup.log 2>&1").c_str()) == 0;
  }

  // Starts the server: "" when it runs, otherwise why not.
  std::string Start() {
    bin_ = FindBinaries();
    if (bin_.empty())
      return "no PostgreSQL server programs (initdb, found by pg_config): install the Debian packages postgresql and "
             "libpq-dev";
    char name[] = "/tmp/qx6pg-XXXXXX";
    if (!::mkdtemp(name)) return "cannot make a folder for the PostgreSQL server";
    folder_ = name;
    if (::geteuid() == 0) {
      const passwd* user = ::getpwnam("postgres");
      if (!user) user = ::getpwnam("nobody");
      if (!user || ::chown(name, user->pw_uid, user->pw_gid) != 0)
        return "running as root, and there is no user postgres or nobody to run the PostgreSQL server as";
      runAs_ = "runuser -u " + std::string(user->pw_name) + " -- ";
    }
    ::chmod(name, 0755);
    if (!Command(Binary("initdb") + " -D " + folder_ + "/data -A trust -U qx6 -E UTF8 --locale=C --no-sync"))
      return "initdb failed; see " + folder_ + "/setup.log";
    // The role qx6_password signs in with a password, so that tests can give a wrong one; all others are trusted.
    const std::string hba = folder_ + "/data/pg_hba.conf";
    qx6::test::WriteFile(hba, "local all qx6_password scram-sha-256\n" + qx6::test::ReadFile(hba));
    running_ = Command(Binary("pg_ctl") + " -D " + folder_ + "/data -l " + folder_ +
                       "/server.log -w -t 60 -o \"-c listen_addresses='' -k " + folder_ +
                       " -p 5432 -c fsync=off -c max_connections=40\" start");
    return running_ ? "" : "the PostgreSQL server did not start; see " + folder_ + "/server.log";
  }

  std::string bin_, folder_, runAs_, problem_;
  bool running_ = false;
  int databases_ = 0;
};

}  // namespace qx6::host::test
