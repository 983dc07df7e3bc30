// The dialog's own small pictures: the tab images and the picture buttons
// (browse, date sample, add, remove, remove all, move up, move down),
// drawn once so the dialog needs no image files.
#pragma once

#include <QIcon>

namespace qx6::dialog::DialogIcons {

QIcon FormatOptions();
QIcon Columns();
QIcon Browse();
QIcon CheckDate();
QIcon AddRow();
QIcon RemoveRow();
QIcon RemoveAll();
QIcon MoveUp();
QIcon MoveDown();

}  // namespace qx6::dialog::DialogIcons
