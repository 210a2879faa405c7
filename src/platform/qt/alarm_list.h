// The alarm list: a table the program fills row by row, whose current row
// is the operator's.
#pragma once

class QTableWidget;

namespace kxqt {

// Rows that stay keep the operator's pick; when the picked row goes,
// nothing is picked, rather than a neighbour the operator did not choose.
void set_alarm_rows(QTableWidget* table, int rows);
// Cells past the panel file's columns are not shown: a panel file may leave
// columns out.
void show_alarm_row(QTableWidget* table, int row, const char* const* cells, int count, int state);
// The row the operator selected, or -1.
int selected_alarm(const QTableWidget* table);

} // namespace kxqt
