// The common dialogs (file open and save, colour, font, printer, help)
// behind properties, as the component's code drives them; the dialogs
// themselves come from the user-interaction implementation in use.
// ShowFileDialog is the one front end the component calls.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/UserInteraction.h"

namespace qx6 {

class clsCommonDialog {
 public:
  // The last dialog shown.
  static constexpr int16_t ActionOpen = 1, ActionSave = 2, ActionColor = 3, ActionFont = 4, ActionPrinter = 5,
                           ActionHelp = 6;
  // Help commands whose data is the context number or the keyword.
  static constexpr int32_t HELP_CONTEXT = 1, HELP_CONTEXTPOPUP = 8, HELP_KEY = 257, HELP_PARTIALKEY = 261;

  bool ShowColor();
  bool ShowFont();
  void ShowHelp(int32_t ownerWindow);
  bool ShowOpen();
  bool ShowPrinter();
  bool ShowSave();

  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& v) { fileName_ = v; }
  const std::string& Filter() const { return filter_; }
  void SetFilter(const std::string& v) { filter_ = v; }
  // The last four characters of the chosen pair's pattern.
  const std::string& FilterExt() const { return filterExt_; }
  int16_t Action() const { return action_; }
  int16_t FilterIndex() const { return filterIndex_; }
  void SetFilterIndex(int16_t v) { filterIndex_ = v; }
  int32_t Color() const { return color_; }
  void SetColor(int32_t v) { color_ = v; }
  int32_t Copies() const { return copies_; }
  void SetCopies(int32_t v) { copies_ = v; }
  const std::string& DefaultExt() const { return defaultExt_; }
  void SetDefaultExt(const std::string& v) { defaultExt_ = v; }
  const std::string& DialogTitle() const { return dialogTitle_; }
  void SetDialogTitle(const std::string& v) { dialogTitle_ = v; }
  int32_t Flags() const { return flags_; }
  void SetFlags(int32_t v) { flags_ = v; }
  int32_t FromPage() const { return fromPage_; }
  void SetFromPage(int32_t v) { fromPage_ = v; }
  int32_t hdc() const { return hdc_; }
  void Sethdc(int32_t v) { hdc_ = v; }
  int32_t HelpCommand() const { return helpCommand_; }
  void SetHelpCommand(int32_t v) { helpCommand_ = v; }
  const std::string& HelpContext() const { return helpContext_; }
  void SetHelpContext(const std::string& v) { helpContext_ = v; }
  const std::string& HelpFile() const { return helpFile_; }
  void SetHelpFile(const std::string& v) { helpFile_ = v; }
  const std::string& HelpKey() const { return helpKey_; }
  void SetHelpKey(const std::string& v) { helpKey_ = v; }
  const std::string& InitDir() const { return initDir_; }
  void SetInitDir(const std::string& v) { initDir_ = v; }
  int32_t Max() const { return max_; }
  void SetMax(int32_t v) { max_ = v; }
  int32_t MaxFileSize() const { return maxFileSize_; }
  void SetMaxFileSize(int32_t v) { maxFileSize_ = v; }
  int32_t Min() const { return min_; }
  void SetMin(int32_t v) { min_ = v; }
  // The font the font dialog reads and updates.
  const std::shared_ptr<platform::FontChoice>& Object() const { return object_; }
  void SetObject(std::shared_ptr<platform::FontChoice> v) { object_ = std::move(v); }
  int16_t PrinterDefault() const { return printerDefault_; }
  void SetPrinterDefault(int16_t v) { printerDefault_ = v; }
  int32_t ToPage() const { return toPage_; }
  void SetToPage(int32_t v) { toPage_ = v; }
  const std::string& FileTitle() const { return fileTitle_; }
  void SetFileTitle(const std::string& v) { fileTitle_ = v; }
  int32_t APIReturn() const { return apiReturn_; }
  int32_t ExtendedError() const { return extendedError_; }
  int32_t ParentHwnd() const { return parentHwnd_; }
  void SetParentHwnd(int32_t v) { parentHwnd_ = v; }

 private:
  bool ShowFile(int16_t mode);

  int16_t action_ = 0;
  int32_t color_ = 0, copies_ = 0;
  std::string defaultExt_, dialogTitle_, fileName_, fileTitle_, filter_, filterExt_;
  int16_t filterIndex_ = 0;
  int32_t flags_ = 0, fromPage_ = 0, toPage_ = 0, min_ = 0, max_ = 0, hdc_ = 0, helpCommand_ = 0;
  std::string helpContext_, helpFile_, helpKey_, initDir_;
  int32_t maxFileSize_ = 0;
  std::shared_ptr<platform::FontChoice> object_;
  int16_t printerDefault_ = 0;
  int32_t apiReturn_ = 0, extendedError_ = 0, parentHwnd_ = 0;
};

// Shows the open or save dialog; returns the chosen path (with the chosen
// pattern's extension added when the name has no "." at all), or "" when
// the user cancelled. `filterExtension` receives that extension on success.
std::string ShowFileDialog(int32_t ownerWindow, const std::string& title, bool save, const std::string& filter,
                           const std::string& initialName, std::string* filterExtension = nullptr);

}  // namespace qx6
