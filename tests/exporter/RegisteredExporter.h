// The component as a host reaches it: the staged libraries registered by
// qx6regsvr in the test's private registry, QX6FlatFile created by its
// ProgID and driven through IJobExporter.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/HostColumns.h"
#include "hostapi/IJobExporter.h"
#include "platform/ComponentModel.h"
#include "platform/ScriptedUserInteraction.h"
#include "tests/support/TestEnvironment.h"

namespace qx6::test {

class RegisteredExporter : public ::testing::Test {
 protected:
  RegisteredExporter() {
    Register("");
    Guid clsid;
    EXPECT_EQ(platform::CLSIDFromProgID("QX6JobExportFlatFile.QX6FlatFile", &clsid), S_OK);
    exporter = platform::CreateObject<IJobExporter>(clsid, IID_IJobExporter);
    EXPECT_TRUE(exporter);
  }
  // qx6regsvr -s FLAGS for the type library and the component.
  static void Register(const std::string& flags) {
    for (const char* library : {"/lib/libqx6expinf.so", "/exporters/libqx6jeflt.so"}) {
      const std::string command = ShellQuote(QX6_PRODUCT_DIR "/bin/qx6regsvr") + " -s " + flags + " " +
                                  ShellQuote(QX6_PRODUCT_DIR + std::string(library));
      ASSERT_EQ(RunShell(command), 0) << command;
    }
  }
  // Initialize with the host's columns: the configurations listed, by name.
  std::vector<std::string> Initialize(int16_t decimals = 2) {
    Variant list;
    std::string code = "unchanged";
    EXPECT_EQ(exporter->Initialize(hostColumns.Get(), decimals, &code, &list), S_OK);
    EXPECT_EQ(code, "");
    std::vector<std::string> names;
    auto rows = list.ArrayValue();
    for (int32_t r = 0; r <= rows.UpperBound(1); ++r) names.emplace_back(rows.At(r, 1).StringValue());
    return names;
  }

  TestEnvironment env;
  platform::ScopedScriptedUserInteraction ui;
  ComPtr<IJobExporter> exporter;
  ComPtr<IJobColumns> hostColumns = host::MakeHostColumns();
};

}  // namespace qx6::test
