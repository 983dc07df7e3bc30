// The product's help window: the pages of the compiled help file in a text
// browser that reads pages, images and the style sheet from the file, with
// the table of contents beside them and back, forward and home buttons. One
// window serves the whole process; a missing file or topic is shown in it.
#pragma once

#include <QPointer>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QWidget>

#include <cstdint>
#include <string>

#include "ui/HelpFile.h"

namespace qx6::dialog {

// Pages of the help file have URLs of this scheme: "qx6help:///settings.html".
inline constexpr const char* HelpUrlScheme = "qx6help";

// The page view: resources of the help file's scheme come out of the file.
class HelpBrowser : public QTextBrowser {
 public:
  HelpBrowser(HelpFile& file, QWidget* parent);
  QVariant loadResource(int type, const QUrl& name) override;

 private:
  HelpFile& file_;
};

class HelpWindow : public QWidget {
 public:
  explicit HelpWindow(QWidget* owner = nullptr);

  // The window of this process, created on first use and moved to `owner`
  // (the window that asks for help) so that a modal dialog does not block it.
  static HelpWindow& Instance(QWidget* owner);
  // The window of this process, or null before the first help request.
  static HelpWindow* Current();

  // Opens the file (when it is not the one open already) and shows the topic of the
  // context ID; false, with the reason shown in the window, when the file or
  // the topic is missing.
  bool ShowTopic(const std::string& helpFile, int32_t contextId);
  // Shows a page of the open file by its path inside the file.
  bool ShowPage(const std::string& page);

  // The path inside the file of the page shown ("" while a message is shown).
  std::string ShownPage() const;
  HelpBrowser* Browser() const { return browser_; }
  QTreeWidget* ContentsList() const { return contents_; }

 private:
  void ShowMessage(const QString& title, const QString& text);
  void FillContents();
  void FollowLink(const QUrl& link);
  void SelectContentsEntry(const QUrl& url);

  HelpFile file_;
  HelpBrowser* browser_ = nullptr;
  QTreeWidget* contents_ = nullptr;
  bool messageShown_ = false;
};

}  // namespace qx6::dialog
