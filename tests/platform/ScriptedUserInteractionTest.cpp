#include "platform/ScriptedUserInteraction.h"

#include <gtest/gtest.h>

namespace qx6::platform {
namespace {

TEST(ScriptedUserInteraction, RecordsMessagesAndPlaysBackAnswers) {
  ScopedScriptedUserInteraction script;
  script->QueueAnswer(MessageAnswer::Yes);
  auto& ui = CurrentUserInteraction();
  EXPECT_EQ(ui.MessageBox("Delete it?", MessageButtons::YesNo, MessageIcon::Exclamation, "Quorvex 6"),
            MessageAnswer::Yes);
  // Nothing queued: dismissed the way a person closing the box would.
  EXPECT_EQ(ui.MessageBox("Save?", MessageButtons::YesNoCancel, MessageIcon::Exclamation, "Quorvex 6"),
            MessageAnswer::Cancel);
  EXPECT_EQ(ui.MessageBox("Done", MessageButtons::OK, MessageIcon::Information, "T"), MessageAnswer::OK);
  ASSERT_EQ(script->Messages().size(), 3u);
  EXPECT_EQ(script->Messages()[0].text, "Delete it?");
  EXPECT_EQ(script->Messages()[0].title, "Quorvex 6");
  EXPECT_EQ(script->Messages()[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(script->Messages()[0].icon, MessageIcon::Exclamation);
  EXPECT_EQ(script->Messages()[1].answer, MessageAnswer::Cancel);
}

TEST(ScriptedUserInteraction, DialogsWithoutQueuedAnswersAreCancelled) {
  ScopedScriptedUserInteraction script;
  script->QueueInput(std::string("New name"));
  script->QueueFile(FileDialogResult{"/tmp/out.csv", 2});
  auto& ui = CurrentUserInteraction();
  EXPECT_EQ(ui.InputBox("Name:", "Save As", ""), "New name");
  EXPECT_EQ(ui.InputBox("Name:", "Save As", ""), std::nullopt);
  FileDialogRequest request;
  request.title = "Output file";
  auto chosen = ui.FileDialog(request);
  ASSERT_TRUE(chosen);
  EXPECT_EQ(chosen->filterIndex, 2);
  EXPECT_FALSE(ui.FileDialog(request));
  EXPECT_EQ(script->FileDialogs().size(), 2u);
  EXPECT_EQ(script->FileDialogs()[0].title, "Output file");
  EXPECT_EQ(script->UnusedAnswers(), 0u);
}

TEST(UserInteraction, ScopeRestoresThePreviousImplementation) {
  {
    ScopedScriptedUserInteraction script;
    EXPECT_EQ(&CurrentUserInteraction(), &*script);
  }
  // Back to the default: nobody answers, questions are dismissed.
  EXPECT_EQ(CurrentUserInteraction().MessageBox("?", MessageButtons::YesNo, MessageIcon::Question, ""),
            MessageAnswer::No);
  EXPECT_FALSE(CurrentUserInteraction().InputBox("", "", ""));
}

}  // namespace
}  // namespace qx6::platform
