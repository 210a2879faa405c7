// Operators' notes as marks on the strip charts: live as they are added; in
// replay where the journal says they were made.
#pragma once

#include <cstdint>
#include <string_view>

// Marks the charts' latest samples with the note's first words.
void mark_note(int panel, std::string_view note);

// Replay: the next marks are of the notes made after the recording held
// `offset` bytes (from the journal's first with -1).
void start_note_marks(int64_t offset);

// Replay: marks the notes made by the time the recording held `shown_up_to`
// bytes, which the last marks had not reached.
void mark_replayed_notes(int panel, int64_t shown_up_to);
