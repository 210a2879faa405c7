#include "control_table.h"

#include "controls.h"

namespace kxqt {
namespace {

#define KX_CONTROL(id, class_name)                                                                 \
    { id, #id, class_name }

constexpr ControlEntry entries[] = {
    KX_CONTROL(PANEL_WORD_244, "QLineEdit"),     KX_CONTROL(PANEL_WORD_10, "QLineEdit"),
    KX_CONTROL(PANEL_WORD_252, "QLineEdit"),     KX_CONTROL(PANEL_WORD_14, "QLineEdit"),
    KX_CONTROL(PANEL_WORD_12, "QLineEdit"),      KX_CONTROL(PANEL_QUIT, "QPushButton"),
    KX_CONTROL(PANEL_XMIN, "kxqt::IntInput"),    KX_CONTROL(PANEL_XMAX, "kxqt::IntInput"),
    KX_CONTROL(PANEL_YMIN, "kxqt::FloatInput"),  KX_CONTROL(PANEL_YMAX, "kxqt::FloatInput"),
    KX_CONTROL(PANEL_NFRAMES, "kxqt::IntInput"), KX_CONTROL(PANEL_RESET, "QPushButton"),
    KX_CONTROL(PANEL_ACCUMULATE, "QComboBox"),   KX_CONTROL(PANEL_XLOG, "QCheckBox"),
    KX_CONTROL(PANEL_YLOG, "QCheckBox"),         KX_CONTROL(PANEL_SPECTRUM, "kxqt::Graph"),
    KX_CONTROL(PANEL_COUNT_MODE3, "QLineEdit"),  KX_CONTROL(PANEL_COUNT_MODE2, "QLineEdit"),
    KX_CONTROL(PANEL_COUNT_MODE0, "QLineEdit"),  KX_CONTROL(PANEL_TIME, "QLineEdit"),
    KX_CONTROL(PANEL_TENTH_248, "QLineEdit"),    KX_CONTROL(PANEL_TENTH_246, "QLineEdit"),
    KX_CONTROL(PANEL_SCALED_246, "QLineEdit"),   KX_CONTROL(PANEL_SCALED_248, "QLineEdit"),
    KX_CONTROL(PANEL_SCALED_250, "QLineEdit"),   KX_CONTROL(PANEL_HEXDUMP, "QPlainTextEdit"),
    KX_CONTROL(PANEL_SKIPPED, "QLineEdit"),      KX_CONTROL(PANEL_STATUS, "QLineEdit"),
    KX_CONTROL(PANEL_RATES, "kxqt::StripChart"), KX_CONTROL(PANEL_GROUP_CHART, "kxqt::StripChart"),
    KX_CONTROL(PANEL_RESTART, "QPushButton"),
};

#undef KX_CONTROL

} // namespace

std::span<const ControlEntry> control_entries() { return entries; }

const char* panel_name(int resource) { return resource == PANEL ? "PANEL" : nullptr; }

} // namespace kxqt
