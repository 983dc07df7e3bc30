#include "host/CsvImport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "runtime/DateTime.h"
#include "runtime/RuntimeError.h"
#include "tests/host/HostTestSupport.h"
#include "tests/support/TestEnvironment.h"

namespace qx6::host {
namespace {

using qx6::test::TempFolder;
using qx6::test::WriteFile;

class CsvImportTest : public ::testing::Test {
 protected:
  int64_t Import(const std::string& text, size_t limit = CsvImport::MaxRecordBytes) {
    WriteFile(path_, text);
    return CsvImport::ImportFile(db_, path_, limit);
  }
  // The error of importing `text` as "NUMBER DESCRIPTION"; the database must be unchanged.
  std::string ImportError(const std::string& text, size_t limit = CsvImport::MaxRecordBytes) {
    const auto before = test::DumpJobs(db_);
    const std::string error = test::Failure([&] { Import(text, limit); });
    EXPECT_EQ(test::DumpJobs(db_), before) << "the failed import left jobs behind";
    return error;
  }
  // The columns `columns` of every job, in job id order, one line each, values separated by "|".
  std::vector<std::string> Values(std::initializer_list<int32_t> columns) {
    auto job = MakeHostColumns();
    std::vector<std::string> rows;
    db_.ForEachJob({}, {}, *job, [&] {
      std::string row;
      for (int32_t column : columns) row += (row.empty() ? "" : "|") + test::Describe(ColumnAt(*job, column).Value());
      rows.push_back(row);
      return true;
    });
    return rows;
  }

  TempFolder folder_;
  std::string path_ = folder_ / "jobs.csv";
  JobDatabase db_{folder_ / "jobs.db", OpenMode::Create};
};

TEST_F(CsvImportTest, TitlesInAnyCaseWithQuotingAndEmptyFields) {
  const int64_t count = Import(
      "\xEF\xBB\xBFjob id,USER,document,Date/Time,pages,Status,billable,Size (MB)\r\n"
      "10,alice,\"Report, final.docx\",2024-01-05 14:30:05,3,Printed,yes,1.25\r\n"
      "11,bob,\"He said \"\"hi\"\"\",2024-01-05T08:00:00,,2,FALSE,\r\n"
      "12,,\"two\r\nlines\",2024-02-29,7,held,1,-0.5\r\n"
      "13,\"\",Übersicht Q3.xlsx,,0,,0,3e2\r\n");
  EXPECT_EQ(count, 4);
  auto at = [](int month, int day, int hour, int minute, int second) {
    return "t:" + std::to_string(DateTime::DateSerial(2024, month, day) + DateTime::TimeSerial(hour, minute, second));
  };
  // Job ID, User, Document, Date/Time, Pages, Status, Billable, Size and Full Name, which the header leaves out.
  EXPECT_EQ(Values({1, 2, 7, 12, 23, 10, 27, 28, 3}),
            (std::vector<std::string>{
                "l:10|s:alice|s:Report, final.docx|" + at(1, 5, 14, 30, 5) + "|l:3|i:0|b:1|d:1.250000|null",
                "l:11|s:bob|s:He said \"hi\"|" + at(1, 5, 8, 0, 0) + "|null|i:2|b:0|null|null",
                "l:12|null|s:two\r\nlines|" + at(2, 29, 0, 0, 0) + "|l:7|i:3|b:1|d:-0.500000|null",
                "l:13|s:|s:Übersicht Q3.xlsx|null|l:0|null|b:0|d:300.000000|null"}));
}

TEST_F(CsvImportTest, NumbersAndFieldNamesAsHeaderBlankLinesAndIdsGivenOut) {
  EXPECT_EQ(Import("2,23,10\nalice,1,Cancelled\nbob,2,denied\n"), 2);
  EXPECT_EQ(Import("user,Colour,colour_pages\ncarol,true,4\n"), 1);
  EXPECT_EQ(Import("User\n"), 0);  // a header alone imports nothing
  // Blank lines and a missing final line break are fine.
  EXPECT_EQ(Import("User,Pages\n\ndave,5\r\n\r\neve,6"), 2);
  // Job ID, User, Status, Pages, Colour, Colour Pages.
  EXPECT_EQ(Values({1, 2, 10, 23, 21, 29}),
            (std::vector<std::string>{"l:1|s:alice|i:1|l:1|null|null", "l:2|s:bob|i:2|l:2|null|null",
                                      "l:3|s:carol|null|null|b:1|l:4", "l:4|s:dave|null|l:5|null|null",
                                      "l:5|s:eve|null|l:6|null|null"}));
}

TEST_F(CsvImportTest, MalformedRowsNameTheirLineAndKeepNothing) {
  Import("Job ID,User\n1,existing\n");

  const std::pair<std::string, std::string> cases[] = {  // {CSV text, message}
      {"User,Pages\nalice,1\n\"multi\nline\",2\nbob\n",
       "line 5: 1 field where the header has 2"},
      {"User,Pages\nalice,1\nbob,abc\n", "line 3: 'abc' is not a whole number (column Pages)"},
      {"User,Pages\nalice,1\nbob,99999999999\n",
       "line 3: '99999999999' is not a whole number from -2147483648 to 2147483647 (column Pages)"},
      {"User,Date/Time\nalice,2024-02-30 10:00:00\n",
       "line 2: '2024-02-30 10:00:00' is not a date and time (YYYY-MM-DD HH:MM:SS) (column Date/Time)"},
      {"User,Status\nalice,Lost\n",
       "line 2: 'Lost' is not a status (0 to 3, Printed, Cancelled, Denied or Held) (column Status)"},
      {"User,Duplex\nalice,maybe\n", "line 2: 'maybe' is not a Boolean (0/1, true/false, yes/no) (column Duplex)"},
      {"User,Cost\nalice,1,50\n", "line 2: 3 fields where the header has 2"},
      {"User,Cost\nalice,nan\n", "line 2: 'nan' is not a number (column Cost)"},
      {"User,Document\nalice,ok\nbob,\"never closed\n\n", "line 3: the quoted field 2 is never closed"},
      {"User,Document\nalice,\"quoted\"tail\n", "line 2: field 2 has text after its closing quote"},
      {"User,Colour Pagez\n", "line 1: unknown column 'Colour Pagez'"},
      {"User,2\n", "line 1: the column User appears twice"},
      {"Job ID,User\n2,new\n1,clash\n", "line 3: the job id 1 exists already"},
      {"User\n\xC3(\n", "line 2: '\xC3(' is not valid UTF-8 text (column User)"},
      {"", " is empty: it needs a header row naming the columns"},
      {[] {
         std::string header;
         for (int i = 1; i <= 46; ++i) header += (i > 1 ? "," : "") + std::to_string(i);
         return header + "\n";
       }(),
       "line 1: the header names 46 columns; there are 45 host columns"},
  };
  for (const auto& [csv, message] : cases)
    EXPECT_EQ(ImportError(csv),
              std::to_string(InvalidFileFormat) + " " + path_ + (message[0] == ' ' ? "" : " ") + message) << csv;
  EXPECT_EQ(Values({2}), (std::vector<std::string>{"s:existing"}));
}

TEST_F(CsvImportTest, ARecordBeyondTheLimitIsRefusedWithItsLine) {
  const std::string fits(62, 'x');  // two bytes for "1,"
  EXPECT_EQ(Import("Pages,User\n1," + fits + "\n", 64), 1);
  const std::string tooLong = std::to_string(InvalidFileFormat) + " " + path_ + " line ";
  EXPECT_EQ(ImportError("Pages,User\n1,x\n2," + fits + "y\n", 64), tooLong + "3: the record is longer than 64 bytes");
  // A quote never closed stops at the limit, not at the end of the input,
  // and the line named is the one where the record began.
  std::string unclosed = "Pages,User\n\n1,\"";
  for (int i = 0; i < 1000; ++i) unclosed += "a line of a field that goes on\n";
  EXPECT_EQ(ImportError(unclosed, 64), tooLong + "3: the record is longer than 64 bytes (is a quote never closed?)");
  // Commas count as bytes, so many empty fields cannot run away either.
  EXPECT_EQ(ImportError("Pages\n" + std::string(200, ',') + "\n", 64), tooLong + "2: the record is longer than 64 bytes");
  EXPECT_EQ(Values({23}), (std::vector<std::string>{"l:1"}));
}

TEST_F(CsvImportTest, OnlyRegularFilesAreRead) {
  // A pipe without a writer would block a reader for ever.
  const std::string fifo = folder_ / "jobs.fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::pair<std::string, std::string> cases[] = {
      {fifo, "a pipe (FIFO)"}, {"/dev/zero", "a device"}, {folder_.Path(), "a folder"}};
  for (const auto& [path, kind] : cases)
    EXPECT_EQ(test::Failure([&] { CsvImport::ImportFile(db_, path); }),
              std::to_string(RuntimeErrorNumber::PathFileAccessError) + " " + path + " is " + kind +
                  ", not a CSV file: only regular files can be imported");
  EXPECT_EQ(test::Failure([&] { CsvImport::ImportFile(db_, folder_ / "missing.csv"); }).substr(0, 3),
            std::to_string(RuntimeErrorNumber::FileNotFound) + " ");
  EXPECT_EQ(db_.CountJobs(), 0);
}

}  // namespace
}  // namespace qx6::host
