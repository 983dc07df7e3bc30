// Reading and writing an ExportConfig's ".cfg" file: the line format of
// modXMLHelper, the conversions of earlier format versions, and the store's
// save and delete with their messages.
#include <cerrno>
#include <cstring>
#include <optional>
#include <unistd.h>

#include "config/ExportConfig.h"
#include "config/modFlatFile.h"
#include "config/modXMLHelper.h"
#include "hostapi/JobColumns.h"
#include "platform/FileAttributes.h"
#include "platform/UserInteraction.h"
#include "runtime/Conversion.h"
#include "runtime/RuntimeError.h"
#include "runtime/Strings.h"
#include "runtime/TextFile.h"
#include "ui/clsQX6Branding.h"
#include "ui/modLanguage.h"

namespace qx6 {
namespace {

// Closes the file however the reading or writing ends.
class OpenFile {
 public:
  explicit OpenFile(int16_t number) : number_(number) {}
  ~OpenFile() {
    if (number_ != 0) {
      try {
        TextFile::Close(number_);
      } catch (const RuntimeError&) {
      }
    }
  }
  // Closes now, letting an error of the final write reach the caller.
  void Close() { TextFile::Close(std::exchange(number_, int16_t{0})); }

 private:
  int16_t number_;
};

bool ReadBoolean(const std::string& value) { return Convert::ToBoolean(Variant::String(value)); }
int16_t ReadInteger(const std::string& value) { return Convert::ToInteger(Variant::String(value)); }
const char* TrueFalse(bool value) { return value ? "True" : "False"; }

void ShowFileError(int stringId, const RuntimeError& error) {
  platform::CurrentUserInteraction().MessageBox(
      modLanguage::GetLangString(stringId, {Variant(static_cast<int32_t>(error.Number())), Variant(error.Description())}),
      platform::MessageButtons::OK, platform::MessageIcon::Exclamation, SharedBranding().ProductName());
}

}  // namespace

int16_t ExportConfig::MapColumnIndex(int16_t index) const {
  int32_t i = index;
  if (version_ == 1) {
    if (i > 6) i += 4;
    else if (i > 4) i += 2;
    else if (i > 1) i += 1;
  }
  if (version_ < 3) {
    if (i > 27) i += 5;
    else if (i > 26) i += 4;
    else if (i > 22) i += 2;
  }
  if (version_ < 4) {
    if (i > 12) i += 1;
  }
  if (i > 32767) Raise(RuntimeErrorNumber::Overflow);
  return static_cast<int16_t>(i);
}

bool ExportConfig::Load(const std::string& pstrConfigFile) {
  int16_t fileNumber = 0;
  try {
    fileNumber = TextFile::FreeFile();
    TextFile::OpenForInput(fileNumber, pstrConfigFile);
  } catch (const RuntimeError&) {
    return false;
  }
  OpenFile file(fileNumber);

  version_ = 1;
  numDecimalPlaces_ = 3;
  exportType_ = Details;
  // Outside the 16-bit range: no pending totals column.
  constexpr int32_t NoTotalsColumn = -40000;
  int32_t pendingTotalsColumn = NoTotalsColumn;
  ExportColumnPtr column;
  configFile_ = pstrConfigFile;
  ComPtr<IJobColumns> hostColumns = SharedExportColumns();

  std::string line;
  int32_t lineNumber = 1;  // the line being read or taken apart
  try {
    for (; TextFile::ReadLine(fileNumber, line); ++lineNumber) {
      const std::string tag = Strings::UCase(modXMLHelper::XmlTagName(line));
      if (tag.empty()) continue;
      const std::string value = modXMLHelper::XmlTagValue(line);
      if (tag == "VERSION") {
        version_ = ReadInteger(value);
      } else if (tag == "NAME") {
        name_ = value;
      } else if (tag == "OUTPUTFILE") {
        outputFile_ = value;
      } else if (tag == "OUTPUTTYPE") {
        outputType_ = ReadInteger(value);
      } else if (tag == "FIELDDELIMITER") {
        fieldDelimiter_ = value;
      } else if (tag == "BEGINNINGDELIMITER") {
        beginningDelimiter_ = ReadBoolean(value);
      } else if (tag == "TRAILINGDELIMITER") {
        trailingDelimiter_ = ReadBoolean(value);
      } else if (tag == "ROWDELIMITER") {
        rowDelimiter_ = ReadInteger(value);
      } else if (tag == "CUSTOMROWDELIMITER") {
        customRowDelimiter_ = value;
      } else if (tag == "STRINGSINQUOTES") {
        stringsInQuotes_ = ReadBoolean(value);
      } else if (tag == "COLUMNNAMES") {
        columnNames_ = ReadBoolean(value);
      } else if (tag == "APPENDJOBS") {
        if (ReadBoolean(value)) createOption_ = AppendRows;
      } else if (tag == "DATEFORMAT") {
        dateFormat_ = value;
      } else if (tag == "STRIPCHARS") {
        stripChars_ = value;
      } else if (tag == "AUTOSTRIP") {
        autoStripDelimiters_ = ReadBoolean(value);
      } else if (tag == "APPENDDATETIME") {
        if (ReadBoolean(value)) createOption_ = CreateWithDateTime;
      } else if (tag == "TOTALSONLY") {
        if (version_ < 3) exportType_ = ReadBoolean(value) ? Summary : Details;
      } else if (tag == "TOTALSCOLUMN") {
        if (version_ < 3) pendingTotalsColumn = MapColumnIndex(ReadInteger(value));
      } else if (tag == "EXPORTTYPE") {
        exportType_ = ReadInteger(value);
        pendingTotalsColumn = NoTotalsColumn;
      } else if (tag == "DECIMALPLACES") {
        numDecimalPlaces_ = ReadInteger(value);
      } else if (tag == "COLUMN") {
        column = std::make_shared<ExportColumn>();
      } else if (tag == "INDEX") {
        if (!column) continue;
        column->SetIndex(MapColumnIndex(ReadInteger(value)));
        if (pendingTotalsColumn != NoTotalsColumn && column->Index() == pendingTotalsColumn && version_ < 3 &&
            exportType_ == Summary)
          column->SetAction(1);
        if (hostColumns) {
          if (IJobColumn* hostColumn = hostColumns->Item(column->Index())) column->SetName(hostColumn->DisplayName());
        }
      } else if (tag == "WIDTH") {
        if (column) column->SetWidth(ReadInteger(value));
      } else if (tag == "RIGHTJUSTIFY") {
        if (column) column->SetRightJustify(ReadBoolean(value));
      } else if (tag == "PADCHAR") {
        if (column) column->SetPadChar(value);
      } else if (tag == "CUSTOMNAME") {
        if (column) column->SetName(value);
      } else if (tag == "ACTION") {
        if (column) column->SetAction(ReadInteger(value));
      } else if (tag == "/COLUMN") {
        // The column stays current until the next <Column>: an element
        // after </Column> still changes it, and a second </Column> adds the
        // same column once more.
        if (column) columns_->Add(column);
      }
    }
  } catch (RuntimeError& error) {
    // The number and text stay the runtime's; the file and line say where.
    error.SetDetail(pstrConfigFile + ", line " + std::to_string(lineNumber));
    throw;
  }
  version_ = CurrentVersion;
  file.Close();
  return true;
}

void ExportConfig::WriteContent(int16_t fileNumber) const {
  using namespace modXMLHelper;
  auto element = [&](std::string_view name, std::string_view value) {
    TextFile::WriteLine(fileNumber, XmlElement(name, value));
  };
  auto number = [&](std::string_view name, int32_t value) { element(name, std::to_string(value)); };
  TextFile::WriteLine(fileNumber, XmlDeclaration());
  TextFile::WriteLine(fileNumber, XmlOpenTag("root"));
  element("Name", name_);
  element("Version", "4");
  element("OutputFile", outputFile_);
  number("OutputType", outputType_);
  element("FieldDelimiter", fieldDelimiter_);
  element("BeginningDelimiter", TrueFalse(beginningDelimiter_));
  element("TrailingDelimiter", TrueFalse(trailingDelimiter_));
  number("RowDelimiter", rowDelimiter_);
  element("CustomRowDelimiter", customRowDelimiter_);
  element("StringsInQuotes", TrueFalse(stringsInQuotes_));
  element("ColumnNames", TrueFalse(columnNames_));
  element("AppendJobs", TrueFalse(createOption_ == AppendRows));
  element("DateFormat", dateFormat_);
  number("ExportType", exportType_);
  element("StripChars", stripChars_);
  element("AutoStrip", TrueFalse(autoStripDelimiters_));
  element("AppendDateTime", TrueFalse(createOption_ == CreateWithDateTime));
  number("DecimalPlaces", numDecimalPlaces_);
  const int32_t columnCount = columns_->Count();
  for (const ExportColumnPtr& column : *columns_) {
    TextFile::WriteLine(fileNumber, XmlOpenTag("Column"));
    number("Index", column->Index());
    number("Width", column->Width());
    element("RightJustify", TrueFalse(column->RightJustify()));
    element("PadChar", column->PadChar());
    number("Action", column->Action());
    // The count is this configuration's columns, not the host's.
    if (column->Index() < 1 || column->Index() > columnCount) element("CustomName", column->Name());
    TextFile::WriteLine(fileNumber, XmlCloseTag("Column"));
  }
}

void ExportConfig::Save() {
  if (isDefault_) return;
  const std::string folder = modFlatFile::ConfigFolder("");
  const std::string fileName = modFlatFile::ConfigFileName(name_) + ".cfg";
  // A file whose name differs only in letter case ("Weekly.cfg", copied from
  // the earlier release) is this configuration's file: it is replaced, not
  // joined by a second one that the listing would shadow.
  const std::string existing = platform::FindEntryName(folder, fileName);
  const std::string path = folder + (existing.empty() ? fileName : existing);
  int16_t fileNumber = 0;
  try {
    fileNumber = TextFile::FreeFile();
    TextFile::OpenForOutput(fileNumber, path);
  } catch (const RuntimeError& error) {
    ShowFileError(201, error);
    return;
  }
  OpenFile file(fileNumber);
  configFile_ = path;
  WriteContent(fileNumber);
  file.Close();
}

bool ExportConfig::Delete() {
  if (isDefault_) return false;
  int error = 0;
  if (configFile_.empty()) {
    error = ENOENT;
  } else if (::unlink(configFile_.c_str()) != 0) {
    error = errno;
  }
  if (error != 0) {
    ShowFileError(200, RuntimeError(RuntimeErrorFromErrno(error, configFile_)));
    return false;
  }
  return true;
}

}  // namespace qx6
