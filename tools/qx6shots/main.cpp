// qx6shots: renders the settings dialog on Qt's offscreen platform over the
// sample configurations and saves a picture of each page, for the README.
// It works in a private HOME and registry folder, so nothing of the user's
// is read or changed. Usage: qx6shots OUTPUT_FOLDER
#include <QApplication>
#include <QFontInfo>
#include <QTabBar>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "config/modFlatFile.h"
#include "dialog/frmExportSettings.h"
#include "host/HostColumns.h"
#include "hostapi/JobColumns.h"
#include "platform/ComponentFile.h"
#include "platform/ScriptedUserInteraction.h"
#include "runtime/RuntimeError.h"
#include "tests/support/TestEnvironment.h"
#include "ui/modLanguage.h"

namespace qx6 {
namespace {

namespace fs = std::filesystem;

// Where the sample configurations write; shown in the output-file box.
constexpr const char* SampleOutputFolder = "/srv/quorvex/exports";

struct Shot {
  const char* file;         // docs/images/<file>.png
  const char* configName;   // the configuration shown
  int page;                 // 0 format options, 1 columns
};

const Shot Shots[] = {
    {"dialog-format", "All jobs", 0},
    {"dialog-columns", "All jobs", 1},
    {"dialog-fixed-width", "Daily printer report", 0},
    {"dialog-summary", "Daily printer report", 1},
};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Copies the samples into the configuration folder with their output folder filled in.
void InstallSamples(const fs::path& samples, const fs::path& configFolder) {
  fs::create_directories(configFolder);
  for (const auto& entry : fs::directory_iterator(samples)) {
    if (entry.path().extension() != ".cfg") continue;
    std::string text = ReadAll(entry.path());
    for (size_t at = text.find("@OUTPUT@"); at != std::string::npos; at = text.find("@OUTPUT@", at))
      text.replace(at, 8, SampleOutputFolder);
    std::ofstream(configFolder / entry.path().filename(), std::ios::binary) << text;
  }
}

int32_t FindConfig(ExportConfigs& configs, const std::string& name) {
  for (int32_t k = 1; k <= configs.Count(); ++k)
    if (configs.Item(k)->Name() == name) return k;
  return 0;
}

int Main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: qx6shots OUTPUT_FOLDER\n");
    return 2;
  }
  const fs::path output = fs::absolute(argv[1]);
  fs::create_directories(output);

  // Before the application exists: the platform, and a private world.
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  test::TestEnvironment env;
  InstallSamples(QX6_SOURCE_DIR "/samples", env.ConfigFolder());
  platform::SetComponentFolderForTesting(QX6_PRODUCT_DIR "/exporters");
  modLanguage::LoadLanguage("qx6jeflt");
  SetSharedExportColumns(host::MakeHostColumns());
  // Nothing here should ask a question; if something does, it is answered and reported.
  platform::ScopedScriptedUserInteraction ui;

  QApplication app(argc, argv);
  const QFontInfo font(QApplication::font());
  std::fprintf(stderr, "qx6shots: application font %s %dpt\n", font.family().toUtf8().constData(),
               font.pointSize());

  auto configs = std::make_shared<ExportConfigs>();
  int32_t unused = 0;
  modFlatFile::LoadConfigurations(*configs, 2, "", "", unused);

  int failures = 0;
  for (const Shot& shot : Shots) {
    const int32_t id = FindConfig(*configs, shot.configName);
    if (id == 0) {
      std::fprintf(stderr, "qx6shots: no sample configuration '%s'\n", shot.configName);
      ++failures;
      continue;
    }
    dialog::frmExportSettings form;
    form.BeginSettings(configs, id);
    form.show();
    QApplication::processEvents();
    form.findChild<QTabBar*>("tabOptions")->setCurrentIndex(shot.page);
    QApplication::processEvents();
    const fs::path file = output / (std::string(shot.file) + ".png");
    if (!form.grab().save(QString::fromStdString(file.string()), "PNG")) {
      std::fprintf(stderr, "qx6shots: cannot write %s\n", file.c_str());
      ++failures;
      continue;
    }
    std::printf("%s\n", file.c_str());
    form.hide();
  }
  for (const auto& shown : ui->Messages()) {
    std::fprintf(stderr, "qx6shots: the dialog showed a message: %s\n", shown.text.c_str());
    ++failures;
  }
  SetSharedExportColumns(nullptr);
  return failures == 0 ? 0 : 1;
}

}  // namespace
}  // namespace qx6

int main(int argc, char** argv) {
  try {
    return qx6::Main(argc, argv);
  } catch (const qx6::RuntimeError& error) {
    std::fprintf(stderr, "qx6shots: error %d: %s\n", error.Number(), error.Description().c_str());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qx6shots: %s\n", error.what());
  }
  return 1;
}
