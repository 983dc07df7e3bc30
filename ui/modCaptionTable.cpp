#include "ui/modCaptionTable.h"

#include "ui/modLanguage.h"

namespace qx6::modCaptionTable {

const std::vector<CaptionEntry>& Entries() {
  using P = CaptionProperty;
  static const std::vector<CaptionEntry> table = {
      {2, "cmdHelp", -1, P::Caption},          {3, "optExportType", 0, P::Caption},
      {4, "optExportType", 1, P::Caption},     {5, "lblCaption", 8, P::Caption},
      {6, "fraDelimiter", -1, P::Caption},     {7, "chkDelimitRow", 0, P::Caption},
      {8, "chkDelimitRow", 1, P::Caption},     {9, "chkColumnNames", -1, P::Caption},
      {10, "chkUseQuotes", -1, P::Caption},    {11, "lblCaption", 3, P::Caption},
      {12, "optOutputType", 0, P::Caption},    {13, "optOutputType", 1, P::Caption},
      {14, "lblCaption", 7, P::Caption},       {15, "lblCaption", 1, P::Caption},
      {16, "lblCaption", 6, P::Caption},       {17, "lblCaption", 2, P::Caption},
      {18, "optCreate", 0, P::Caption},        {19, "optCreate", 1, P::Caption},
      {20, "optCreate", 2, P::Caption},        {21, "tabOptions", 1, P::Caption},
      {22, "tabOptions", 2, P::Caption},       {23, "lblCaption", 4, P::Caption},
      {24, "lblCaption", 5, P::Caption},       {25, "cmdDelete", -1, P::Caption},
      {26, "cmdSaveAs", -1, P::Caption},       {27, "cmdCancel", -1, P::Caption},
      {28, "cmdOK", -1, P::Caption},           {29, "lblCaption", 0, P::Caption},
      {59, "cmdAddRow", -1, P::ToolTip},       {60, "cmdRemoveRow", -1, P::ToolTip},
      {61, "cmdRemoveAll", -1, P::ToolTip},    {62, "cmdMoveUp", -1, P::ToolTip},
      {63, "cmdMoveDown", -1, P::ToolTip},     {64, "chkAutoStrip", -1, P::Caption},
  };
  return table;
}

void ApplyCaptions(const std::function<void(const CaptionEntry&, const std::string& text)>& assign) {
  for (const CaptionEntry& entry : Entries()) assign(entry, modLanguage::GetLangString(entry.stringId));
}

}  // namespace qx6::modCaptionTable
