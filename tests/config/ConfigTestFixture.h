// The world of a configuration test: a private HOME and registry, the
// host's 45 columns in the thread's slot, the staged English library, and
// scripted answers for message boxes.
#pragma once

#include <gtest/gtest.h>

#include "host/HostColumns.h"
#include "hostapi/JobColumns.h"
#include "platform/ComponentFile.h"
#include "platform/ScriptedUserInteraction.h"
#include "tests/support/TestEnvironment.h"
#include "ui/clsQX6Branding.h"
#include "ui/modLanguage.h"

namespace qx6::test {

class ConfigTest : public ::testing::Test {
 protected:
  ConfigTest() {
    platform::SetComponentFolderForTesting(QX6_PRODUCT_DIR "/exporters");
    modLanguage::ResetForTesting();
    ResetBrandingForTesting();
    modLanguage::LoadLanguage("qx6jeflt");
    SetSharedExportColumns(host::MakeHostColumns());
  }
  ~ConfigTest() override {
    SetSharedExportColumns(nullptr);
    modLanguage::ResetForTesting();
    ResetBrandingForTesting();
    platform::SetComponentFolderForTesting("");
  }

  TestEnvironment env;
  platform::ScopedScriptedUserInteraction ui;
};

}  // namespace qx6::test
