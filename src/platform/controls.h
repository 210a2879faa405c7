// Identifiers of the panel and its controls, and the attribute codes the
// program sets. The panel file names each control by the identifier's name.
#pragma once

enum PanelResource {
    PANEL = 1,
};

enum ControlId {
    PANEL_WORD_244 = 2,
    PANEL_WORD_10 = 3,
    PANEL_WORD_252 = 4,
    PANEL_WORD_14 = 5,
    PANEL_WORD_12 = 6,
    // Operator inputs: commits on 7 to 16 are answered by the service loop.
    PANEL_QUIT = 7,
    PANEL_XMIN = 8,
    PANEL_XMAX = 9,
    PANEL_YMIN = 10,
    PANEL_YMAX = 11,
    PANEL_NFRAMES = 12,
    PANEL_RESET = 13,
    PANEL_ACCUMULATE = 14,
    PANEL_XLOG = 15,
    PANEL_YLOG = 16,
    PANEL_SPECTRUM = 17,
    PANEL_COUNT_MODE3 = 18,
    PANEL_COUNT_MODE2 = 19,
    PANEL_COUNT_MODE0 = 20,
    PANEL_TIME = 21,
    PANEL_TENTH_248 = 22,
    PANEL_TENTH_246 = 23,
    PANEL_SCALED_246 = 24,
    PANEL_SCALED_248 = 25,
    PANEL_SCALED_250 = 26,
    PANEL_HEXDUMP = 27,
    PANEL_SKIPPED = 28,
    PANEL_STATUS = 29,
    PANEL_RATES = 30,
    PANEL_GROUP_CHART = 31,
    // Outside 7 to 16 on purpose: its commit ends the service pass, so the
    // next pass starts afresh (counts cleared, settings reset, port flushed).
    PANEL_RESTART = 32,
};

enum AttributeCode {
    // Value 2 on PANEL_NFRAMES marks the accumulation run as ended.
    ATTR_RUN_STATE = 10,
    // 0 linear, 1 logarithmic.
    ATTR_XMAP_MODE = 1141,
    ATTR_YMAP_MODE = 1096,
};

enum RunState {
    RUN_ON = 0,
    RUN_ENDED = 2,
};
