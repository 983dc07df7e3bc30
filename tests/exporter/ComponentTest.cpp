// The component as the host sees it: the staged libraries registered by
// qx6regsvr in the test's private registry, QX6FlatFile created by its ProgID
// and driven through IJobExporter only, its settings dialog on the offscreen
// platform driven by the names of its widgets.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <tuple>
#include <unistd.h>

#include "hostapi/ElevateEntry.h"
#include "hostapi/IJobExporter.h"
#include "platform/ComponentModel.h"
#include "platform/ScriptedUserInteraction.h"
#include "runtime/DateTime.h"
#include "runtime/Format.h"
#include "tests/exporter/ExporterTestSupport.h"
#include "tests/platform/RegistryValues.h"
#include "tests/runtime/RuntimeTesting.h"

namespace qx6 {
namespace {

using test::Job;
using test::ReadFile;
using test::WriteFile;

std::string Cfg(const std::string& name, const std::string& outputFile, const std::string& options,
                const std::string& columns) {
  return "<?xml version=\"1.0\"?>\r\n<root>\r\n<Name>" + name + "</Name>\r\n<Version>4</Version>\r\n<OutputFile>" +
         outputFile + "</OutputFile>\r\n" + options + columns;
}

// One column block, with more elements in `extra`; A: with a group, sort or total action.
std::string C(int index, const std::string& extra = "") {
  return "<Column>\r\n<Index>" + std::to_string(index) + "</Index>\r\n" + extra + "</Column>\r\n";
}
std::string A(int index, int action) { return C(index, "<Action>" + std::to_string(action) + "</Action>\r\n"); }

const std::string NoQuotes = "<StringsInQuotes>False</StringsInQuotes>\r\n";

class Component : public ::testing::Test {
 protected:
  Component() {
    Register("");
    Guid clsid;
    EXPECT_EQ(platform::CLSIDFromProgID("QX6JobExportFlatFile.QX6FlatFile", &clsid), S_OK);
    exporter = platform::CreateObject<IJobExporter>(clsid, IID_IJobExporter);
    EXPECT_TRUE(exporter);
  }
  // qx6regsvr -s FLAGS for the type library and the component.
  static void Register(const std::string& flags) {
    for (const char* library : {"/lib/libqx6expinf.so", "/exporters/libqx6jeflt.so"}) {
      const std::string command = test::ShellQuote(QX6_PRODUCT_DIR "/bin/qx6regsvr") + " -s " + flags + " " +
                                  test::ShellQuote(QX6_PRODUCT_DIR + std::string(library));
      ASSERT_EQ(test::RunShell(command), 0) << command;
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
  int32_t IdOf(const std::string& name) {
    auto names = Initialize();
    for (size_t i = 0; i < names.size(); ++i)
      if (names[i] == name) return static_cast<int32_t>(i + 1);
    ADD_FAILURE() << name << " not listed";
    return 0;
  }
  bool Start(int32_t id, bool silent = true) {
    bool started = false;
    EXPECT_EQ(exporter->StartExport(id, silent, &started), S_OK);
    return started;
  }
  // Saves configuration `name` (file "<name>.cfg") and starts an export with it.
  bool StartWith(const std::string& name, const std::string& outputFile, const std::string& options,
                 const std::string& columns, bool silent = true) {
    WriteFile(env.ConfigFolder() + name + ".cfg", Cfg(name, outputFile, options, columns));
    return Start(IdOf(name), silent);
  }
  HRESULT Write(const ComPtr<IJobColumns>& job) {
    bool ok = false;
    const HRESULT hr = exporter->WriteJob(job.Get(), &ok);
    EXPECT_EQ(ok, hr == S_OK);
    return hr;
  }
  // What a call without arguments hands back, the call succeeding.
  template <typename T>
  T Get(HRESULT (IJobExporter::*method)(T*)) {
    T value{};
    EXPECT_EQ((exporter.Get()->*method)(&value), S_OK);
    return value;
  }
  void Done() { EXPECT_TRUE(Get(&IJobExporter::DoneExport)); }
  std::string LastError() { return Get(&IJobExporter::GetLastError); }
  std::string ResultsPath() { return Get(&IJobExporter::get_EmailableResultsPath); }
  // Runs `drive` on the settings dialog once EditConfiguration has shown it, on a Qt application of the test's own.
  bool Edit(int32_t& configId, const std::function<void(QWidget&)>& drive) {
    static int argc = 1;
    static char name[] = "qx6component_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    QTimer::singleShot(0, app, [&] {
      QWidget* dialog = QApplication::activeModalWidget();
      ASSERT_TRUE(dialog && dialog->objectName() == "frmExportSettings") << "no settings dialog shown";
      drive(*dialog);
      if (dialog->isVisible()) dialog->close();
    });
    bool changed = false;
    EXPECT_EQ(exporter->EditConfiguration(nullptr, &configId, &changed), S_OK);
    return changed;
  }

  test::TestEnvironment env;
  platform::ScopedScriptedUserInteraction ui;
  ComPtr<IJobExporter> exporter;
  ComPtr<IJobColumns> hostColumns = host::MakeHostColumns();
  // Saves a configuration file, runs it over the jobs and returns the output.
  std::string Run(const std::string& options, const std::string& columns,
                  const std::vector<std::map<int, Variant>>& jobs) {
    const std::string out = env.Root() + "/out.txt";
    EXPECT_TRUE(StartWith("Run", out, options, columns));
    for (const auto& job : jobs) EXPECT_EQ(Write(Job(job)), S_OK);
    Done();
    return ReadFile(out);
  }
  // The error the last call left for the host, as "NUMBER DESCRIPTION (SOURCE; DETAIL)".
  static std::string ErrorInfo() {
    auto info = platform::TakeErrorInfo();
    if (!info) return "no error info";
    return std::to_string(info->number) + " " + info->description + " (" + info->source + "; " + info->detail + ")";
  }
};

TEST_F(Component, FixedTextsStateBeforeInitializeIdentifiersSortColumnsBadConfigurationsAndUnregistering) {
  EXPECT_EQ(Get(&IJobExporter::get_ClassName) + "|" + Get(&IJobExporter::get_Name),
            "QX6JobExportFlatFile.QX6FlatFile|Flat File Export");
  EXPECT_TRUE(Get(&IJobExporter::get_CanEmailResults));
  EXPECT_FALSE(Start(1));
  int32_t id = 5;
  bool changed = true;
  EXPECT_EQ(exporter->EditConfiguration(nullptr, &id, &changed), S_OK);
  EXPECT_EQ(std::to_string(id) + " " + std::to_string(changed), "5 0") << "no dialog before Initialize";
  ComPtr<IJobColumns> sortColumns;
  EXPECT_EQ(exporter->GetSortCols(sortColumns.Put()), S_OK);
  EXPECT_FALSE(sortColumns);
  EXPECT_TRUE(exporter.As<IUnknown>(Guid::FromString("{6DE626DA-57D7-4C27-8274-DA40D5FC1885}")));

  WriteFile(env.ConfigFolder() + "b.cfg", Cfg("Weekly", "", "", ""));
  EXPECT_EQ(Initialize(), (std::vector<std::string>{"<Default>", "Weekly"}));
  EXPECT_FALSE(Start(0));
  EXPECT_FALSE(Start(3));
  EXPECT_EQ(LastError(), "");
  // The sort columns come from the group and sort actions.
  ASSERT_TRUE(StartWith("Sorted", env.Root() + "/s.txt", "", A(29, 2) + C(2)));
  ASSERT_EQ(exporter->GetSortCols(sortColumns.Put()), S_OK);
  ASSERT_TRUE(sortColumns);
  std::string sorted;
  for (int32_t i = 1; i <= sortColumns->Count(); ++i)
    sorted += std::to_string(sortColumns->Item(i)->ColumnId()) + (sortColumns->Item(i)->Ascending() ? "+ " : "- ");
  EXPECT_EQ(sorted, "29- 31+ ");
  Done();
  WriteFile(env.ConfigFolder() + "bad.cfg", Cfg("Bad", "", "<OutputType>abc</OutputType>\r\n", ""));
  Variant list;
  EXPECT_EQ(exporter->Initialize(hostColumns.Get(), 2, nullptr, &list), RuntimeErrorStatus(13));
  EXPECT_EQ(ErrorInfo().substr(0, 16), "13 Type mismatch");

  Register("-u");
  Guid clsid;
  EXPECT_EQ(platform::CLSIDFromProgID("QX6JobExportFlatFile.QX6FlatFile", &clsid), REGDB_E_CLASSNOTREG);
}

TEST_F(Component, SummaryTotalsPerGroupAndDay) {
  const std::string summary = "<ExportType>1</ExportType>\r\n" + NoQuotes;
  // Options, columns, the jobs, the rows.
  const std::tuple<std::string, std::string, std::vector<std::map<int, Variant>>, std::string> cases[] = {
      // A column without an action shows the last value of a group whose values all agree.
      {summary, A(4, 1) + A(23, 3) + C(2),
       {{{4, Variant("A")}, {23, Variant(1)}, {2, Variant("x")}},
        {{4, Variant("A")}, {23, Variant(2)}, {2, Variant("x")}},
        {{4, Variant("B")}, {23, Variant(4)}, {2, Variant("y")}}},
       "A,3,\r\nB,4,y\r\n"},
      {summary + "<DateFormat>yyyy-mm-dd hh:nn</DateFormat>\r\n", A(12, 1) + A(25, 3),
       {{{12, Variant::Date(test::At(2024, 2, 1, 9))}, {25, Variant(3)}},
        {{12, Variant::Date(test::At(2024, 2, 1, 17))}, {25, Variant(4)}},
        {{12, Variant::Date(test::At(2024, 2, 2, 8))}, {25, Variant(1)}}},
       "2024-02-01 00:00,7\r\n2024-02-02 00:00,1\r\n"},
      // No group column: one row at the end.
      {summary, A(23, 3), {{{23, Variant(5)}}, {{23, Variant(6)}}}, "11\r\n"},
      // Null group values form their own group.
      {summary, A(4, 1) + A(23, 3),
       {{{4, Variant("A")}, {23, Variant(1)}}, {{4, Variant::Null()}, {23, Variant(2)}}, {{4, Variant::Null()}, {23, Variant(3)}}},
       "A,1\r\n,5\r\n"},
      // A run that receives no job writes no row.
      {summary, A(23, 3), {}, ""},
  };
  for (const auto& [options, columns, jobs, rows] : cases) EXPECT_EQ(Run(options, columns, jobs), rows) << columns;
  EXPECT_EQ(ResultsPath(), env.Root() + "/out.txt");
}

TEST_F(Component, OutputFileModes) {
  // The date and time go before the last dot, also a folder's when the file
  // has none (that folder must exist): out<mmm><dd><yyyy><hh><nn><ss>.csv
  test::NowScope clock(test::At(2030, 3, 5, 14, 7, 9));
  std::filesystem::create_directories(env.Root() + "/myMar052030140709.dir");
  for (const auto& [name, tail] : {std::pair<std::string, std::string>{"/out", ".csv"}, {"/my", ".dir/jobs"}}) {
    ASSERT_TRUE(StartWith("Stamp", env.Root() + name + tail, "<AppendDateTime>True</AppendDateTime>\r\n", C(2)));
    Done();
    EXPECT_EQ(ResultsPath(), env.Root() + name + "Mar052030140709" + tail);
    EXPECT_TRUE(test::FileExists(ResultsPath())) << ResultsPath();
  }
  // Append keeps the earlier rows; overwrite empties the file even without jobs,
  // and a title row waits for the first job.
  const std::string keep = env.Root() + "/keep.txt";
  WriteFile(keep, "earlier\r\n");
  ASSERT_TRUE(StartWith("App", keep, "<AppendJobs>True</AppendJobs>\r\n<ColumnNames>True</ColumnNames>\r\n" + NoQuotes, C(2)));
  EXPECT_EQ(Write(Job({{2, Variant("u1")}})), S_OK);
  Done();
  EXPECT_EQ(ReadFile(keep), "earlier\r\nUser\r\nu1\r\n");
  ASSERT_TRUE(StartWith("App", keep, "<ColumnNames>True</ColumnNames>\r\n", C(2)));
  Done();
  Done();
  EXPECT_EQ(ReadFile(keep), "");
}

TEST_F(Component, MissingOutputFileNameAndMissingFolderAndInteractiveRunsAskForTheFile) {
  Initialize();
  EXPECT_FALSE(Start(1, true));
  EXPECT_NE(LastError(), "");
  EXPECT_EQ(ui->Messages().size() + ui->FileDialogs().size(), 0u) << "a silent run asks nothing";
  EXPECT_EQ(ResultsPath(), "");

  ASSERT_TRUE(StartWith("Ok", env.Root() + "/ok.txt", "", C(2)));
  Done();
  EXPECT_FALSE(StartWith("Gone", env.Root() + "/missing/out.txt", "", C(2)));
  // The standard text, then the file it is about.
  EXPECT_NE(LastError().find("76"), std::string::npos) << LastError();
  EXPECT_NE(LastError().find("\"" + env.Root() + "/missing/out.txt\""), std::string::npos) << LastError();
  EXPECT_TRUE(ui->Messages().empty());
  EXPECT_EQ(ResultsPath(), env.Root() + "/ok.txt");
  EXPECT_FALSE(Start(IdOf("Gone"), false));
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_EQ(ui->Messages()[0].icon, platform::MessageIcon::Critical);
  EXPECT_EQ(ui->Messages()[0].title + ": " + ui->Messages()[0].text,
            "Quorvex 6: The output file could not be opened (error 76: Path not found). Check that its folder exists, that you "
            "may write there and that no other program holds the file.");
  // A file that is not found in a folder that exists (a link to nowhere) is
  // error 53, whose message speaks of the file, not of its folder.
  ASSERT_EQ(symlink((env.Root() + "/missing/out.txt").c_str(), (env.Root() + "/dangling.txt").c_str()), 0);
  EXPECT_FALSE(StartWith("Dangling", env.Root() + "/dangling.txt", "", C(2), false));
  EXPECT_NE(LastError().find("(error 53: File not found)"), std::string::npos) << LastError();
  ASSERT_EQ(ui->Messages().size(), 2u);
  EXPECT_EQ(ui->Messages()[1].icon, platform::MessageIcon::Exclamation);
  EXPECT_EQ(ui->Messages()[1].text, "The output file \"" + env.Root() +
                                        "/dangling.txt\" was not found and could not be created. Check the output file "
                                        "name in the export configuration.");

  // Interactive runs ask for the file.
  ui->ClearRecord();
  ui->QueueFile(platform::FileDialogResult{env.Root() + "/picked", 1});
  EXPECT_TRUE(Start(1, false));
  Done();
  ASSERT_EQ(ui->FileDialogs().size(), 1u);
  EXPECT_TRUE(ui->FileDialogs()[0].save);
  // The first pair's pattern gives the extension of a name without one.
  const std::string picked = ResultsPath();
  EXPECT_EQ(picked.rfind(env.Root() + "/picked", 0), 0u);
  EXPECT_TRUE(test::FileExists(picked));
  EXPECT_TRUE(Start(1, false));
  Done();
  EXPECT_EQ(ui->FileDialogs().size(), 1u);
  // Cancelled: the no-name text, no message box.
  Initialize();
  EXPECT_FALSE(Start(1, false));
  EXPECT_TRUE(ui->Messages().empty());
  // A quick start exports every column it is given.
  bool started = false;
  EXPECT_EQ(exporter->QuickStartExport(nullptr, true, &started), S_OK);
  EXPECT_FALSE(started);
  auto two = MakeObject<JobColumns>();
  for (const auto& column : {MakeObject<JobColumn>(1, "Job ID"), MakeObject<JobColumn>(2, "User")})
    two->Add(column.Get());
  EXPECT_EQ(exporter->QuickStartExport(two.Get(), true, &started), S_OK);
  EXPECT_FALSE(started);
  ui->QueueFile(platform::FileDialogResult{env.Root() + "/quick.csv", 1});
  EXPECT_EQ(exporter->QuickStartExport(two.Get(), false, &started), S_OK);
  ASSERT_TRUE(started);
  EXPECT_EQ(Write(Job({{1, Variant(7)}, {2, Variant("eve")}})), S_OK);
  Done();
  EXPECT_EQ(ReadFile(env.Root() + "/quick.csv"), "\"7\",\"eve\"\r\n");
}

TEST_F(Component, FailuresInsideWriteJobReachTheHost) {
  ASSERT_TRUE(StartWith("F", env.Root() + "/f.txt", NoQuotes + "<DateFormat>yyyy</DateFormat>\r\n", C(12)));
  EXPECT_EQ(Write(Job({{12, Variant::Date(test::At(2024, 1, 1))}})), S_OK);
  EXPECT_EQ(Write(Job({{12, Variant::Null()}})), RuntimeErrorStatus(94));
  // Beside the standard number and text: the output column and its title.
  EXPECT_EQ(ErrorInfo(), "94 Invalid use of Null (QX6JobExportFlatFile; output column 1 \"Date/Time\")");
  Done();
  EXPECT_EQ(ReadFile(env.Root() + "/f.txt"), "2024\r\n");

  ASSERT_TRUE(StartWith("W", env.Root() + "/w.txt", "<OutputType>1</OutputType>\r\n", C(2)));
  EXPECT_EQ(Write(Job({{2, Variant("x")}})), RuntimeErrorStatus(5));
  Done();

  // A total that is no number: the summary's column is named too.
  ASSERT_TRUE(StartWith("T", env.Root() + "/t.txt", "<ExportType>1</ExportType>\r\n", A(4, 1) + A(23, 3)));
  EXPECT_EQ(Write(Job({{4, Variant("A")}, {23, Variant("many")}})), RuntimeErrorStatus(13));
  EXPECT_EQ(ErrorInfo(), "13 Type mismatch (QX6JobExportFlatFile; output column 2 \"Pages\")");
  Done();
}

TEST_F(Component, SchedulingEntriesAndTheFolderTheyName) {
  std::string error;
  ComPtr<IUnknown> entries;
  bool ok = true;
  EXPECT_EQ(exporter->GetSchedulingEntries(1, entries.Put(), &error, &ok), S_OK);
  EXPECT_FALSE(ok);
  const std::string notLoaded = error;
  EXPECT_FALSE(notLoaded.empty());
  Initialize();
  EXPECT_EQ(exporter->GetSchedulingEntries(1, entries.Put(), &error, &ok), S_OK);
  EXPECT_FALSE(ok);
  EXPECT_NE(error, notLoaded);
  WriteFile(env.ConfigFolder() + "nightly.cfg", Cfg("Nightly", env.Root() + "/n.txt", "", C(2)));
  EXPECT_EQ(exporter->GetSchedulingEntries(IdOf("Nightly"), entries.Put(), &error, &ok), S_OK);
  ASSERT_TRUE(ok);
  auto collection = entries.As<IObjectCollection>(IID_IObjectCollection);
  ASSERT_TRUE(collection);
  ASSERT_EQ(collection->Count(), 1);
  auto entry = ComPtr<IUnknown>(collection->Item(1)).As<IElevateEntry>(IID_IElevateEntry);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->SectionKey() + "|" + entry->ValueName() + "|" + std::string(entry->Value().StringValue()) + "|" +
                std::to_string(entry->ValueType()),
            "|QXFlatFileConfigs|" + env.ConfigFolder() + "|1");

  // The scheduled run reads its folder back from HKEY_LOCAL_MACHINE.
  const std::string other = env.Root() + "/scheduled/";
  WriteFile(other + "x.cfg", Cfg("Only here", "", "", ""));
  ASSERT_EQ(test::PutText(platform::HKEY_LOCAL_MACHINE, "Software\\Tasks\\T1", "QXFlatFileConfigs", other), 0);
  EXPECT_EQ(exporter->LoadSchedulingInfo("Software\\Tasks\\T1", nullptr, &ok), S_OK);
  EXPECT_TRUE(ok);
  EXPECT_EQ(Initialize(), (std::vector<std::string>{"<Default>", "Only here"}));
  EXPECT_EQ(exporter->LoadSchedulingInfo("Software\\Tasks\\None", nullptr, &ok), S_OK);
  EXPECT_EQ(Initialize(), (std::vector<std::string>{"<Default>", "Nightly"}));
}

TEST_F(Component, ASaveAsInTheDialogIsListedUnderTheIdentifierHandedBackAndClosingUnchangedKeepsIt) {
  WriteFile(env.ConfigFolder() + "zeta.cfg", Cfg("Zeta", "", "<NumDecimalPlaces>2</NumDecimalPlaces>\r\n", C(1)));
  EXPECT_EQ(Initialize(), (std::vector<std::string>{"<Default>", "Zeta"}));
  int32_t id = 2;
  EXPECT_FALSE(Edit(id, [](QWidget&) {})) << "closed unchanged";
  EXPECT_EQ(id, 2);
  ui->QueueInput(std::string("Alpha"));
  EXPECT_TRUE(Edit(id, [](QWidget& dialog) {
    QTest::mouseClick(dialog.findChild<QAbstractButton*>("cmdSaveAs"), Qt::LeftButton);
  }));
  EXPECT_TRUE(ui->Messages().empty());
  ASSERT_EQ(Initialize(), (std::vector<std::string>{"<Default>", "Alpha", "Zeta"}));
  EXPECT_EQ(id, 2) << "the identifier of Alpha in the new list";
}

}  // namespace
}  // namespace qx6
