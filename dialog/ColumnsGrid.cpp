#include "dialog/ColumnsGrid.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include <cmath>

namespace qx6::dialog {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Builds each cell's editor from the edit list the dialog set in its
// before-edit notification, and reports the end of the edit back.
class ColumnsGridDelegate : public QStyledItemDelegate {
 public:
  explicit ColumnsGridDelegate(ColumnsGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override {
    const int32_t row = index.row() + 1, col = index.column();
    if (grid_->ColDataType(col) == ColumnsGrid::DataType::Boolean) return nullptr;
    grid_->SetComboList("");
    bool cancel = false;
    if (grid_->BeforeEdit) grid_->BeforeEdit(row, col, cancel);
    if (cancel) return nullptr;
    grid_->ParseComboList();
    grid_->SetComboIndex(-1);
    QWidget* editor = nullptr;
    if (!grid_->ComboList().empty()) {
      auto* combo = new QComboBox(parent);
      combo->setObjectName("grdColumnsCombo");
      for (const auto& item : grid_->ListItems()) combo->addItem(Q(item.text), item.data);
      if (grid_->ListEditable()) {
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        // Typed text is kept as typed: no completion into an item's case.
        combo->setCompleter(nullptr);
        QObject::connect(combo->lineEdit(), &QLineEdit::textEdited, grid_, [this] { grid_->SetComboIndex(-1); });
        combo->lineEdit()->installEventFilter(const_cast<ColumnsGridDelegate*>(this));
      } else {
        combo->installEventFilter(const_cast<ColumnsGridDelegate*>(this));
      }
      QObject::connect(combo, &QComboBox::activated, grid_, [this, combo, row, col](int chosen) {
        grid_->SetComboIndex(chosen);
        bool finish = false;
        if (grid_->ComboCloseUp) grid_->ComboCloseUp(row, col, finish);
        if (finish) {
          auto* self = const_cast<ColumnsGridDelegate*>(this);
          emit self->commitData(combo);
          emit self->closeEditor(combo);
        }
      });
      editor = combo;
    } else {
      auto* line = new QLineEdit(parent);
      line->setObjectName("grdColumnsEdit");
      if (grid_->ColDataType(col) == ColumnsGrid::DataType::Long) line->setAlignment(Qt::AlignRight);
      line->installEventFilter(const_cast<ColumnsGridDelegate*>(this));
      editor = line;
    }
    editRow_ = row;
    editCol_ = col;
    grid_->SetEditor(editor);
    return editor;
  }

  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    const QString text = index.data(Qt::DisplayRole).toString();
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
      const int found = combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
      if (combo->isEditable()) {
        combo->setCurrentIndex(found);
        combo->setEditText(text);
      } else {
        combo->setCurrentIndex(found);
      }
      grid_->SetComboIndex(found);
    } else if (auto* line = qobject_cast<QLineEdit*>(editor)) {
      line->setText(text);
      line->selectAll();
    }
  }

  void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
      if (!combo->isEditable()) {
        grid_->SetComboIndex(combo->currentIndex());
        if (combo->currentIndex() < 0) return;
      } else if (grid_->ComboIndex() >= 0 && combo->currentText() != combo->itemText(grid_->ComboIndex())) {
        grid_->SetComboIndex(-1);
      }
      model->setData(index, combo->currentText(), Qt::EditRole);
    } else if (auto* line = qobject_cast<QLineEdit*>(editor)) {
      model->setData(index, line->text(), Qt::EditRole);
    }
    if (grid_->AfterEdit) grid_->AfterEdit(index.row() + 1, index.column());
  }

  // Check boxes stand in the middle of their cells, and a click anywhere in
  // the cell turns one over.
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    if (grid_->ColDataType(index.column()) != ColumnsGrid::DataType::Boolean) {
      QStyledItemDelegate::paint(painter, option, index);
      return;
    }
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    const QWidget* widget = cell.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    QStyleOptionViewItem box = cell;
    cell.features &= ~QStyleOptionViewItem::HasCheckIndicator;
    cell.text.clear();
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
    const QSize size = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &box, widget).size();
    box.rect = QStyle::alignedRect(box.direction, Qt::AlignCenter, size, box.rect);
    box.state &= ~QStyle::State_HasFocus;
    box.state |= box.checkState == Qt::Checked ? QStyle::State_On : QStyle::State_Off;
    style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &box, painter, widget);
  }

  bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
    const bool mouse = event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease ||
                       event->type() == QEvent::MouseButtonDblClick;
    if (!mouse || grid_->ColDataType(index.column()) != ColumnsGrid::DataType::Boolean ||
        !(index.flags() & Qt::ItemIsUserCheckable) || !(index.flags() & Qt::ItemIsEnabled))
      return QStyledItemDelegate::editorEvent(event, model, option, index);
    const auto* click = static_cast<QMouseEvent*>(event);
    if (click->button() != Qt::LeftButton || !option.rect.contains(click->position().toPoint())) return false;
    if (event->type() != QEvent::MouseButtonRelease) return true;
    const bool checked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
    return model->setData(index, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
  }

  void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
    if (grid_->Editor() == editor) grid_->SetEditor(nullptr);
    QStyledItemDelegate::destroyEditor(editor, index);
  }

 protected:
  // Character keys go through the key-press notification, which may discard
  // them by setting the key to 0.
  bool eventFilter(QObject* watched, QEvent* event) override {
    QWidget* editor = grid_->Editor();
    if (event->type() == QEvent::ShortcutOverride && editor) {
      // Escape and Enter belong to the edit, not to the window's shortcuts.
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
        event->accept();
        return true;
      }
    }
    if (event->type() == QEvent::KeyPress && editor) {
      // The keys that end an edit end it for the editor as a whole, also
      // when they reach the text box inside an editable list.
      switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
          emit commitData(editor);
          emit closeEditor(editor, QAbstractItemDelegate::NoHint);
          return true;
        case Qt::Key_Tab:
          emit commitData(editor);
          emit closeEditor(editor, QAbstractItemDelegate::EditNextItem);
          return true;
        case Qt::Key_Escape:
          emit closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
          return true;
        default: break;
      }
    }
    if (event->type() == QEvent::KeyPress && grid_->KeyPressEdit) {
      auto* key = static_cast<QKeyEvent*>(event);
      int32_t ascii = 0;
      if (key->key() == Qt::Key_Backspace) ascii = 8;
      else if (!key->text().isEmpty() && key->text().at(0).isPrint()) ascii = static_cast<int32_t>(key->text().toUcs4().value(0));
      if (ascii != 0) {
        grid_->KeyPressEdit(editRow_, editCol_, ascii);
        if (ascii == 0) return true;
      }
    }
    return QStyledItemDelegate::eventFilter(watched, event);
  }

 private:
  ColumnsGrid* grid_;
  mutable int32_t editRow_ = 0, editCol_ = 0;
};

}  // namespace

ColumnsGrid::ColumnsGrid(QWidget* parent) : QTableWidget(parent) {
  setItemDelegate(new ColumnsGridDelegate(this));
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                  QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
  verticalHeader()->setVisible(false);
  verticalHeader()->setDefaultSectionSize(verticalHeader()->minimumSectionSize() + 6);
  horizontalHeader()->setHighlightSections(false);
  setAlternatingRowColors(true);
  setWordWrap(false);
  connect(this, &QTableWidget::currentCellChanged, this, [this] {
    if (removing_ == 0 && RowColChange) RowColChange();
  });
  // One click on a cell starts its edit, and a cell with a list drops the
  // list down at once, so its choices are one click away.
  connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
    if (ColDataType(index.column()) == DataType::Boolean || state() == QAbstractItemView::EditingState) return;
    edit(index);
    if (auto* combo = qobject_cast<QComboBox*>(editor_)) combo->showPopup();
  });
  connect(this, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
    if (quiet_ > 0 || !item || ColDataType(item->column()) != DataType::Boolean) return;
    if (AfterEdit) AfterEdit(item->row() + 1, item->column());
  });
}

void ColumnsGrid::SetRows(int32_t rows) {
  Quiet quiet(*this);
  if (rows <= 0) {
    Removal removal(*this);
    setRowCount(0);
    for (int32_t c = 0; c < columnCount(); ++c)
      if (auto* header = horizontalHeaderItem(c)) header->setText({});
    return;
  }
  if (rowCount() > rows - 1) {
    Removal removal(*this);
    while (rowCount() > rows - 1) removeRow(rowCount() - 1);
  }
  while (rowCount() < rows - 1) AddRow();
}

void ColumnsGrid::SetCols(int32_t cols) {
  setColumnCount(cols);
  types_.resize(static_cast<size_t>(cols), DataType::Text);
  for (int32_t c = 0; c < cols; ++c)
    if (!horizontalHeaderItem(c)) setHorizontalHeaderItem(c, new QTableWidgetItem());
}

int32_t ColumnsGrid::Row() const { return currentRow() < 0 ? 0 : currentRow() + 1; }

void ColumnsGrid::SetRow(int32_t row) {
  if (row < 1 || row >= Rows()) {
    setCurrentCell(-1, -1);
    return;
  }
  setCurrentCell(row - 1, currentColumn() >= 2 ? currentColumn() : 2);
  // The row comes into view from its first shown column, which names it.
  for (int32_t c = 0; c < columnCount(); ++c) {
    if (!isColumnHidden(c)) {
      scrollTo(model()->index(row - 1, c));
      break;
    }
  }
}

QTableWidgetItem* ColumnsGrid::Cell(int32_t row, int32_t col, bool create) {
  if (col < 0 || col >= columnCount()) return nullptr;
  if (row == 0) return horizontalHeaderItem(col);
  if (row < 1 || row > rowCount()) return nullptr;
  QTableWidgetItem* cell = item(row - 1, col);
  if (!cell && create) {
    cell = new QTableWidgetItem();
    setItem(row - 1, col, cell);
  }
  return cell;
}

std::string ColumnsGrid::TextMatrix(int32_t row, int32_t col) const {
  auto* cell = const_cast<ColumnsGrid*>(this)->Cell(row, col, false);
  return cell ? cell->text().toStdString() : std::string();
}

void ColumnsGrid::SetTextMatrix(int32_t row, int32_t col, const std::string& text) {
  Quiet quiet(*this);
  if (auto* cell = Cell(row, col, true)) cell->setText(Q(text));
}

bool ColumnsGrid::CellChecked(int32_t row, int32_t col) const {
  auto* cell = const_cast<ColumnsGrid*>(this)->Cell(row, col, false);
  return cell && row > 0 && cell->checkState() == Qt::Checked;
}

void ColumnsGrid::SetCellChecked(int32_t row, int32_t col, bool checked) {
  Quiet quiet(*this);
  if (row < 1) return;
  if (auto* cell = Cell(row, col, true)) cell->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void ColumnsGrid::AddRow() {
  Quiet quiet(*this);
  const int r = rowCount();
  insertRow(r);
  for (int32_t c = 0; c < columnCount(); ++c) {
    auto* cell = new QTableWidgetItem();
    if (ColDataType(c) == DataType::Boolean) {
      cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
      cell->setCheckState(Qt::Unchecked);
    } else if (ColDataType(c) == DataType::Long) {
      cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);  // numbers line up on their last digit
    }
    setItem(r, c, cell);
  }
}

void ColumnsGrid::RemoveItem(int32_t row) {
  Quiet quiet(*this);
  if (row < 1 || row > rowCount()) return;
  Removal removal(*this);
  removeRow(row - 1);
}

// The table moves its current cell while the rows are still there; the
// notification comes once they are gone, so it sees the rows that remain.
ColumnsGrid::Removal::~Removal() {
  if (--grid.removing_ == 0 && grid.RowColChange) grid.RowColChange();
}

void ColumnsGrid::SetRowPosition(int32_t row, int32_t position) {
  if (row < 1 || row > rowCount() || position < 1 || position > rowCount() || row == position) return;
  Quiet quiet(*this);
  const QSignalBlocker blocker(this);
  std::vector<QTableWidgetItem*> cells;
  for (int32_t c = 0; c < columnCount(); ++c) cells.push_back(takeItem(row - 1, c));
  removeRow(row - 1);
  insertRow(position - 1);
  for (int32_t c = 0; c < columnCount(); ++c) setItem(position - 1, c, cells[static_cast<size_t>(c)]);
}

ColumnsGrid::DataType ColumnsGrid::ColDataType(int32_t col) const {
  return col >= 0 && col < static_cast<int32_t>(types_.size()) ? types_[static_cast<size_t>(col)] : DataType::Text;
}

void ColumnsGrid::SetColDataType(int32_t col, DataType type) {
  if (col < 0 || col >= static_cast<int32_t>(types_.size())) return;
  types_[static_cast<size_t>(col)] = type;
}

double ColumnsGrid::TwipsPerPixel() const {
  const int dpi = logicalDpiX();
  return 1440.0 / (dpi > 0 ? dpi : 96);
}

int32_t ColumnsGrid::ColWidth(int32_t col) const {
  return static_cast<int32_t>(std::lround(columnWidth(col) * TwipsPerPixel()));
}

void ColumnsGrid::SetColWidth(int32_t col, int32_t twips) {
  setColumnWidth(col, static_cast<int>(std::lround(twips / TwipsPerPixel())));
}

int32_t ColumnsGrid::WidthTwips() const { return static_cast<int32_t>(std::lround(width() * TwipsPerPixel())); }

void ColumnsGrid::AutoSize(int32_t fromCol, int32_t toCol) {
  for (int32_t c = fromCol; c <= toCol && c < columnCount(); ++c) resizeColumnToContents(c);
}

void ColumnsGrid::SetRedraw(bool redraw) {
  redraw_ = redraw;
  setUpdatesEnabled(redraw);
  if (redraw) viewport()->update();
}

void ColumnsGrid::ParseComboList() {
  items_.clear();
  editable_ = !comboList_.empty() && comboList_.front() == '|';
  std::string list = editable_ ? comboList_.substr(1) : comboList_;
  if (comboList_.empty()) return;
  size_t start = 0;
  while (true) {
    const size_t bar = list.find('|', start);
    std::string piece = list.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
    ListItem item;
    if (!piece.empty() && piece.front() == '#') {
      const size_t semi = piece.find(';');
      if (semi != std::string::npos) {
        try {
          item.data = std::stoi(piece.substr(1, semi - 1));
        } catch (...) {
          item.data = 0;
        }
        piece = piece.substr(semi + 1);
      }
    }
    item.text = piece;
    items_.push_back(std::move(item));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
}

std::string ColumnsGrid::ComboItem(int32_t index) const {
  return index >= 0 && index < ComboCount() ? items_[static_cast<size_t>(index)].text : std::string();
}

int32_t ColumnsGrid::ComboData(int32_t index) const {
  if (index < 0) index = comboIndex_;
  return index >= 0 && index < ComboCount() ? items_[static_cast<size_t>(index)].data : 0;
}

std::string ColumnsGrid::EditText() const {
  if (auto* line = qobject_cast<QLineEdit*>(editor_)) return line->text().toStdString();
  if (auto* combo = qobject_cast<QComboBox*>(editor_)) return combo->currentText().toStdString();
  return {};
}

}  // namespace qx6::dialog
