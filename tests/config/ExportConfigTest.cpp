#include "config/ExportConfig.h"

#include <gtest/gtest.h>

namespace qx6 {
namespace {

// The delimiter codes, "<tab>" and the decimal places show in the rows
// written (RowAssembly); here, the texts that are not converted.
TEST(ExportConfig, CustomDelimitersAndOtherTextsAreTrimmedAndTakenLiterally) {
  ExportConfig c;
  c.SetRowDelimiter(4);
  c.SetCustomRowDelimiter("  ~~  ");
  EXPECT_EQ(c.ConvertedRowDelimiter(), "~~");
  c.SetCustomRowDelimiter("<TAB>");
  EXPECT_EQ(c.ConvertedRowDelimiter(), "<TAB>");
  c.SetFieldDelimiter("<TAB> ");
  EXPECT_EQ(c.ConvertedFieldDelimiter(), "<TAB> ");
  // Trimmed properties drop outer spaces only.
  c.SetName("  My export  ");
  c.SetOutputFile(" /tmp/a b.csv ");
  c.SetDateFormat(" yyyy-mm-dd ");
  c.SetStripChars(" -/ ");
  c.SetFieldDelimiter(" ; ");
  EXPECT_EQ(c.Name() + "|" + c.OutputFile() + "|" + c.DateFormat() + "|" + c.StripChars() + "|" + c.FieldDelimiter(),
            "My export|/tmp/a b.csv|yyyy-mm-dd|-/| ; ");
  ExportColumn col;
  col.SetPadChar(" ");
  EXPECT_EQ(col.PadChar(), "");
  col.SetPadChar(" 0 ");
  col.SetName("  Title  ");
  col.SetFieldName(" Job ID ");
  EXPECT_EQ(col.PadChar() + "|" + col.Name() + "|" + col.FieldName(), "0|  Title  |Job ID");
}

}  // namespace
}  // namespace qx6
