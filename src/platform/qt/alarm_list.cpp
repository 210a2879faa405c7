#include "alarm_list.h"

#include <QItemSelectionModel>
#include <QStyle>
#include <QTableWidget>

#include "limit_look.h"

namespace kxqt {
namespace {

// Read only, whatever the panel file says: the cells are the program's.
constexpr Qt::ItemFlags CELL_FLAGS = Qt::ItemIsEnabled | Qt::ItemIsSelectable;

QTableWidgetItem* cell_at(QTableWidget* table, int row, int column) {
    QTableWidgetItem* item = table->item(row, column);
    if (item) return item;
    item = new QTableWidgetItem;
    item->setFlags(CELL_FLAGS);
    table->setItem(row, column, item);
    return item;
}

// Assigning an item's data signals a change and repaints even when the
// value is the same; most rows stay as they are from one frame to the next.
bool set_data(QTableWidgetItem* item, int role, const QVariant& value) {
    if (item->data(role) == value) return false;
    item->setData(role, value);
    return true;
}

// A column widens to a text that does not fit it, and never narrows: the
// columns stay put while the values come and go.
void make_room(QTableWidget* table, int column, const QString& text, int icon_side) {
    int margin =
        2 * (table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 1);
    int needed = table->fontMetrics().horizontalAdvance(text) + 2 * margin;
    if (column == 0) needed += icon_side + margin;
    if (needed > table->columnWidth(column)) table->setColumnWidth(column, needed);
}

} // namespace

void set_alarm_rows(QTableWidget* table, int rows) {
    if (table->rowCount() == rows) return;
    bool picked_goes = selected_alarm(table) >= rows;
    table->setRowCount(rows);
    if (!picked_goes) return;
    table->clearSelection();
    table->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

void show_alarm_row(QTableWidget* table, int row, const char* const* cells, int count, int state) {
    if (row >= table->rowCount()) table->setRowCount(row + 1);
    QVariant background = state == 0 ? QVariant() : QVariant(limit_background(state));
    QVariant foreground = state == 0 ? QVariant() : QVariant(limit_text(state));
    int icon_side = table->iconSize().isValid()
                        ? table->iconSize().height()
                        : table->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, table);
    for (int column = 0; column < table->columnCount(); ++column) {
        QTableWidgetItem* item = cell_at(table, row, column);
        QString text = QString::fromUtf8(column < count ? cells[column] : "");
        if (set_data(item, Qt::DisplayRole, text)) make_room(table, column, text, icon_side);
        set_data(item, Qt::BackgroundRole, background);
        set_data(item, Qt::ForegroundRole, foreground);
    }
    // The first cell carries the badge: the state shows without its colour,
    // also while the operator's selection colours the row.
    if (table->columnCount() > 0 && table->item(row, 0)->data(Qt::UserRole).toInt() != state) {
        QTableWidgetItem* first = table->item(row, 0);
        first->setData(Qt::UserRole, state);
        first->setIcon(limit_badge_icon(state, icon_side));
    }
}

int selected_alarm(const QTableWidget* table) {
    int row = table->currentRow();
    QItemSelectionModel* selection = table->selectionModel();
    if (row < 0 || !selection || !selection->isRowSelected(row, QModelIndex())) return -1;
    return row;
}

} // namespace kxqt
