// The columns grid of the settings dialog on a Qt table: what the dialog
// asks of a grid (row and column counts with one fixed header row, hidden
// columns, widths in twips, a data type per column, cell texts and check
// boxes, a current row, row removal and moves, suspended redrawing, and
// edit lists set just before a cell is edited) and the notifications it
// answers. Rows are counted as the dialog counts them: row 0 is the header,
// data rows are 1 to Rows() - 1.
#pragma once

#include <QTableWidget>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qx6::dialog {

class ColumnsGrid : public QTableWidget {
 public:
  enum class DataType { Text, Long, Boolean };

  explicit ColumnsGrid(QWidget* parent = nullptr);

  // Notifications. The flag of ComboCloseUp, set to True, ends the edit as
  // soon as an item of a cell's drop-down list is chosen.
  std::function<void(int32_t row, int32_t col, bool& cancel)> BeforeEdit;
  std::function<void(int32_t row, int32_t col, int32_t& keyAscii)> KeyPressEdit;
  std::function<void(int32_t row, int32_t col)> AfterEdit;
  std::function<void()> RowColChange;
  std::function<void(int32_t row, int32_t col, bool& finishEdit)> ComboCloseUp;

  // Rows including the header row. Setting 0 removes every data row and
  // clears the header texts; 1 and more keep the header.
  int32_t Rows() const { return rowCount() + 1; }
  void SetRows(int32_t rows);
  int32_t Cols() const { return columnCount(); }
  void SetCols(int32_t cols);

  // The current row; 0 while no data row is current.
  int32_t Row() const;
  void SetRow(int32_t row);

  // Row 0 is the header text of the column.
  std::string TextMatrix(int32_t row, int32_t col) const;
  void SetTextMatrix(int32_t row, int32_t col, const std::string& text);
  bool CellChecked(int32_t row, int32_t col) const;
  void SetCellChecked(int32_t row, int32_t col, bool checked);

  // Appends a data row with empty cells (check boxes in Boolean columns).
  void AddRow();
  void RemoveItem(int32_t row);
  // Moves data row `row` to position `position`.
  void SetRowPosition(int32_t row, int32_t position);

  void SetColHidden(int32_t col, bool hidden) { setColumnHidden(col, hidden); }
  bool ColHidden(int32_t col) const { return isColumnHidden(col); }
  DataType ColDataType(int32_t col) const;
  void SetColDataType(int32_t col, DataType type);
  // Widths in twips, 1440 to the inch at the screen's resolution.
  int32_t ColWidth(int32_t col) const;
  void SetColWidth(int32_t col, int32_t twips);
  int32_t WidthTwips() const;
  void AutoSize(int32_t fromCol, int32_t toCol);

  bool Redraw() const { return redraw_; }
  void SetRedraw(bool redraw);

  // The edit list of the cell about to be edited, in the list syntax: items
  // separated by "|", each "#data;text" or plain text; a list beginning
  // with "|" is editable (free text allowed). Empty: a plain text box.
  const std::string& ComboList() const { return comboList_; }
  void SetComboList(const std::string& list) { comboList_ = list; }
  // The item chosen in the last edit, -1 when the text was typed.
  int32_t ComboIndex() const { return comboIndex_; }
  int32_t ComboCount() const { return static_cast<int32_t>(items_.size()); }
  std::string ComboItem(int32_t index) const;
  // The data value of an item (of the chosen one for -1); 0 without one.
  int32_t ComboData(int32_t index = -1) const;
  // The text of the editor while a cell is being edited.
  std::string EditText() const;

  // What the editor delegate reports back.
  struct ListItem {
    std::string text;
    int32_t data = 0;
  };
  const std::vector<ListItem>& ListItems() const { return items_; }
  bool ListEditable() const { return editable_; }
  void ParseComboList();
  void SetComboIndex(int32_t index) { comboIndex_ = index; }
  void SetEditor(QWidget* editor) { editor_ = editor; }
  QWidget* Editor() const { return editor_; }

 private:
  // Cell changes made by the dialog raise no edit notification.
  struct Quiet {
    explicit Quiet(ColumnsGrid& g) : grid(g) { ++grid.quiet_; }
    ~Quiet() { --grid.quiet_; }
    ColumnsGrid& grid;
  };

  // Removing rows raises RowColChange once, after the rows are gone.
  struct Removal {
    explicit Removal(ColumnsGrid& g) : grid(g) { ++grid.removing_; }
    ~Removal();
    ColumnsGrid& grid;
  };

  QTableWidgetItem* Cell(int32_t row, int32_t col, bool create);
  double TwipsPerPixel() const;

  std::vector<DataType> types_;
  std::string comboList_;
  std::vector<ListItem> items_;
  bool editable_ = false;
  int32_t comboIndex_ = -1;
  QWidget* editor_ = nullptr;
  bool redraw_ = true;
  int quiet_ = 0;
  int removing_ = 0;
};

}  // namespace qx6::dialog
