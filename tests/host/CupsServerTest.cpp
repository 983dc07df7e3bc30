// Jobs from a real print scheduler: a private cupsd in a temporary folder
// (its own configuration, spool, logs and socket, a queue on a file: device),
// jobs printed to it with lp, imported from its page log and over IPP with
// qx6export, then exported and read back field by field.
#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <numeric>
#include <sstream>

#include "tests/host/HostTestSupport.h"

namespace qx6 {
namespace {

namespace fs = std::filesystem;
using host::test::Shell;
using test::WriteFile;

// The file's bytes, or nothing while it is not there yet.
std::string ReadFile(const std::string& path) { return fs::exists(path) ? test::ReadFile(path) : std::string(); }

std::string Quote(const std::string& text) { return "'" + text + "'"; }

// Pages of an empty PDF, A4, written by hand so that no tool is needed.
std::string Pdf(int pages) {
  std::string kids, pdf = "%PDF-1.4\n", xref;
  for (int i = 0; i < pages; ++i) kids += std::to_string(3 + i) + " 0 R ";
  std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>",
                                      "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>"};
  objects.resize(2 + pages, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << >> >>");
  char entry[32];
  for (size_t i = 0; i < objects.size(); ++i) {
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", pdf.size());
    xref += entry;
    pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
  }
  const std::string count = std::to_string(objects.size() + 1), start = std::to_string(pdf.size());
  return pdf + "xref\n0 " + count + "\n0000000000 65535 f \n" + xref + "trailer\n<< /Size " + count +
         " /Root 1 0 R >>\nstartxref\n" + start + "\n%%EOF\n";
}

// The page log items of a site that accounts for its printing.
constexpr const char* RichFormat =
    "%p %u %j %T %P %C %{copies} %{time-at-creation} %{job-media-sheets-completed} %{print-color-mode} "
    "%{job-k-octets} %{job-billing} %{job-originating-host-name} %{job-name} %{media} %{sides}";

class CupsServer : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* program : {"/usr/sbin/cupsd", "/usr/bin/lp", "/usr/sbin/lpadmin", "/usr/bin/lpstat"})
      if (access(program, X_OK) != 0)
        GTEST_SKIP() << program << " is missing: install cups-daemon and cups-client (./qx6 test does)";
    if (access(Ppd, R_OK) != 0) GTEST_SKIP() << Ppd << " is missing: install cups-filters (./qx6 test does)";
    const auto [status, out] = Run("register");
    ASSERT_EQ(status, 0) << out;
  }
  void TearDown() override { host::test::Stop(pid_); }

  // Starts cupsd with the page log `format`: "" when it runs, otherwise why it cannot run here.
  std::string Start(const std::string& format) {
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
      if (stat(above.c_str(), &info) != 0 || !(info.st_mode & S_IXOTH))
        return above.string() + " is closed to others, so cupsd's filters cannot reach the test's files; set TMPDIR";
    }
    const bool root = geteuid() == 0;
    if (root) {
      const passwd* lp = getpwnam("lp");
      if (!lp) return "there is no user lp for cupsd to run its filters as";
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
    pid_ = host::test::Spawn({"/usr/sbin/cupsd", "-f", "-c", dir_ + "/cupsd.conf", "-s", dir_ + "/cups-files.conf"},
                             dir_ + "/cupsd.out", dir_ + "/cupsd.out");
    for (int i = 0; i < 200; ++i) {
      if (Shell("lpstat -h " + Quote(socket_) + " -r").second.find("is running") != std::string::npos) break;
      if (host::test::WaitFor(pid_, std::chrono::milliseconds(50))) {
        pid_ = -1;
        return "cupsd stopped at once: " + ReadFile(dir_ + "/cupsd.out") + ReadFile(dir_ + "/log/error_log");
      }
    }
    const auto [status, out] = Shell("lpadmin -h " + Quote(socket_) + " -p office -E -v file://" + dir_ +
                                     "/out/office.out -P " + Ppd);
    if (status != 0) return "cupsd did not take a queue: " + out + ReadFile(dir_ + "/log/error_log");
    WriteFile(dir_ + "/report.pdf", Pdf(3));
    chmod((dir_ + "/report.pdf").c_str(), 0644);
    return "";
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
  // What qx6export jobs import-cups `arguments` into the database `db` printed; it must end with `status`.
  std::string Import(int status, const std::string& db, const std::string& arguments) {
    const auto [ended, out] = Run("--db " + Quote(Db(db)) + " jobs import-cups " + arguments);
    EXPECT_EQ(ended, status) << out;
    return out;
  }

  // The jobs of the database, one line each: the values of `columns`, separated by "|".
  std::vector<std::string> Export(const std::string& db, const std::vector<int>& columns) {
    const std::string settings = "<StringsInQuotes>False</StringsInQuotes>\r\n<FieldDelimiter>|</FieldDelimiter>\r\n"
                                 "<DateFormat>yyyy-mm-dd hh:nn:ss</DateFormat>\r\n<DecimalPlaces>2</DecimalPlaces>\r\n";
    WriteFile(env_.ConfigFolder() + "checked.cfg", host::test::ConfigText("Checked", "", columns, settings));
    const auto [status, text] = Run("--db " + Quote(db) + " run Checked --silent --output -");
    EXPECT_EQ(status, 0) << text;
    std::vector<std::string> rows;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line, '\n');)
      if (line.back() == '\r') rows.push_back(line.substr(0, line.size() - 1));
    return rows;
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

// "2026-12-07 14:29:15" of the export within [from, to].
bool Within(const std::string& text, std::time_t from, std::time_t to) {
  std::tm tm{};
  if (!strptime(text.c_str(), "%Y-%m-%d %H:%M:%S", &tm)) return false;
  const std::time_t t = timegm(&tm);
  return t >= from - 1 && t <= to + 1;
}

TEST_F(CupsServer, PrintedJobsComeOnceFromThePageLogAndOverIppAndExportFieldByField) {
  if (const std::string why = Start(RichFormat); !why.empty()) GTEST_SKIP() << "cannot run cupsd here: " << why;
  const std::time_t before = std::time(nullptr);
  Print("-t 'Quarterly report' -n 2 -o job-billing=ACME-7 -o media=a4 -o sides=two-sided-long-edge "
        "-o print-color-mode=color");
  Print("-t 'Minutes' -o media=na_letter_8.5x11in -o sides=one-sided -o print-color-mode=monochrome");
  WaitForJobs(2);
  const std::time_t after = std::time(nullptr);
  const std::string log = dir_ + "/log/page_log", conf = " --cupsd-conf " + Quote(dir_ + "/cupsd.conf");
  EXPECT_HAS(Import(0, "ipp", "--server " + Quote(socket_)), "2 jobs imported, 0 known already");
  // The page log logs the time of each job's making: the same keys, nothing twice.
  EXPECT_HAS(Import(0, "ipp", "--page-log " + Quote(log) + conf), "0 jobs imported, 2 known already");
  EXPECT_HAS(Import(0, "log", "--page-log " + Quote(log) + conf), "2 jobs imported, 0 known already, 0 lines skipped");

  std::vector<int> every(45);
  std::iota(every.begin(), every.end(), 1);
  ASSERT_EQ(Export(Db("ipp"), every).size(), 2u)
      << ReadFile(log) << Shell("lpstat -h " + Quote(socket_) + " -W completed -o").second;
  EXPECT_EQ(Export(Db("log"), every), Export(Db("ipp"), every));
  // Job ID, Sequence, User, Printer, Queue, Document, Computer, Print Server, Account, Paper Size, Status,
  // Copies, Total Pages, Pages, Sheets, Colour, Colour Pages, Mono Pages, Duplex, Billable, Released, Cost
  // and Date/Time. Three pages, two-sided, two copies: four sides a copy, eight in all.
  const auto rows = Export(Db("ipp"), {1, 31, 2, 6, 11, 7, 8, 9, 5, 15, 10, 24, 25, 23, 26, 21, 29, 30, 20, 27, 36,
                                       34, 12});
  const std::string by = std::string("|") + getpwuid(geteuid())->pw_name + "|office|office|";
  EXPECT_EQ(rows[0].substr(0, rows[0].rfind('|')), "1|1" + by + "Quarterly report|localhost|" + HostName() +
                                                       "|ACME-7|A4|Printed|2|8|4|4|Yes|8|0|Yes|Yes|Yes|0.00");
  EXPECT_EQ(rows[1].substr(0, rows[1].rfind('|')),
            "2|2" + by + "Minutes|localhost|" + HostName() + "||Letter|Printed|1|3|3|3|No|0|3|No|Yes|Yes|0.00");
  EXPECT_TRUE(Within(rows[0].substr(rows[0].rfind('|') + 1), before, after)) << rows[0];
}

TEST_F(CupsServer, AMissingLogOrAnUnreachableSchedulerIsNamedAndWritesNothing) {
  const std::string missing = env_.Root() + "/nowhere/page_log";
  EXPECT_HAS(Import(1, "none", "--page-log " + Quote(missing) + " --page-log-format " + Quote(RichFormat)),
             "there is no page log " + missing);
  EXPECT_HAS(Import(1, "none", "--server " + Quote(env_.Root() + "/no.sock")),
             "cannot reach the print scheduler at " + env_.Root() + "/no.sock");
  EXPECT_FALSE(fs::exists(Db("none")));
}

}  // namespace
}  // namespace qx6
