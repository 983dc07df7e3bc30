#include "dialog/QtFonts.h"

#include <QFontDatabase>
#include <QFontInfo>

#include <vector>

#include "dialog/ColumnsGrid.h"

namespace qx6::dialog {
namespace {

constexpr const char* CharSetProperty = "qx6CharSet";

QFontDatabase::WritingSystem WritingSystemOf(int16_t charSet) {
  switch (charSet) {
    case 204: return QFontDatabase::Cyrillic;
    case 161: return QFontDatabase::Greek;
    case 177: return QFontDatabase::Hebrew;
    case 178: return QFontDatabase::Arabic;
    case 163: return QFontDatabase::Vietnamese;
    case 222: return QFontDatabase::Thai;
    case modFonts::SHIFTJIS_CHARSET: return QFontDatabase::Japanese;
    case modFonts::HANGUL_CHARSET: return QFontDatabase::Korean;
    case modFonts::GB2312_CHARSET: return QFontDatabase::SimplifiedChinese;
    case modFonts::CHINESEBIG5_CHARSET: return QFontDatabase::TraditionalChinese;
    case modFonts::DEFAULT_CHARSET: return QFontDatabase::Any;
    default: return QFontDatabase::Latin;
  }
}

}  // namespace

bool FaceCoversCharSet(const std::string& family, int16_t charSet) {
  const QString face = QString::fromStdString(family);
  if (!QFontDatabase::families().contains(face, Qt::CaseSensitive)) return false;
  const QFontDatabase::WritingSystem system = WritingSystemOf(charSet);
  return system == QFontDatabase::Any || QFontDatabase::writingSystems(face).contains(system);
}

modFonts::UIFont QtFontCatalog::Realize(const modFonts::UIFont& requested) const {
  if (FaceCoversCharSet(requested.name, requested.charSet)) return requested;
  // What the system substitutes for a missing face, or for one without the script.
  QFont font(QString::fromStdString(requested.name));
  font.setPointSize(requested.size);
  modFonts::UIFont got = requested;
  got.name = QFontInfo(font).family().toStdString();
  if (got.name == requested.name) got.charSet = modFonts::ANSI_CHARSET;
  else if (!FaceCoversCharSet(got.name, requested.charSet)) got.charSet = modFonts::ANSI_CHARSET;
  return got;
}

int16_t WidgetCharSet(const QWidget& widget) {
  const QVariant value = widget.property(CharSetProperty);
  return value.isValid() ? static_cast<int16_t>(value.toInt()) : modFonts::DEFAULT_CHARSET;
}

std::string WidgetFontTarget::TypeName() const {
  if (dynamic_cast<const ColumnsGrid*>(widget_)) return "ColumnsGrid";
  return widget_->metaObject()->className();
}

std::optional<modFonts::UIFont> WidgetFontTarget::Font() const {
  const QFont font = widget_->font();
  modFonts::UIFont out;
  out.name = font.family().toStdString();
  out.size = static_cast<int16_t>(font.pointSize() > 0 ? font.pointSize() : 8);
  out.charSet = WidgetCharSet(*widget_);
  return out;
}

void WidgetFontTarget::SetFontName(const std::string& name) {
  QFont font = widget_->font();
  font.setFamily(QString::fromStdString(name));
  widget_->setFont(font);
}

void WidgetFontTarget::SetFontCharSet(int16_t charSet) {
  // A face without the script refuses the set, as a font mapper would.
  if (charSet != modFonts::DEFAULT_CHARSET && !FaceCoversCharSet(widget_->font().family().toStdString(), charSet))
    return;
  widget_->setProperty(CharSetProperty, static_cast<int>(charSet));
}

void WidgetFontTarget::SetFontSize(int16_t size) {
  if (size <= 0) return;
  QFont font = widget_->font();
  font.setPointSize(size);
  widget_->setFont(font);
}

void ApplyDialogFont(QWidget& form, const modFonts::UIFont* font) {
  if (!font) return;
  const QFont current = form.font();
  modFonts::UIFont formFont{current.family().toStdString(),
                            static_cast<int16_t>(current.pointSize() > 0 ? current.pointSize() : 8),
                            WidgetCharSet(form)};
  std::vector<WidgetFontTarget> targets;
  for (QWidget* child : form.findChildren<QWidget*>()) {
    // The form's controls, not the insides that Qt builds for them.
    const QString name = child->objectName();
    if (name.isEmpty() || name.startsWith("qt_")) continue;
    targets.emplace_back(child);
  }
  std::vector<modFonts::FontTarget*> controls;
  for (auto& target : targets) controls.push_back(&target);
  modFonts::ApplyFont(formFont, controls, *font);
  QFont applied = current;
  applied.setFamily(QString::fromStdString(formFont.name));
  if (formFont.size > 0) applied.setPointSize(formFont.size);
  form.setFont(applied);
  form.setProperty(CharSetProperty, static_cast<int>(formFont.charSet));
}

}  // namespace qx6::dialog
