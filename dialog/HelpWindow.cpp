#include "dialog/HelpWindow.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStyle>
#include <QTextDocument>
#include <QToolBar>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

#include "ui/clsQX6Branding.h"

namespace qx6::dialog {
namespace {

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QUrl PageUrl(const std::string& page) {
  QUrl url;
  url.setScheme(HelpUrlScheme);
  url.setPath(Q(page.empty() || page[0] != '/' ? "/" + page : page));
  return url;
}

QPointer<HelpWindow>& TheWindow() {
  static QPointer<HelpWindow> window;
  return window;
}

constexpr int PageRole = Qt::UserRole;

}  // namespace

HelpBrowser::HelpBrowser(HelpFile& file, QWidget* parent) : QTextBrowser(parent), file_(file) {
  setObjectName("helpBrowser");
  // Links are followed by the window, which knows the file's own scheme.
  setOpenLinks(false);
}

QVariant HelpBrowser::loadResource(int type, const QUrl& name) {
  const QUrl url = name.isRelative() ? source().resolved(name) : name;
  if (url.scheme() != HelpUrlScheme) return QTextBrowser::loadResource(type, name);
  auto bytes = file_.ReadFile(url.path().toStdString());
  if (!bytes) return {};
  if (type == QTextDocument::ImageResource) return QByteArray(bytes->data(), static_cast<qsizetype>(bytes->size()));
  return Q(*bytes);
}

HelpWindow::HelpWindow(QWidget* owner) : QWidget(owner, Qt::Window) {
  setObjectName("helpWindow");
  setWindowTitle(Q(SharedBranding().ProductName()) + " Help");
  resize(900, 640);

  browser_ = new HelpBrowser(file_, this);
  contents_ = new QTreeWidget(this);
  contents_->setObjectName("helpContents");
  contents_->setHeaderHidden(true);
  contents_->setMinimumWidth(180);

  auto* tools = new QToolBar(this);
  QAction* back = tools->addAction(style()->standardIcon(QStyle::SP_ArrowBack), "Back", browser_,
                                   &QTextBrowser::backward);
  QAction* forward = tools->addAction(style()->standardIcon(QStyle::SP_ArrowForward), "Forward", browser_,
                                      &QTextBrowser::forward);
  QAction* home = tools->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), "Contents", this,
                                   [this] { ShowPage(file_.DefaultTopic()); });
  back->setEnabled(false);
  forward->setEnabled(false);
  home->setEnabled(false);
  connect(browser_, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
  connect(browser_, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
  // The browser reports the new page before source() returns it.
  connect(browser_, &QTextBrowser::sourceChanged, this, [this, home](const QUrl& url) {
    home->setEnabled(file_.IsOpen() && !file_.DefaultTopic().empty());
    SelectContentsEntry(url);
  });
  connect(browser_, &QTextBrowser::anchorClicked, this, &HelpWindow::FollowLink);
  connect(contents_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
    const QString page = item->data(0, PageRole).toString();
    if (!page.isEmpty()) ShowPage(page.toStdString());
  });
  connect(contents_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
    const QString page = item->data(0, PageRole).toString();
    if (!page.isEmpty()) ShowPage(page.toStdString());
  });

  auto* splitter = new QSplitter(this);
  splitter->addWidget(contents_);
  splitter->addWidget(browser_);
  splitter->setStretchFactor(1, 1);
  splitter->setSizes({250, 650});
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(tools);
  layout->addWidget(splitter, 1);
}

HelpWindow& HelpWindow::Instance(QWidget* owner) {
  QPointer<HelpWindow>& window = TheWindow();
  if (!window) {
    window = new HelpWindow(owner);
  } else if (window->parentWidget() != owner && owner != window && !window->isAncestorOf(owner)) {
    // A window of a closed dialog would go with it; the new asker keeps it.
    const QRect geometry = window->geometry();
    window->setParent(owner, Qt::Window);
    window->setGeometry(geometry);
  }
  return *window;
}

HelpWindow* HelpWindow::Current() { return TheWindow().data(); }

bool HelpWindow::ShowTopic(const std::string& helpFile, int32_t contextId) {
  if (!file_.IsOpen() || file_.Path() != helpFile) {
    contents_->clear();
    if (!file_.Open(helpFile)) {
      ShowMessage("Help file not found", Q(file_.ErrorText()));
      return false;
    }
    FillContents();
  }
  const std::optional<std::string> page = file_.TopicPath(contextId);
  if (!page) {
    ShowMessage("Help topic not found", Q(file_.ErrorText()));
    return false;
  }
  return ShowPage(*page);
}

bool HelpWindow::ShowPage(const std::string& page) {
  if (!file_.HasFile(page)) {
    ShowMessage("Help page not found", Q("The help file " + file_.Path() + " has no page \"" + page + "\"."));
    return false;
  }
  const QUrl url = PageUrl(page);
  // The contents list may report one choice twice (click and activation).
  if (!messageShown_ && browser_->source() == url) return true;
  messageShown_ = false;
  browser_->setSource(url, QTextDocument::HtmlResource);
  if (!browser_->documentTitle().isEmpty())
    setWindowTitle(browser_->documentTitle() + " - " + Q(SharedBranding().ProductName()) + " Help");
  return true;
}

std::string HelpWindow::ShownPage() const {
  const QUrl source = browser_->source();
  return !messageShown_ && source.scheme() == HelpUrlScheme ? source.path().toStdString() : std::string();
}

void HelpWindow::ShowMessage(const QString& title, const QString& text) {
  messageShown_ = true;
  browser_->clearHistory();
  browser_->setHtml("<h2>" + title.toHtmlEscaped() + "</h2><p>" + text.toHtmlEscaped() + "</p>");
  setWindowTitle(title + " - " + Q(SharedBranding().ProductName()) + " Help");
}

void HelpWindow::FillContents() {
  std::vector<QTreeWidgetItem*> parents;
  for (const HelpContentsEntry& entry : file_.Contents()) {
    const size_t level = std::min(static_cast<size_t>(entry.level), parents.size());
    parents.resize(level);
    auto* item = parents.empty() ? new QTreeWidgetItem(contents_) : new QTreeWidgetItem(parents.back());
    item->setText(0, Q(entry.name));
    if (!entry.local.empty()) item->setData(0, PageRole, PageUrl(entry.local).path());
    parents.push_back(item);
  }
  contents_->expandAll();
}

void HelpWindow::FollowLink(const QUrl& link) {
  const QUrl url = link.isRelative() ? browser_->source().resolved(link) : link;
  if (url.scheme() != HelpUrlScheme) {
    QDesktopServices::openUrl(url);
    return;
  }
  if (url.path() == browser_->source().path() && url.hasFragment()) {
    browser_->scrollToAnchor(url.fragment());
    return;
  }
  if (ShowPage(url.path().toStdString()) && url.hasFragment()) browser_->scrollToAnchor(url.fragment());
}

void HelpWindow::SelectContentsEntry(const QUrl& url) {
  const QString page = url.path();
  for (QTreeWidgetItemIterator it(contents_); *it; ++it) {
    if ((*it)->data(0, PageRole).toString() == page) {
      const QSignalBlocker blocker(contents_);
      contents_->setCurrentItem(*it);
      return;
    }
  }
}

}  // namespace qx6::dialog
