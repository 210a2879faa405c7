// Identifiers of the panel and its controls, and the attribute codes the
// program sets. The panel file names each control by the identifier's name.
#pragma once

enum PanelResource {
    PANEL = 1,
};

// Every control, once: its identifier, its number, the Qt class (or a base
// of it) of the panel file's widget of that name, and whether a panel file
// must have it: an operator's copy made before an OPTIONAL control came
// still loads, and the feature behind it is simply not offered. The enum below, the
// Qt backend's lookup and the fake backend's names are all made from it.
// Operator inputs: commits on 7 to 16, the note's 35 and replay's transport
// (36 to 43) and the alarm list's 45 are answered by the service loop. PANEL_RESTART is not, on
// purpose: its commit ends the service pass, so the next pass starts afresh
// (counts cleared, settings reset, port flushed).
#define KX_CONTROLS(X)                                                                             \
    X(PANEL_WORD_244, 2, "QLineEdit", REQUIRED)                                                    \
    X(PANEL_WORD_10, 3, "QLineEdit", REQUIRED)                                                     \
    X(PANEL_WORD_252, 4, "QLineEdit", REQUIRED)                                                    \
    X(PANEL_WORD_14, 5, "QLineEdit", REQUIRED)                                                     \
    X(PANEL_WORD_12, 6, "QLineEdit", REQUIRED)                                                     \
    X(PANEL_QUIT, 7, "QPushButton", REQUIRED)                                                      \
    X(PANEL_XMIN, 8, "kxqt::IntInput", REQUIRED)                                                   \
    X(PANEL_XMAX, 9, "kxqt::IntInput", REQUIRED)                                                   \
    X(PANEL_YMIN, 10, "kxqt::FloatInput", REQUIRED)                                                \
    X(PANEL_YMAX, 11, "kxqt::FloatInput", REQUIRED)                                                \
    X(PANEL_NFRAMES, 12, "kxqt::IntInput", REQUIRED)                                               \
    X(PANEL_RESET, 13, "QPushButton", REQUIRED)                                                    \
    X(PANEL_ACCUMULATE, 14, "QComboBox", REQUIRED)                                                 \
    X(PANEL_XLOG, 15, "QCheckBox", REQUIRED)                                                       \
    X(PANEL_YLOG, 16, "QCheckBox", REQUIRED)                                                       \
    X(PANEL_SPECTRUM, 17, "kxqt::Graph", REQUIRED)                                                 \
    X(PANEL_COUNT_MODE3, 18, "QLineEdit", REQUIRED)                                                \
    X(PANEL_COUNT_MODE2, 19, "QLineEdit", REQUIRED)                                                \
    X(PANEL_COUNT_MODE0, 20, "QLineEdit", REQUIRED)                                                \
    X(PANEL_TIME, 21, "QLineEdit", REQUIRED)                                                       \
    X(PANEL_TENTH_248, 22, "QLineEdit", REQUIRED)                                                  \
    X(PANEL_TENTH_246, 23, "QLineEdit", REQUIRED)                                                  \
    X(PANEL_SCALED_246, 24, "QLineEdit", REQUIRED)                                                 \
    X(PANEL_SCALED_248, 25, "QLineEdit", REQUIRED)                                                 \
    X(PANEL_SCALED_250, 26, "QLineEdit", REQUIRED)                                                 \
    X(PANEL_HEXDUMP, 27, "QPlainTextEdit", REQUIRED)                                               \
    X(PANEL_SKIPPED, 28, "QLineEdit", REQUIRED)                                                    \
    X(PANEL_STATUS, 29, "QLineEdit", REQUIRED)                                                     \
    X(PANEL_RATES, 30, "kxqt::StripChart", REQUIRED)                                               \
    X(PANEL_GROUP_CHART, 31, "kxqt::StripChart", REQUIRED)                                         \
    X(PANEL_RESTART, 32, "QPushButton", REQUIRED)                                                  \
    X(PANEL_ARRIVAL, 33, "QLineEdit", OPTIONAL)                                                    \
    X(PANEL_NOTE, 34, "QLineEdit", OPTIONAL)                                                       \
    X(PANEL_ADD_NOTE, 35, "QPushButton", OPTIONAL)                                                 \
    X(PANEL_PLAY, 36, "QPushButton", OPTIONAL)                                                     \
    X(PANEL_STEP_BACK, 37, "QPushButton", OPTIONAL)                                                \
    X(PANEL_STEP_FORWARD, 38, "QPushButton", OPTIONAL)                                             \
    X(PANEL_TO_START, 39, "QPushButton", OPTIONAL)                                                 \
    X(PANEL_TO_END, 40, "QPushButton", OPTIONAL)                                                   \
    X(PANEL_POSITION, 41, "QAbstractSlider", OPTIONAL)                                             \
    X(PANEL_POSITION_TEXT, 42, "QLineEdit", OPTIONAL)                                              \
    X(PANEL_SPEED, 43, "QComboBox", OPTIONAL)                                                      \
    X(PANEL_ALARMS, 44, "QTableWidget", OPTIONAL)                                                  \
    X(PANEL_ACKNOWLEDGE, 45, "QPushButton", OPTIONAL)

#define KX_CONTROL_ID(id, number, class_name, need) id = number,
enum ControlId { KX_CONTROLS(KX_CONTROL_ID) };
#undef KX_CONTROL_ID

enum ControlNeed {
    REQUIRED = 1,
    OPTIONAL = 0,
};

enum AttributeCode {
    // 1 greys a control out: it takes no input.
    ATTR_DIMMED = 11,
    // 0 hides a control, 1 shows it.
    ATTR_VISIBLE = 12,
    // A slider's largest value (its smallest is 0).
    ATTR_MAX_VALUE = 13,
    // Texts: the tip shown on hovering a control, a button's label, a
    // panel's window title.
    ATTR_TOOLTIP = 14,
    ATTR_LABEL_TEXT = 15,
    ATTR_TITLE = 16,
    // How a value field's value stands against its limits (LimitShow): the
    // field shows it in colour and by a mark that does not rely on colour.
    ATTR_LIMIT_STATE = 17,
    // Value 2 on PANEL_NFRAMES marks the accumulation run as ended.
    ATTR_RUN_STATE = 10,
    // 0 linear, 1 logarithmic.
    ATTR_XMAP_MODE = 1141,
    ATTR_YMAP_MODE = 1096,
};

enum LimitShow {
    SHOW_IN_RANGE = 0,
    SHOW_YELLOW = 1,
    SHOW_RED = 2,
};

enum RunState {
    RUN_ON = 0,
    RUN_ENDED = 2,
};
