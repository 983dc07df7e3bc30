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

TEST(SampleJobs, TheSameSeedGivesTheSameJobsTotalsAddUpAndValuesLookReal) {
  TempFolder folder;
  const auto first = Sample(folder, "a.db", 400, 42), other = Sample(folder, "c.db", 400, 43);
  EXPECT_EQ(Sample(folder, "b.db", 400, 42), first);
  ASSERT_EQ(other.size(), 400u);
  size_t differing = 0;
  for (size_t i = 0; i < first.size(); ++i) differing += first[i] != other[i];
  EXPECT_GT(differing, 390u) << "another seed gives other jobs";

  JobDatabase db(folder / "jobs.db", OpenMode::Create);
  constexpr int64_t kCount = 5000;
  GenerateSampleJobs(db, kCount, 7);
  GenerateSampleJobs(db, 0, 3);
  ASSERT_EQ(db.CountJobs(), kCount);

  auto job = MakeHostColumns();
  auto value = [&](int32_t c) -> const Variant& { return ColumnAt(*job, c).Value(); };
  int32_t expectedId = 0;
  double lastDate = DateTime::DateSerial(2024, 1, 1);
  int statuses[4] = {}, workingHours = 0, nullComments = 0, emptyDocuments = 0;
  std::string documents;
  std::set<std::string> users;
  db.ForEachJob({}, {}, *job, [&] {
    SCOPED_TRACE("job " + std::to_string(expectedId + 1));
    EXPECT_EQ(value(1).LongValue(), ++expectedId);
    const int32_t pages = value(23).LongValue(), copies = value(24).LongValue(), total = value(25).LongValue();
    EXPECT_GE(pages, 1);
    EXPECT_EQ(total, pages * copies);
    EXPECT_EQ(value(29).LongValue() + value(30).LongValue(), total);
    EXPECT_TRUE(value(21).BooleanValue() || value(29).LongValue() == 0);  // colour pages only from colour jobs
    EXPECT_EQ(value(26).LongValue(), value(20).BooleanValue() ? (pages + 1) / 2 * copies : total);  // sheets
    const double cost = value(34).DoubleValue();
    EXPECT_NEAR(cost, std::round(total * value(32).DoubleValue() * 100) / 100, 1e-9);
    EXPECT_GE(value(35).DoubleValue(), cost);
    EXPECT_GT(value(28).DoubleValue(), 0);
    // Ids rise with time through 2024.
    EXPECT_GE(value(12).DateValue(), lastDate);
    lastDate = value(12).DateValue();
    const int hour = DateTime::Split(lastDate).hour;
    workingHours += hour >= 8 && hour < 18;
    ++statuses[value(10).IntegerValue()];
    EXPECT_EQ(value(13).IsNull(), !value(27).BooleanValue());  // client work is billable
    // Yes/No columns are never Null: a Null there fails every export of the column.
    for (int32_t c : {20, 21, 27, 36}) EXPECT_EQ(value(c).Type(), VarType::Boolean) << "column " << c;
    EXPECT_TRUE(!value(36).BooleanValue() || value(42).IsString()) << "released without a release station";
    nullComments += value(37).IsNull();
    emptyDocuments += value(7).IsString() && value(7).StringValue().empty();
    documents += std::string(value(7).StringValue()) + "\n";
    users.insert(std::string(value(2).StringValue()));
    for (int32_t c : {2, 3, 4, 6, 9, 11, 15, 16, 17, 18, 19, 39, 40, 41, 43, 44}) EXPECT_TRUE(value(c).IsString()) << c;
    return true;
  });
  EXPECT_EQ(expectedId, kCount);
  EXPECT_LT(lastDate, DateTime::DateSerial(2025, 1, 1));
  EXPECT_GE(DateTime::Split(lastDate).month, 12);  // the whole year is covered
  EXPECT_GT(statuses[0], kCount * 85 / 100);
  for (int s = 1; s <= 3; ++s) EXPECT_GT(statuses[s], 0) << "status " << s;
  EXPECT_GT(workingHours, kCount * 3 / 4);
  EXPECT_GT(nullComments, kCount * 9 / 10);
  EXPECT_GT(emptyDocuments, 0);
  EXPECT_LT(emptyDocuments, kCount / 50);
  // Names that need quoting or are not ASCII, among many users.
  for (const char* part : {",", "\"", "Ü"}) EXPECT_NE(documents.find(part), std::string::npos) << part;
  EXPECT_GT(users.size(), 30u);
}

}  // namespace
}  // namespace qx6::host
