// The journal reader over arbitrary text. Beyond not crashing: the records
// taken lie within the recording and follow each other, each line is taken
// or reported, and what was taken, written out again, reads back the same
// with no problem.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "journal_format.h"
#include "journal_reader.h"

namespace {

JournalReading read_text(std::string text, int64_t recording_size) {
    JournalReading reading;
    std::FILE* stream = text.empty() ? nullptr : fmemopen(text.data(), text.size(), "rb");
    if (stream == nullptr) stream = std::tmpfile();
    read_journal(stream, recording_size, &reading);
    std::fclose(stream);
    return reading;
}

// The lines the reading took, written as a journal again.
std::string rewritten(const JournalReading& reading) {
    std::string text = JOURNAL_HEADER;
    size_t event = 0;
    for (const JournalRecord& r : reading.records) {
        // Events keep their place before the first record that came after them.
        for (; event < reading.events.size() && reading.events[event].time <= r.time; ++event) {
            const JournalEvent& e = reading.events[event];
            text += journal_line(e.time, e.offset, e.kind, e.text);
        }
        text += journal_line(r.time, r.offset, r.good ? KIND_FRAME : KIND_BAD, "");
    }
    for (; event < reading.events.size(); ++event) {
        const JournalEvent& e = reading.events[event];
        text += journal_line(e.time, e.offset, e.kind, e.text);
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first two bytes give the recording's size, in records and bytes.
    int64_t recording_size = size >= 2 ? (int64_t{data[0]} << 8 | data[1]) : -1;
    std::string text(reinterpret_cast<const char*>(data), size);
    if (size >= 2) text.erase(0, 2);
    JournalReading reading = read_text(text, recording_size);
    int64_t next = 0;
    for (const JournalRecord& r : reading.records) {
        require(r.offset >= next, "records follow each other");
        require(recording_size < 0 || r.offset + 256 <= recording_size,
                "records lie within the recording");
        next = r.offset + (r.good ? 256 : 1);
    }
    size_t lines = 0;
    for (char c : text)
        lines += c == '\n';
    require(reading.records.size() + reading.events.size() + reading.problems.size() + 1 >= lines,
            "each line is taken or reported");
    bool ordered = true; // times not going back: the rewrite then keeps the order
    int64_t last = INT64_MIN;
    for (const JournalRecord& r : reading.records) {
        ordered = ordered && r.time >= last;
        last = r.time;
    }
    if (ordered && reading.events.empty()) {
        JournalReading again = read_text(rewritten(reading), recording_size);
        require(again.problems.empty(), "what was taken reads back without a problem");
        require(again.records.size() == reading.records.size(), "and as many records");
    }
    return 0;
}
