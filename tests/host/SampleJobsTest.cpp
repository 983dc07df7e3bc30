#include "host/SampleJobs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "runtime/DateTime.h"
#include "tests/host/HostTestSupport.h"
#include "tests/support/TestEnvironment.h"

namespace qx6::host {
namespace {

using qx6::test::TempFolder;

std::vector<std::string> Sample(const TempFolder& folder, const std::string& name, int64_t count, uint64_t seed) {
  JobDatabase db(folder / name, OpenMode::Create);
  EXPECT_EQ(GenerateSampleJobs(db, count, seed), count);
  return test::DumpJobs(db);
}

TEST(SampleJobs, TheSameSeedGivesTheSameJobsAndAnotherSeedOthers) {
  TempFolder folder;
  const auto first = Sample(folder, "a.db", 400, 42);
  const auto again = Sample(folder, "b.db", 400, 42);
  const auto other = Sample(folder, "c.db", 400, 43);
  ASSERT_EQ(first.size(), 400u);
  EXPECT_EQ(first, again);
  ASSERT_EQ(other.size(), 400u);
  size_t differing = 0;
  for (size_t i = 0; i < first.size(); ++i) differing += first[i] != other[i];
  EXPECT_GT(differing, 390u);
}

TEST(SampleJobs, TotalsAddUpAndValuesLookReal) {
  TempFolder folder;
  JobDatabase db(folder / "jobs.db", OpenMode::Create);
  constexpr int64_t kCount = 5000;
  GenerateSampleJobs(db, kCount, 7);
  ASSERT_EQ(db.CountJobs(), kCount);

  const double yearStart = DateTime::DateSerial(2024, 1, 1), yearEnd = DateTime::DateSerial(2025, 1, 1);
  auto job = MakeHostColumns();
  auto value = [&](int32_t c) -> const Variant& { return ColumnAt(*job, c).Value(); };
  int32_t expectedId = 0;
  double lastDate = 0;
  int statuses[4] = {}, workingHours = 0, nullComments = 0, emptyDocuments = 0, billable = 0, duplex = 0;
  bool comma = false, quote = false, nonAscii = false;
  std::set<std::string> users;
  db.ForEachJob({}, {}, *job, [&] {
    EXPECT_EQ(value(1).LongValue(), ++expectedId);
    const int32_t pages = value(23).LongValue(), copies = value(24).LongValue(), total = value(25).LongValue();
    EXPECT_GE(pages, 1);
    EXPECT_EQ(total, pages * copies);
    EXPECT_EQ(value(29).LongValue() + value(30).LongValue(), total);
    if (!value(21).BooleanValue()) {
      EXPECT_EQ(value(29).LongValue(), 0);
    }
    const int32_t sheets = value(26).LongValue();
    EXPECT_EQ(sheets, value(20).BooleanValue() ? (pages + 1) / 2 * copies : total);
    const double cost = value(34).DoubleValue(), rate = value(32).DoubleValue();
    EXPECT_NEAR(cost, std::round(total * rate * 100) / 100, 1e-9) << "job " << expectedId;
    EXPECT_GE(value(35).DoubleValue(), cost);
    EXPECT_GT(value(28).DoubleValue(), 0);

    EXPECT_EQ(value(12).Type(), VarType::Date);
    const double date = value(12).DateValue();
    EXPECT_GE(date, yearStart);
    EXPECT_LT(date, yearEnd);
    EXPECT_GE(date, lastDate) << "job " << expectedId;  // ids rise with time
    lastDate = date;
    const DateTime::Parts when = DateTime::Split(date);
    workingHours += when.hour >= 8 && when.hour < 18;

    EXPECT_EQ(value(10).Type(), VarType::Integer);
    ++statuses[value(10).IntegerValue()];
    billable += value(27).BooleanValue();
    EXPECT_EQ(value(13).IsNull(), !value(27).BooleanValue());  // client work is billable
    duplex += value(20).BooleanValue();
    // Yes/No columns are never Null: a Null there fails every export of the column.
    for (int32_t c : {20, 21, 27, 36}) EXPECT_EQ(value(c).Type(), VarType::Boolean) << "job " << expectedId << " column " << c;
    if (value(36).BooleanValue()) {
      EXPECT_TRUE(value(42).IsString()) << "released without a release station";
    }
    nullComments += value(37).IsNull();
    const std::string_view document = value(7).StringValue();
    emptyDocuments += value(7).IsString() && document.empty();
    comma = comma || document.find(',') != std::string_view::npos;
    quote = quote || document.find('"') != std::string_view::npos;
    nonAscii = nonAscii || document.find("Ü") != std::string_view::npos;
    users.insert(std::string(value(2).StringValue()));
    for (int32_t c : {2, 3, 4, 6, 9, 11, 15, 16, 17, 18, 19, 39, 40, 41, 43, 44}) EXPECT_TRUE(value(c).IsString()) << c;
    return true;
  });
  EXPECT_EQ(expectedId, kCount);
  EXPECT_GT(statuses[0], kCount * 85 / 100);
  for (int s = 1; s <= 3; ++s) EXPECT_GT(statuses[s], 0) << "status " << s;
  EXPECT_GT(workingHours, kCount * 3 / 4);
  EXPECT_GT(nullComments, kCount * 9 / 10);
  EXPECT_GT(emptyDocuments, 0);
  EXPECT_LT(emptyDocuments, kCount / 50);
  EXPECT_GT(billable, 0);
  EXPECT_GT(duplex, 0);
  EXPECT_TRUE(comma && quote && nonAscii);
  EXPECT_GT(users.size(), 30u);
  // The whole year is covered.
  EXPECT_GE(DateTime::Split(lastDate).month, 12);
}

TEST(SampleJobs, MoreJobsContinueTheIdsOfAnExistingDatabase) {
  TempFolder folder;
  JobDatabase db(folder / "jobs.db", OpenMode::Create);
  GenerateSampleJobs(db, 10, 1);
  GenerateSampleJobs(db, 5, 2);
  const auto rows = test::DumpJobs(db, {{1, false}});
  ASSERT_EQ(rows.size(), 15u);
  EXPECT_EQ(rows.front().substr(0, 5), "l:15|");
  EXPECT_EQ(GenerateSampleJobs(db, 0, 3), 0);
  EXPECT_EQ(db.CountJobs(), 15);
}

}  // namespace
}  // namespace qx6::host
