#include "note_marks.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "controls.h"
#include "journal_format.h"
#include "kxview_storage.h"
#include "runtime.h"

namespace {

// A note's mark on the strip charts shows about this many of its first bytes.
constexpr size_t NOTE_MARK_BYTES = 24;

} // namespace

void mark_note(int panel, std::string_view note) {
    char label[NOTE_MARK_BYTES + 4];
    size_t length = note.size() < NOTE_MARK_BYTES ? note.size() : note.rfind(' ', NOTE_MARK_BYTES);
    if (length == std::string_view::npos || length == 0) length = NOTE_MARK_BYTES;
    std::snprintf(label, sizeof label, "%.*s%s", static_cast<int>(length), note.data(),
                  length < note.size() ? "..." : "");
    PlotStripChartMark(panel, PANEL_RATES, label);
    PlotStripChartMark(panel, PANEL_GROUP_CHART, label);
}

void start_note_marks(int64_t offset) {
    const std::vector<JournalEvent>& events = kx.replay_journal.events;
    auto first = std::partition_point(events.begin(), events.end(),
                                      [&](const JournalEvent& e) { return e.offset <= offset; });
    kx.replay_events_passed = static_cast<size_t>(first - events.begin());
}

// A note is shown after the last frame that had come when the operator
// typed it.
void mark_replayed_notes(int panel, int64_t shown_up_to) {
    const std::vector<JournalEvent>& events = kx.replay_journal.events;
    for (; kx.replay_events_passed < events.size() &&
           events[kx.replay_events_passed].offset <= shown_up_to;
         ++kx.replay_events_passed) {
        const JournalEvent& event = events[kx.replay_events_passed];
        if (event.kind == KIND_NOTE) mark_note(panel, event.text);
    }
}
