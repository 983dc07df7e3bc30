#include "ui/clsCommonDialog.h"

#include <vector>

#include "runtime/CodePage.h"
#include "runtime/Conversion.h"
#include "runtime/RuntimeError.h"
#include "runtime/Strings.h"

namespace qx6 {
namespace {

std::vector<std::string> SplitFilter(const std::string& filter) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t bar = filter.find('|', start);
    parts.push_back(filter.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return parts;
}

// What a buffer of `bytes` bytes (the closing zero included) holds of a text
// in the code page: the longest prefix of whole characters that fits.
std::string FitBuffer(const std::string& text, size_t bytes) {
  if (CodePage::ToAnsi(text).size() < bytes) return text;
  std::string fitted;
  for (int32_t n = Strings::Len(text); n > 0; --n) {
    fitted = std::string(Strings::Left(text, n));
    if (CodePage::ToAnsi(fitted).size() < bytes) return fitted;
  }
  return {};
}

std::string NameWithoutFolder(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool clsCommonDialog::ShowFile(int16_t mode) {
  action_ = mode;
  apiReturn_ = 0;
  extendedError_ = 0;
  const size_t bufferBytes = maxFileSize_ > 0 ? 2 * static_cast<size_t>(maxFileSize_) : 512;
  platform::FileDialogRequest request;
  request.owner = parentHwnd_;
  request.save = mode == ActionSave;
  request.title = dialogTitle_;
  request.filter = filter_;
  request.filterIndex = filterIndex_;
  request.fileName = FitBuffer(fileName_, bufferBytes);
  request.initialFolder = FitBuffer(initDir_, bufferBytes);
  request.defaultExtension = defaultExt_;
  request.flags = flags_;
  auto chosen = platform::CurrentUserInteraction().FileDialog(request);
  if (!chosen) return false;
  apiReturn_ = 1;
  fileName_ = std::string(Strings::Trim(FitBuffer(chosen->fileName, bufferBytes)));
  fileTitle_ = std::string(Strings::Trim(NameWithoutFolder(fileName_)));
  filterIndex_ = static_cast<int16_t>(chosen->filterIndex);
  filterExt_.clear();
  if (filterIndex_ >= 1) {
    auto parts = SplitFilter(filter_);
    const size_t pattern = 2 * static_cast<size_t>(filterIndex_) - 1;
    // A filter without that pattern (a damaged language library) has no extension.
    if (pattern < parts.size()) filterExt_ = std::string(Strings::Right(parts[pattern], 4));
  }
  return true;
}

bool clsCommonDialog::ShowOpen() { return ShowFile(ActionOpen); }
bool clsCommonDialog::ShowSave() { return ShowFile(ActionSave); }

bool clsCommonDialog::ShowColor() {
  action_ = ActionColor;
  extendedError_ = 0;
  auto chosen = platform::CurrentUserInteraction().ChooseColor(color_, flags_);
  apiReturn_ = chosen ? 1 : 0;
  if (chosen) color_ = *chosen;
  return chosen.has_value();
}

bool clsCommonDialog::ShowFont() {
  action_ = ActionFont;
  extendedError_ = 0;
  platform::FontChoice initial = object_ ? *object_ : platform::FontChoice{};
  auto chosen = platform::CurrentUserInteraction().ChooseFont(initial, flags_);
  apiReturn_ = chosen ? 1 : 0;
  if (!chosen) return false;
  if (!object_) object_ = std::make_shared<platform::FontChoice>();
  *object_ = *chosen;
  return true;
}

bool clsCommonDialog::ShowPrinter() {
  action_ = ActionPrinter;
  extendedError_ = 0;
  platform::PrinterChoice initial{fromPage_, toPage_, min_, max_, copies_, flags_};
  auto chosen = platform::CurrentUserInteraction().ChoosePrinter(initial);
  apiReturn_ = chosen ? 1 : 0;
  if (!chosen) return false;
  fromPage_ = chosen->fromPage;
  toPage_ = chosen->toPage;
  min_ = chosen->minPage;
  max_ = chosen->maxPage;
  copies_ = chosen->copies;
  return true;
}

void clsCommonDialog::ShowHelp(int32_t ownerWindow) {
  action_ = ActionHelp;
  parentHwnd_ = ownerWindow;
  int32_t context = 0;
  if (helpCommand_ == HELP_CONTEXT || helpCommand_ == HELP_CONTEXTPOPUP) {
    try {
      context = Convert::ToLong(Variant::String(helpContext_));
    } catch (const RuntimeError&) {
      context = 0;
    }
  }
  apiReturn_ = platform::CurrentUserInteraction().ShowHelp(helpFile_, context) ? 1 : 0;
}

std::string ShowFileDialog(int32_t ownerWindow, const std::string& title, bool save, const std::string& filter,
                           const std::string& initialName, std::string* filterExtension) {
  clsCommonDialog dialog;
  dialog.SetParentHwnd(ownerWindow);
  dialog.SetFilter(filter);
  dialog.SetDialogTitle(title);
  int32_t flags = platform::OFN_EXPLORER | platform::OFN_HIDEREADONLY;
  dialog.SetFileName(initialName);
  bool confirmed;
  if (save) {
    dialog.SetFlags(flags | platform::OFN_OVERWRITEPROMPT | platform::OFN_PATHMUSTEXIST);
    confirmed = dialog.ShowSave();
  } else {
    dialog.SetFlags(flags | platform::OFN_FILEMUSTEXIST);
    confirmed = dialog.ShowOpen();
  }
  if (!confirmed) return {};
  std::string path = dialog.FileName();
  if (path.find('.') == std::string::npos && dialog.FilterExt() != "*.*") path += dialog.FilterExt();
  if (filterExtension) *filterExtension = dialog.FilterExt();
  return path;
}

}  // namespace qx6
