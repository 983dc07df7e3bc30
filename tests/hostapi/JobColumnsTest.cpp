#include "hostapi/JobColumns.h"

#include <gtest/gtest.h>

#include <thread>

#include "tests/runtime/RuntimeTesting.h"

namespace qx6 {
namespace {

ComPtr<IJobColumns> MakeColumns(int count) {
  auto columns = MakeObject<JobColumns>();
  for (int i = 1; i <= count; ++i) columns->Add(MakeObject<JobColumn>(i, "Column " + std::to_string(i)).Get());
  return columns;
}

// Item N is column N, a missing one error 9; each object answers its own interfaces only.
TEST(JobColumns, ItemsAndInterfaces) {
  auto columns = MakeColumns(3);
  EXPECT_EQ(columns->Count(), 3);
  EXPECT_EQ(std::to_string(ColumnAt(*columns, 3).ColumnId()) + " " + ColumnAt(*columns, 3).DisplayName(), "3 Column 3");
  EXPECT_EQ(columns->Item(0), nullptr);
  EXPECT_EQ(test::ErrorOf([&] { ColumnAt(*columns, 4); }), 9);
  ComPtr<IUnknown> first(columns->Item(1));
  EXPECT_TRUE(first.As<IJobColumn>(IID_JobColumn));
  EXPECT_FALSE(first.As<IJobColumns>(IID_JobColumns));
  EXPECT_TRUE(columns.As<IJobColumns>(IID_JobColumns));
}

TEST(JobColumns, SharedSlotIsPerThread) {
  auto columns = MakeColumns(2);
  SetSharedExportColumns(columns);
  EXPECT_EQ(SharedExportColumns().Get(), columns.Get());
  bool otherThreadSawNone = false;
  std::thread([&] { otherThreadSawNone = !SharedExportColumns(); }).join();
  EXPECT_TRUE(otherThreadSawNone);
  SetSharedExportColumns(nullptr);
  EXPECT_FALSE(SharedExportColumns());
}

}  // namespace
}  // namespace qx6
