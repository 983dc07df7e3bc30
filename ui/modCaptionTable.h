// The settings dialog's caption table: which localised string replaces the
// built-in caption or tooltip of which control, in the order the dialog
// applies them when it loads. The dialog supplies the assignment, so the
// table stays free of any window toolkit.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qx6::modCaptionTable {

enum class CaptionProperty { Caption, ToolTip };

struct CaptionEntry {
  int32_t stringId;
  std::string control;  // the control's name
  int32_t index;        // member of a control array, tab position (from 1), or -1
  CaptionProperty property;
};

// The 34 rows in their order of application.
const std::vector<CaptionEntry>& Entries();

// Fetches each row's string (without arguments) and hands it to `assign`,
// also when it is empty.
void ApplyCaptions(const std::function<void(const CaptionEntry&, const std::string& text)>& assign);

}  // namespace qx6::modCaptionTable
