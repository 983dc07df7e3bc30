// The help window behind the Qt user interaction, on the staged help file:
// the dialog's topic, links, history and contents, and missing files and
// topics shown in the window itself.
#include <QDialog>
#include <QTest>

#include "dialog/HelpWindow.h"
#include "dialog/QtUserInteraction.h"
#include "tests/dialog/DialogTest.h"

namespace qx6::dialog {
namespace {

const std::string StagedHelpFile = QX6_PRODUCT_DIR "/help/qx6jbman.chm";

class HelpWindowTest : public ::testing::Test {
 protected:
  HelpWindowTest() { test::TestApplication(); }

  HelpWindow& Window() {
    HelpWindow* window = HelpWindow::Current();
    if (!window) throw std::runtime_error("no help window");
    return *window;
  }
  QString Text() { return Window().Browser()->toPlainText(); }

  QtUserInteraction qt;
};

TEST_F(HelpWindowTest, ShowsTheDialogTopicAndMovesByLinksContentsAndHistory) {
  ASSERT_TRUE(qt.ShowHelp(StagedHelpFile, 11));
  HelpWindow& window = Window();
  HelpBrowser* browser = window.Browser();
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(window.ShownPage(), "/settings.html");
  EXPECT_TRUE(Text().startsWith("The settings dialog") && Text().contains("Save As..."));
  EXPECT_TRUE(window.windowTitle().startsWith("The settings dialog"));
  // The style sheet the page links to comes out of the help file.
  const QVariant css = browser->loadResource(QTextDocument::StyleSheetResource, QUrl("qx6help.css"));
  EXPECT_TRUE(css.toString().contains("font-family"));
  EXPECT_FALSE(browser->loadResource(QTextDocument::ImageResource, QUrl("missing.png")).isValid());
  EXPECT_EQ(window.ContentsList()->topLevelItemCount(), 3);
  ASSERT_NE(window.ContentsList()->currentItem(), nullptr);
  EXPECT_EQ(window.ContentsList()->currentItem()->text(0), "The settings dialog");

  emit browser->anchorClicked(QUrl("format.html"));
  EXPECT_EQ(window.ShownPage(), "/format.html");
  EXPECT_TRUE(Text().contains("Field delimiter:"));
  EXPECT_EQ(window.ContentsList()->currentItem()->text(0), "Format options");

  emit browser->anchorClicked(QUrl("columns.html#summary"));
  EXPECT_EQ(window.ShownPage(), "/columns.html");
  browser->backward();
  EXPECT_EQ(window.ShownPage(), "/format.html");
  browser->backward();
  EXPECT_EQ(window.ShownPage(), "/settings.html");

  QTreeWidgetItem* scheduling =
      window.ContentsList()->findItems("Scheduled exports", Qt::MatchExactly | Qt::MatchRecursive).value(0);
  ASSERT_NE(scheduling, nullptr);
  emit window.ContentsList()->itemClicked(scheduling, 0);
  EXPECT_EQ(window.ShownPage(), "/scheduling.html");
  EXPECT_TRUE(Text().contains("crontab -e"));

  // A link to a page the file lacks says so instead of showing a blank page.
  emit browser->anchorClicked(QUrl("nowhere.html"));
  EXPECT_EQ(window.ShownPage(), "");
  EXPECT_TRUE(Text().contains("nowhere.html"));
}

TEST_F(HelpWindowTest, MissingFileOrTopicIsShownInTheOneWindow) {
  EXPECT_FALSE(qt.ShowHelp("/nonexistent/help/qx6jbman.chm", 11));
  HelpWindow* first = &Window();
  EXPECT_TRUE(first->isVisible());
  EXPECT_EQ(first->ShownPage(), "");
  EXPECT_TRUE(Text().contains("Help file not found") && Text().contains("/nonexistent/help/qx6jbman.chm does not exist"));
  EXPECT_EQ(first->ContentsList()->topLevelItemCount(), 0);

  EXPECT_FALSE(qt.ShowHelp("", 11));
  EXPECT_TRUE(Text().contains("No help file is set"));

  EXPECT_FALSE(qt.ShowHelp(StagedHelpFile, 4242));
  EXPECT_EQ(&Window(), first);
  EXPECT_TRUE(Text().contains("has no topic 4242"));

  // The file that is there still opens in the same window afterwards.
  EXPECT_TRUE(qt.ShowHelp(StagedHelpFile, 11));
  EXPECT_EQ(&Window(), first);
  EXPECT_EQ(first->ShownPage(), "/settings.html");
}

TEST_F(HelpWindowTest, WindowBelongsToTheModalDialogThatAsks) {
  auto dialog = std::make_unique<QDialog>();
  dialog->setModal(true);
  dialog->show();
  QApplication::processEvents();
  ASSERT_EQ(QApplication::activeModalWidget(), dialog.get());

  ASSERT_TRUE(qt.ShowHelp(StagedHelpFile, 11));
  QPointer<HelpWindow> window = &Window();
  EXPECT_EQ(window->parentWidget(), dialog.get());
  EXPECT_TRUE(window->isWindow());

  // Asking again from the help window itself keeps it where it is.
  EXPECT_EQ(&HelpWindow::Instance(window), window.data());
  EXPECT_EQ(window->parentWidget(), dialog.get());

  dialog.reset();
  EXPECT_TRUE(window.isNull());
  EXPECT_TRUE(qt.ShowHelp(StagedHelpFile, 11));
  EXPECT_EQ(Window().ShownPage(), "/settings.html");
}

}  // namespace
}  // namespace qx6::dialog
