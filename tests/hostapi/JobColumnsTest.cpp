#include "hostapi/JobColumns.h"

#include <gtest/gtest.h>

#include <thread>

#include "tests/runtime/RuntimeTesting.h"

namespace qx6 {
namespace {

ComPtr<IJobColumns> MakeColumns(int count) {
  auto columns = MakeObject<JobColumns>();
  for (int i = 1; i <= count; ++i) {
    auto column = MakeObject<JobColumn>(i, "Column " + std::to_string(i));
    columns->Add(column.Get());
  }
  return columns;
}

TEST(JobColumns, ItemNIsColumnNAndMissingItemsAreError9) {
  auto columns = MakeColumns(3);
  EXPECT_EQ(columns->Count(), 3);
  EXPECT_EQ(ColumnAt(*columns, 2).ColumnId(), 2);
  EXPECT_EQ(ColumnAt(*columns, 3).DisplayName(), "Column 3");
  EXPECT_EQ(columns->Item(0), nullptr);
  EXPECT_EQ(test::ErrorOf([&] { ColumnAt(*columns, 4); }), 9);
}

// An object answers its own interfaces only: an unknown one gives nothing.
TEST(JobColumns, ColumnsAndCollectionAnswerTheirOwnInterfacesOnly) {
  auto columns = MakeColumns(1);
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
