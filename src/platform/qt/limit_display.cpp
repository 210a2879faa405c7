// How values stand against their limits, on the panel: the alarm list, the
// strip charts' limit lines and the bell. A value field's state is an
// attribute (control_values.cpp, field_limit_state.h).
#include <QApplication>
#include <QTableWidget>

#include "alarm_list.h"
#include "application.h"
#include "limit_look.h"
#include "panel_registry.h"
#include "runtime.h"
#include "strip_chart.h"

namespace {

constexpr int FAILED = -1;
// Far more than the values a limits file can watch, and few enough that a
// wrong count cannot take the memory a row's cells need.
constexpr int MOST_ALARM_ROWS = 65536;

template <class Widget> Widget* find(int panel, int control) {
    return qobject_cast<Widget*>(kxqt::control_widget(panel, control));
}

} // namespace

int SetTableRowCount(int panel, int table, int rows) {
    auto* list = find<QTableWidget>(panel, table);
    if (!list || rows < 0 || rows > MOST_ALARM_ROWS) return FAILED;
    kxqt::set_alarm_rows(list, rows);
    return 0;
}

int SetTableRow(int panel, int table, int row, const char* const* cells, int count, int state) {
    auto* list = find<QTableWidget>(panel, table);
    if (!list || row < 0 || row >= MOST_ALARM_ROWS || count < 0 || (count > 0 && !cells) ||
        !kxqt::is_limit_state(state))
        return FAILED;
    for (int i = 0; i < count; ++i)
        if (!cells[i]) return FAILED;
    kxqt::show_alarm_row(list, row, cells, count, state);
    return 0;
}

int SetStripChartLimits(int panel, int chart, int trace, double red_low, double yellow_low,
                        double yellow_high, double red_high) {
    auto* target = find<kxqt::StripChart>(panel, chart);
    if (!target || !target->set_limits(trace, {red_low, yellow_low, yellow_high, red_high}))
        return FAILED;
    return 0;
}

void Beep() {
    // Without a window system there is no bell to ring.
    if (qobject_cast<QApplication*>(&kxqt::application())) QApplication::beep();
}
