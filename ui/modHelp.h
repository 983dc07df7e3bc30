// Help for the settings dialog: the path of the product's help file, in
// the "help" folder beside the component's folder, and the opening of a
// topic by its context ID through the user-interaction implementation.
#pragma once

#include <cstdint>
#include <string>

namespace qx6::modHelp {

// The context ID of the settings dialog's topic.
inline constexpr int32_t SettingsDialogTopic = 11;

// The component's folder cut after its last "/", then "help/" and the name:
// a component in /a/b gives /a/help/<name>, one in / gives /help/<name>.
std::string GetHelpFilePath(const std::string& pstrHelpFile);

// The thread's help file, set when the settings dialog loads.
const std::string& ComponentHelpFile();
void SetComponentHelpFile(const std::string& path);

// Shows the topic of the given help file, or of the thread's help file when
// `pstrHelpFile` is empty. A missing file or topic is the viewer's to show.
void ShowHelpTopic(int32_t plngContextId, intptr_t plngOwnerWindow, const std::string& pstrHelpFile);

}  // namespace qx6::modHelp
