#include "dialog/QtUserInteraction.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

#include "dialog/HelpWindow.h"

namespace qx6::dialog {
namespace {

using platform::MessageAnswer;
using platform::MessageButtons;
using platform::MessageIcon;

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QMessageBox::Icon QtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Critical: return QMessageBox::Critical;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::Exclamation: return QMessageBox::Warning;
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

struct ButtonSpec {
  QMessageBox::StandardButton button;
  MessageAnswer answer;
};

std::vector<ButtonSpec> ButtonsOf(MessageButtons buttons) {
  using B = QMessageBox;
  switch (buttons) {
    case MessageButtons::OK: return {{B::Ok, MessageAnswer::OK}};
    case MessageButtons::OKCancel: return {{B::Ok, MessageAnswer::OK}, {B::Cancel, MessageAnswer::Cancel}};
    case MessageButtons::AbortRetryIgnore:
      return {{B::Abort, MessageAnswer::Abort}, {B::Retry, MessageAnswer::Retry}, {B::Ignore, MessageAnswer::Ignore}};
    case MessageButtons::YesNoCancel:
      return {{B::Yes, MessageAnswer::Yes}, {B::No, MessageAnswer::No}, {B::Cancel, MessageAnswer::Cancel}};
    case MessageButtons::YesNo: return {{B::Yes, MessageAnswer::Yes}, {B::No, MessageAnswer::No}};
    case MessageButtons::RetryCancel: return {{B::Retry, MessageAnswer::Retry}, {B::Cancel, MessageAnswer::Cancel}};
  }
  return {{B::Ok, MessageAnswer::OK}};
}

}  // namespace

QWidget* DialogOwner() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return QApplication::activeWindow();
}

QStringList NameFilters(const std::string& filter) {
  const QStringList parts = Q(filter).split('|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString description = parts[i].trimmed();
    const QString patterns = QString(parts[i + 1]).replace(';', ' ').trimmed();
    // A description that already ends with its patterns in brackets is kept.
    if (description.endsWith(')') && description.contains('(' + patterns + ')')) filters << description;
    else filters << QString("%1 (%2)").arg(description, patterns);
  }
  return filters;
}

MessageAnswer QtUserInteraction::MessageBox(std::string_view text, MessageButtons buttons, MessageIcon icon,
                                            std::string_view title) {
  QMessageBox box(QtIcon(icon), Q(title), Q(text), QMessageBox::NoButton, DialogOwner());
  const std::vector<ButtonSpec> specs = ButtonsOf(buttons);
  for (const ButtonSpec& spec : specs) box.addButton(spec.button);
  box.setDefaultButton(specs.front().button);
  // Escape answers as closing the box would: Cancel, else No, else OK.
  const MessageAnswer dismiss = platform::DismissAnswer(buttons);
  for (const ButtonSpec& spec : specs)
    if (spec.answer == dismiss) box.setEscapeButton(spec.button);
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  for (const ButtonSpec& spec : specs)
    if (clicked && box.button(spec.button) == clicked) return spec.answer;
  return dismiss;
}

std::optional<std::string> QtUserInteraction::InputBox(std::string_view prompt, std::string_view title,
                                                       std::string_view defaultText) {
  bool ok = false;
  const QString text = QInputDialog::getText(DialogOwner(), Q(title), Q(prompt), QLineEdit::Normal, Q(defaultText), &ok);
  if (!ok) return std::nullopt;
  return text.toStdString();
}

std::optional<platform::FileDialogResult> QtUserInteraction::FileDialog(const platform::FileDialogRequest& request) {
  QFileDialog dialog(DialogOwner(), Q(request.title));
  const QStringList filters = NameFilters(request.filter);
  if (!filters.isEmpty()) dialog.setNameFilters(filters);
  if (request.filterIndex >= 1 && request.filterIndex <= filters.size())
    dialog.selectNameFilter(filters[request.filterIndex - 1]);
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode((request.flags & platform::OFN_FILEMUSTEXIST) || !request.save ? QFileDialog::ExistingFile
                                                                                    : QFileDialog::AnyFile);
  if (!(request.flags & platform::OFN_OVERWRITEPROMPT)) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (!request.defaultExtension.empty()) dialog.setDefaultSuffix(Q(request.defaultExtension));
  if (!request.initialFolder.empty()) dialog.setDirectory(Q(request.initialFolder));
  if (!request.fileName.empty()) {
    const QFileInfo initial(Q(request.fileName));
    if (initial.path() != "." && QFileInfo(initial.path()).isDir()) dialog.setDirectory(initial.path());
    dialog.selectFile(initial.fileName());
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  platform::FileDialogResult result;
  result.fileName = dialog.selectedFiles().front().toStdString();
  const qsizetype chosen = filters.indexOf(dialog.selectedNameFilter());
  result.filterIndex = chosen >= 0 ? static_cast<int32_t>(chosen + 1) : request.filterIndex;
  return result;
}

std::optional<int32_t> QtUserInteraction::ChooseColor(int32_t initialColor, int32_t) {
  // Colours travel as 0x00BBGGRR.
  const QColor initial(initialColor & 0xff, (initialColor >> 8) & 0xff, (initialColor >> 16) & 0xff);
  const QColor chosen = QColorDialog::getColor(initial, DialogOwner());
  if (!chosen.isValid()) return std::nullopt;
  return chosen.red() | (chosen.green() << 8) | (chosen.blue() << 16);
}

std::optional<platform::FontChoice> QtUserInteraction::ChooseFont(const platform::FontChoice& initial, int32_t) {
  QFont font(QString::fromStdString(initial.name));
  if (initial.size > 0) font.setPointSizeF(initial.size);
  font.setBold(initial.bold);
  font.setItalic(initial.italic);
  font.setUnderline(initial.underline);
  font.setStrikeOut(initial.strikethrough);
  bool ok = false;
  const QFont chosen = QFontDialog::getFont(&ok, font, DialogOwner());
  if (!ok) return std::nullopt;
  platform::FontChoice out = initial;
  out.name = chosen.family().toStdString();
  out.size = chosen.pointSizeF();
  out.bold = chosen.bold();
  out.italic = chosen.italic();
  out.underline = chosen.underline();
  out.strikethrough = chosen.strikeOut();
  return out;
}

std::optional<platform::PrinterChoice> QtUserInteraction::ChoosePrinter(const platform::PrinterChoice&) {
  return std::nullopt;
}

void QtUserInteraction::SetPointer(platform::MousePointer pointer) {
  pointer_ = pointer;
  while (overrides_ > 0) {
    QApplication::restoreOverrideCursor();
    --overrides_;
  }
  if (pointer == platform::MousePointer::Hourglass) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ++overrides_;
  } else if (pointer == platform::MousePointer::Arrow) {
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    ++overrides_;
  }
}

bool QtUserInteraction::ShowHelp(const std::string& helpFile, int32_t contextId) {
  // The window shows a missing file or topic itself, so it opens either way.
  HelpWindow& window = HelpWindow::Instance(DialogOwner());
  const bool shown = window.ShowTopic(helpFile, contextId);
  window.show();
  window.raise();
  window.activateWindow();
  return shown;
}

}  // namespace qx6::dialog
