#include "platform/ScriptedUserInteraction.h"

#include <gtest/gtest.h>

namespace qx6::platform {
namespace {

// Queued answers coming back and boxes being recorded show in every dialog,
// component and configuration test; here, what happens when nothing is queued.
TEST(ScriptedUserInteraction, UnqueuedQuestionsAreDismissedAndRecordedAndTheScopeRestoresTheDefault) {
  {
    ScopedScriptedUserInteraction script;
    auto& ui = CurrentUserInteraction();
    EXPECT_EQ(&ui, &*script);
    // Dismissed the way a person closing the box would.
    EXPECT_EQ(ui.MessageBox("Save?", MessageButtons::YesNoCancel, MessageIcon::Exclamation, "Quorvex 6"),
              MessageAnswer::Cancel);
    EXPECT_EQ(ui.MessageBox("Done", MessageButtons::OK, MessageIcon::Information, "T"), MessageAnswer::OK);
    EXPECT_EQ(script->Messages().at(0).answer, MessageAnswer::Cancel);
    EXPECT_EQ(ui.InputBox("Name:", "Save As", ""), std::nullopt);
    FileDialogRequest request;
    request.title = "Output file";
    EXPECT_FALSE(ui.FileDialog(request));
    EXPECT_EQ(script->FileDialogs().at(0).title, "Output file");
    EXPECT_EQ(script->UnusedAnswers(), 0u);
    script->QueueAnswer(MessageAnswer::Yes);  // left unused: it goes with the scope
  }
  // Back to the default: nobody answers, questions are dismissed.
  EXPECT_EQ(CurrentUserInteraction().MessageBox("?", MessageButtons::YesNo, MessageIcon::Question, ""),
            MessageAnswer::No);
  EXPECT_FALSE(CurrentUserInteraction().InputBox("", "", ""));
}

}  // namespace
}  // namespace qx6::platform
