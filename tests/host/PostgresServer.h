// A private PostgreSQL server for the tests of this process: initdb into a
// temporary folder, listening only on a Unix socket in that folder, trust
// authentication, stopped when the process ends. Under root the server runs
// as the user postgres (or nobody), as a server must not run as root.
#pragma once

#include <libpq-fe.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

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

  // A role that must sign in with a password (trust for every other).
  static const char* PasswordRole() { return "qx6_password"; }

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

  // The first row of `sql` on `location`, values separated by "|" (Null as
  // "null"), "" when it gives none, or "error: ..." when it fails.
  static std::string Sql(const std::string& location, const std::string& sql) {
    PGconn* connection = PQconnectdb(location.c_str());
    std::string row;
    if (PQstatus(connection) != CONNECTION_OK) {
      row = "error: " + std::string(PQerrorMessage(connection));
    } else {
      PGresult* result = PQexec(connection, sql.c_str());
      const ExecStatusType status = PQresultStatus(result);
      if (status == PGRES_TUPLES_OK && PQntuples(result) > 0) {
        for (int i = 0; i < PQnfields(result); ++i)
          row += (i ? "|" : "") + std::string(PQgetisnull(result, 0, i) ? "null" : PQgetvalue(result, 0, i));
      } else if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
        row = "error: " + std::string(PQresultErrorMessage(result));
      }
      PQclear(result);
    }
    PQfinish(connection);
    return row;
  }

 private:
  PostgresServer() { Start(); }
  ~PostgresServer() {
    if (!running_) return;  // the folder keeps the logs that say why
    Command(Binary("pg_ctl") + " -D " + folder_ + "/data -m immediate -w stop");
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  // initdb and postgres are not on the PATH on Debian: pg_config names their folder.
  static std::string FindBinaries() {
    std::string folder;
    if (FILE* pipe = popen("pg_config --bindir 2>/dev/null", "r")) {
      for (int c; (c = std::fgetc(pipe)) != EOF && c != '\n';) folder += static_cast<char>(c);
      pclose(pipe);
    }
    return ::access((folder + "/initdb").c_str(), X_OK) == 0 ? folder : std::string();
  }

  std::string Binary(const std::string& name) const { return runAs_ + bin_ + "/" + name; }

  // Runs a command of the server's user; its output goes to the folder's log.
  bool Command(const std::string& command) const {
    return std::system((command + " >>" + folder_ + "/setup.log 2>&1").c_str()) == 0;
  }

  void Start() {
    bin_ = FindBinaries();
    if (bin_.empty()) {
      problem_ = "no PostgreSQL server programs (initdb, found by pg_config): install the Debian packages postgresql "
                 "and libpq-dev";
      return;
    }
    char name[] = "/tmp/qx6pg-XXXXXX";
    if (!::mkdtemp(name)) {
      problem_ = "cannot make a folder for the PostgreSQL server";
      return;
    }
    folder_ = name;
    if (::geteuid() == 0) {
      const passwd* user = ::getpwnam("postgres");
      if (!user) user = ::getpwnam("nobody");
      if (!user || ::chown(name, user->pw_uid, user->pw_gid) != 0) {
        problem_ = "running as root, and there is no user postgres or nobody to run the PostgreSQL server as";
        return;
      }
      runAs_ = "runuser -u " + std::string(user->pw_name) + " -- ";
    }
    ::chmod(name, 0755);
    if (!Command(Binary("initdb") + " -D " + folder_ + "/data -A trust -U qx6 -E UTF8 --locale=C --no-sync")) {
      problem_ = "initdb failed; see " + folder_ + "/setup.log";
      return;
    }
    // One role signs in with a password, so that tests can give a wrong one.
    const std::string hba = folder_ + "/data/pg_hba.conf";
    std::ifstream in(hba);
    const std::string rules((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    std::ofstream(hba, std::ios::trunc) << "local all " << PasswordRole() << " scram-sha-256\n" << rules;
    running_ = Command(Binary("pg_ctl") + " -D " + folder_ + "/data -l " + folder_ + "/server.log -w -t 60 -o \"-c listen_addresses='' -k " +
                       folder_ + " -p 5432 -c fsync=off -c max_connections=40\" start");
    if (!running_) problem_ = "the PostgreSQL server did not start; see " + folder_ + "/server.log";
  }

  std::string bin_, folder_, runAs_, problem_;
  bool running_ = false;
  int databases_ = 0;
};

}  // namespace qx6::host::test
