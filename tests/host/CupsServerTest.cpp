// Jobs from a real print scheduler: a private cupsd in a temporary folder
// (its own configuration, spool, logs and socket, a queue on a file: device),
// jobs printed to it with lp, imported from its page log and over IPP with
// qx6export, then exported and read back field by field.
#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include "tests/support/TestEnvironment.h"

namespace qx6 {
namespace {

namespace fs = std::filesystem;
using test::WriteFile;

// The file's bytes, or nothing while it is not there yet.
std::string ReadFile(const std::string& path) { return fs::exists(path) ? test::ReadFile(path) : std::string(); }

// What `command` printed (both streams) and its exit status.
std::pair<int, std::string> Shell(const std::string& command) {
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return {-1, "cannot run " + command};
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

std::string Quote(const std::string& text) { return "'" + text + "'"; }

// Pages of an empty PDF, A4, written by hand so that no tool is needed.
std::string Pdf(int pages) {
  std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>"};
  std::string kids;
  for (int i = 0; i < pages; ++i) kids += std::to_string(3 + i) + " 0 R ";
  objects.push_back("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>");
  for (int i = 0; i < pages; ++i)
    objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << >> >>");
  std::string pdf = "%PDF-1.4\n";
  std::vector<size_t> offsets;
  for (size_t i = 0; i < objects.size(); ++i) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const size_t xref = pdf.size();
  pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  char entry[32];
  for (size_t offset : offsets) {
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
    pdf += entry;
  }
  pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
  return pdf;
}

// The rows of a CSV file with a header row, each by column title. Quoted
// fields as the exporter writes them; no field here holds a line break.
std::vector<std::map<std::string, std::string>> ReadCsv(const std::string& text) {
  auto split = [](const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
      const char c = line[i];
      if (c == '"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == '"') fields.back() += line[++i];
        else quoted = !quoted;
      } else if (c == ',' && !quoted) fields.emplace_back();
      else if (c != '\r') fields.back() += c;
    }
    return fields;
  };
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);
  const auto header = split(line);
  std::vector<std::map<std::string, std::string>> rows;
  while (std::getline(in, line)) {
    const auto fields = split(line);
    std::map<std::string, std::string> row;
    for (size_t i = 0; i < header.size() && i < fields.size(); ++i) row[header[i]] = fields[i];
    rows.push_back(row);
  }
  return rows;
}

// The page log items of a site that accounts for its printing.
constexpr const char* RichFormat =
    "%p %u %j %T %P %C %{copies} %{time-at-creation} %{job-media-sheets-completed} %{print-color-mode} "
    "%{job-k-octets} %{job-billing} %{job-originating-host-name} %{job-name} %{media} %{sides}";
constexpr const char* StandardFormat =
    "%p %u %j %T %P %C %{job-billing} %{job-originating-host-name} %{job-name} %{media} %{sides}";

class CupsServer : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* program : {"/usr/sbin/cupsd", "/usr/bin/lp", "/usr/sbin/lpadmin", "/usr/bin/lpstat"})
      if (access(program, X_OK) != 0)
        GTEST_SKIP() << program << " is missing: install cups-daemon and cups-client (./qx6 test does)";
    if (access(Ppd, R_OK) != 0) GTEST_SKIP() << Ppd << " is missing: install cups-filters (./qx6 test does)";
    QX6_REGISTRY_CHECK();
  }
  void TearDown() override { Stop(); }

  void QX6_REGISTRY_CHECK() {
    const auto [status, out] = Run("register");
    ASSERT_EQ(status, 0) << out;
  }

  // Starts cupsd with the page log `format`; false (with the reason in
  // `why`) when it cannot run here.
  bool Start(const std::string& format, std::string& why) {
    dir_ = env_.Root() + "/cups";
    for (const char* sub : {"", "/root", "/spool", "/spool/tmp", "/cache", "/state", "/log", "/out"})
      fs::create_directories(dir_ + sub);
    // cupsd runs its filters as lp, which must reach the spool and the
    // files: the test's own folders are opened to it, the ones above must be.
    for (std::string path = dir_; path.size() >= env_.Root().size(); path = fs::path(path).parent_path().string())
      chmod(path.c_str(), 0755);
    for (fs::path above = fs::path(env_.Root()).parent_path(); !above.empty() && above != above.root_path();
         above = above.parent_path()) {
      struct stat info {};
      if (stat(above.c_str(), &info) != 0 || !(info.st_mode & S_IXOTH)) {
        why = above.string() + " is closed to other users, so cupsd's filters cannot reach the test's files; set TMPDIR";
        return false;
      }
    }
    const bool root = geteuid() == 0;
    if (root) {
      const passwd* lp = getpwnam("lp");
      if (!lp) {
        why = "there is no user lp for cupsd to run its filters as";
        return false;
      }
      for (const char* sub : {"/spool", "/spool/tmp", "/cache", "/out"})
        if (chown((dir_ + sub).c_str(), lp->pw_uid, static_cast<gid_t>(-1)) != 0) {}
    }
    socket_ = dir_ + "/cups.sock";
    WriteFile(dir_ + "/cupsd.conf", "Listen " + socket_ + "\nLogLevel info\nBrowsing No\nWebInterface No\n" +
                                        "PreserveJobHistory Yes\nPageLogFormat " + format + "\n" +
                                        "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n");
    const group* primary = getgrgid(getegid());
    WriteFile(dir_ + "/cups-files.conf",
              "ServerRoot " + dir_ + "/root\nRequestRoot " + dir_ + "/spool\nTempDir " + dir_ + "/spool/tmp\n" +
                  "CacheDir " + dir_ + "/cache\nStateDir " + dir_ + "/state\nAccessLog " + dir_ +
                  "/log/access_log\nErrorLog " + dir_ + "/log/error_log\nPageLog " + dir_ + "/log/page_log\n" +
                  "Printcap " + dir_ + "/printcap\nFileDevice Yes\n" +
                  (root ? "User lp\nGroup lp\nSystemGroup root\n"
                        : "SystemGroup " + std::string(primary ? primary->gr_name : "users") + "\n"));
    pid_ = fork();
    if (pid_ == 0) {
      setpgid(0, 0);
      const std::string conf = dir_ + "/cupsd.conf", files = dir_ + "/cups-files.conf";
      if (!freopen((dir_ + "/cupsd.out").c_str(), "w", stdout)) _exit(126);
      dup2(fileno(stdout), 2);
      execl("/usr/sbin/cupsd", "cupsd", "-f", "-c", conf.c_str(), "-s", files.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 200; ++i) {
      if (Shell("lpstat -h " + Quote(socket_) + " -r").second.find("is running") != std::string::npos) break;
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        why = "cupsd stopped at once: " + ReadFile(dir_ + "/cupsd.out") + ReadFile(dir_ + "/log/error_log");
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const auto [status, out] = Shell("lpadmin -h " + Quote(socket_) + " -p office -E -v file://" + dir_ +
                                     "/out/office.out -P " + Ppd);
    if (status != 0) {
      why = "cupsd did not take a queue: " + out + ReadFile(dir_ + "/log/error_log");
      return false;
    }
    WriteFile(dir_ + "/report.pdf", Pdf(3));
    chmod((dir_ + "/report.pdf").c_str(), 0644);
    return true;
  }

  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 100 && waitpid(pid_, &status, WNOHANG) == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (waitpid(pid_, &status, WNOHANG) == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
    }
    pid_ = -1;
  }

  void Print(const std::string& options) {
    const auto [status, out] =
        Shell("lp -h " + Quote(socket_) + " -d office " + options + " " + Quote(dir_ + "/report.pdf"));
    ASSERT_EQ(status, 0) << out;
  }

  // Waits until no job is left and the page log has `lines` lines.
  void WaitForJobs(size_t lines) {
    for (int i = 0; i < 600; ++i) {
      const std::string log = ReadFile(dir_ + "/log/page_log");
      if (static_cast<size_t>(std::count(log.begin(), log.end(), '\n')) >= lines &&
          Shell("lpstat -h " + Quote(socket_) + " -o").second.empty())
        return;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    FAIL() << "the jobs did not finish: " << ReadFile(dir_ + "/log/page_log") << ReadFile(dir_ + "/log/error_log");
  }

  std::pair<int, std::string> Run(const std::string& arguments) {
    return Shell(std::string(QX6_PRODUCT_DIR) + "/bin/qx6export " + arguments);
  }
  std::string Db(const std::string& name) const { return env_.Root() + "/" + name + ".db"; }
  // qx6export jobs import-cups `arguments` into the database `db`.
  std::pair<int, std::string> Import(const std::string& db, const std::string& arguments) {
    return Run("--db " + Quote(Db(db)) + " jobs import-cups " + arguments);
  }

  // Every job of the database, exported with every column under its title.
  std::vector<std::map<std::string, std::string>> Export(const std::string& db) {
    std::string config =
        "<?xml version=\"1.0\"?>\r\n<root>\r\n<Name>Every column</Name>\r\n<Version>4</Version>\r\n"
        "<ColumnNames>True</ColumnNames>\r\n<StringsInQuotes>True</StringsInQuotes>\r\n"
        "<DateFormat>yyyy-mm-dd hh:nn:ss</DateFormat>\r\n<DecimalPlaces>2</DecimalPlaces>\r\n";
    for (int column = 1; column <= 45; ++column)
      config += "<Column>\r\n<Index>" + std::to_string(column) + "</Index>\r\n</Column>\r\n";
    fs::create_directories(env_.ConfigFolder());
    WriteFile(env_.ConfigFolder() + "every.cfg", config + "</root>\r\n");
    const std::string out = env_.Root() + "/export.csv";
    const auto [status, text] = Run("--db " + Quote(db) + " run 'Every column' --silent --output " + Quote(out));
    EXPECT_EQ(status, 0) << text;
    return ReadCsv(ReadFile(out));
  }

  static constexpr const char* Ppd = "/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd";
  test::TestEnvironment env_;
  test::ScopedEnv zone_{"TZ", "UTC"};
  std::string dir_, socket_;
  pid_t pid_ = -1;
};

std::string HostName() {
  char name[256] = {};
  gethostname(name, sizeof name - 1);
  return name;
}

// The fields `names` of `row`, joined by "|".
std::string Pick(const std::map<std::string, std::string>& row, std::initializer_list<const char*> names) {
  std::string text;
  for (const char* name : names) text += (text.empty() ? "" : "|") + row.at(name);
  return text;
}

// "2026-12-07 14:29:15" of the export within [from, to].
bool Within(const std::string& text, std::time_t from, std::time_t to) {
  std::tm tm{};
  if (!strptime(text.c_str(), "%Y-%m-%d %H:%M:%S", &tm) && !strptime(text.c_str(), "%m/%d/%Y %H:%M:%S", &tm))
    return false;
  const std::time_t t = timegm(&tm);
  return t >= from - 1 && t <= to + 1;
}

TEST_F(CupsServer, JobsFromTheStandardPageLogExportFieldByField) {
  std::string why;
  if (!Start(StandardFormat, why)) GTEST_SKIP() << "cannot run cupsd here: " << why;
  const std::time_t before = std::time(nullptr);
  Print("-t 'Quarterly report' -n 2 -o job-billing=ACME-7 -o media=a4 -o sides=two-sided-long-edge");
  Print("-t 'Minutes' -o media=na_letter_8.5x11in -o sides=one-sided");
  WaitForJobs(2);
  const std::time_t after = std::time(nullptr);
  const std::string log = dir_ + "/log/page_log", conf = " --cupsd-conf " + Quote(dir_ + "/cupsd.conf");
  const auto [status, out] = Import("log", "--page-log " + Quote(log) + conf);
  ASSERT_EQ(status, 0) << out << "\n" << ReadFile(log);
  EXPECT_NE(out.find("2 jobs imported, 0 known already, 0 lines skipped"), std::string::npos) << out;
  const auto rows = Export(Db("log"));
  ASSERT_EQ(rows.size(), 2u) << ReadFile(log);
  const std::string user = getpwuid(geteuid())->pw_name;
  EXPECT_TRUE(Within(rows[0].at("Date/Time"), before, after)) << rows[0].at("Date/Time");
  // Three pages, two-sided, two copies: four sides a copy, eight in all. The
  // standard log does not say the copies.
  EXPECT_EQ(Pick(rows[0], {"Job ID", "Sequence", "User", "Printer", "Queue", "Document", "Computer", "Print Server",
                           "Account", "Paper Size", "Status", "Total Pages", "Copies", "Pages", "Duplex", "Colour"}),
            "1|1|" + user + "|office|office|Quarterly report|localhost|" + HostName() +
                "|ACME-7|A4|Printed|8|0|0|Yes|No");
  EXPECT_EQ(Pick(rows[1], {"Document", "Account", "Paper Size", "Duplex", "Total Pages", "Sequence"}),
            "Minutes||Letter|No|3|2");
  // A line that cannot be read is named and skipped; the jobs around it come.
  const std::string text = ReadFile(log);
  const std::string damaged = env_.Root() + "/damaged_log";
  WriteFile(damaged, text.substr(0, text.find('\n') + 1) + "office root 9 [today] total 1\n" +
                         text.substr(text.find('\n') + 1));
  const auto skipped =
      Import("damaged", "--page-log " + Quote(damaged) + " --page-log-format " + Quote(StandardFormat));
  EXPECT_EQ(skipped.first, 0) << skipped.second;
  EXPECT_NE(skipped.second.find(damaged + ":2: the time \"[today]\" is no date"), std::string::npos) << skipped.second;
  EXPECT_NE(skipped.second.find("2 jobs imported, 0 known already, 1 line skipped"), std::string::npos)
      << skipped.second;
  // Again: nothing new.
  const auto again = Import("log", "--page-log " + Quote(log) + conf);
  EXPECT_NE(again.second.find("0 jobs imported, 2 known already"), std::string::npos) << again.second;
}

TEST_F(CupsServer, PageLogAndIppGiveTheSameJobsOnce) {
  std::string why;
  if (!Start(RichFormat, why)) GTEST_SKIP() << "cannot run cupsd here: " << why;
  Print("-t 'Quarterly report' -n 2 -o job-billing=ACME-7 -o media=a4 -o sides=two-sided-long-edge "
        "-o print-color-mode=color");
  Print("-t 'Minutes of the meeting' -o media=a4 -o print-color-mode=monochrome");
  WaitForJobs(2);
  const std::string log = dir_ + "/log/page_log", conf = " --cupsd-conf " + Quote(dir_ + "/cupsd.conf");
  auto [status, out] = Import("ipp", "--server " + Quote(socket_));
  ASSERT_EQ(status, 0) << out;
  EXPECT_NE(out.find("2 jobs imported, 0 known already"), std::string::npos) << out;
  // The page log logs the time of each job's making: the same keys, nothing twice.
  std::tie(status, out) = Import("ipp", "--page-log " + Quote(log) + conf);
  ASSERT_EQ(status, 0) << out;
  EXPECT_NE(out.find("0 jobs imported, 2 known already"), std::string::npos) << out << ReadFile(log);
  std::tie(status, out) = Import("log", "--page-log " + Quote(log) + conf);
  ASSERT_EQ(status, 0) << out;

  const auto fromIpp = Export(Db("ipp"));
  const auto fromLog = Export(Db("log"));
  ASSERT_EQ(fromIpp.size(), 2u) << ReadFile(log) << Shell("lpstat -h " + Quote(socket_) + " -W completed -o").second;
  EXPECT_EQ(fromIpp, fromLog);
  EXPECT_EQ(Pick(fromIpp[0], {"Document", "Account", "Copies", "Total Pages", "Pages", "Sheets", "Colour",
                              "Colour Pages", "Mono Pages", "Duplex", "Billable", "Released", "Cost"}),
            "Quarterly report|ACME-7|2|8|4|4|Yes|8|0|Yes|Yes|Yes|0.00");
  EXPECT_EQ(Pick(fromIpp[1], {"Document", "Copies", "Pages", "Colour", "Mono Pages"}),
            "Minutes of the meeting|1|3|No|3");
}

TEST_F(CupsServer, AMissingLogOrAnUnreachableSchedulerIsNamedAndWritesNothing) {
  const std::string missing = env_.Root() + "/nowhere/page_log";
  auto [status, out] = Import("none", "--page-log " + Quote(missing) + " --page-log-format " + Quote(StandardFormat));
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("there is no page log " + missing), std::string::npos) << out;
  std::tie(status, out) = Import("none", "--server " + Quote(env_.Root() + "/no.sock"));
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("cannot reach the print scheduler at " + env_.Root() + "/no.sock"), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(Db("none")));
}

}  // namespace
}  // namespace qx6
