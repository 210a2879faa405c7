#include "dump_output.h"

#include "journal_format.h"
#include "utf8.h"

namespace {

// The housekeeping words and the scaled words by the frame offset that names
// them in the output.
constexpr const char* WORD_NAMES[] = {"10", "12", "14", "244", "252"};
constexpr const char* SCALED_NAMES[] = {"246", "248", "250"};
constexpr int WORD_COUNT = 5;
constexpr int SCALED_MAX = 3;

void words_of(const FrameValues& v, int words[WORD_COUNT]) {
    words[0] = v.word_10;
    words[1] = v.word_12;
    words[2] = v.word_14;
    words[3] = v.word_244;
    words[4] = v.word_252;
}

bool has_time(const FrameValues& v) { return v.mode == 1; }

void key(TextBuffer& out, const char* name) {
    out.character('"');
    out.text(name);
    out.text("\": ");
}

template <typename T> void json_array(TextBuffer& out, const T* values, int count) {
    out.character('[');
    for (int i = 0; i < count; ++i) {
        if (i > 0) out.text(", ");
        out.number(values[i]);
    }
    out.character(']');
}

// ", \"name\": [...]": a named array after an earlier field.
template <typename T>
void json_array_field(TextBuffer& out, const char* name, const T* values, int count) {
    out.text(", ");
    key(out, name);
    json_array(out, values, count);
}

void json_counter(TextBuffer& out, const FrameValues& v) {
    if (has_time(v)) {
        key(out, "time");
        out.character('"');
        out.text(v.time_text);
        out.character('"');
    } else {
        key(out, "counter_value");
        out.number(v.counter_value);
    }
}

void json_words(TextBuffer& out, const FrameValues& v) {
    int words[WORD_COUNT];
    words_of(v, words);
    out.character('{');
    for (int i = 0; i < WORD_COUNT; ++i) {
        if (i > 0) out.text(", ");
        key(out, WORD_NAMES[i]);
        out.number(words[i]);
    }
    out.character('}');
}

void json_scaled(TextBuffer& out, const FrameValues& v) {
    out.character('{');
    for (int i = 0; i < v.scaled_count; ++i) {
        if (i > 0) out.text(", ");
        key(out, SCALED_NAMES[i]);
        out.number(v.scaled[i]);
    }
    out.character('}');
}

template <typename T> void csv_values(TextBuffer& out, const T* values, int count) {
    for (int i = 0; i < count; ++i) {
        out.character(',');
        out.number(values[i]);
    }
}

void csv_names(TextBuffer& out, const char* prefix, int count) {
    for (int i = 0; i < count; ++i) {
        out.character(',');
        out.text(prefix);
        out.number(i);
    }
}

// A JSON string: what JSON cannot hold as it is escaped, and a byte that
// is no UTF-8 replaced by U+FFFD.
void json_string(TextBuffer& out, std::string_view text) {
    constexpr char HEX[] = "0123456789abcdef";
    out.character('"');
    while (!text.empty()) {
        auto c = static_cast<unsigned char>(text[0]);
        size_t length = utf8_length(text);
        if (c == '"' || c == '\\') {
            out.character('\\');
            out.character(static_cast<char>(c));
        } else if (c < 0x20 || c == 0x7F) {
            out.text("\\u00");
            out.character(HEX[c >> 4]);
            out.character(HEX[c & 0xF]);
        } else if (length == 0) {
            out.text("\\ufffd");
        } else {
            out.text(text.substr(0, length));
        }
        text.remove_prefix(length == 0 ? 1 : length);
    }
    out.character('"');
}

} // namespace

void append_json_frame(TextBuffer& out, const FramePlace& place, const FrameValues& v) {
    out.text("{\"frame\": ");
    out.number(place.index);
    out.text(", \"offset\": ");
    out.number(place.offset);
    if (place.arrival != nullptr) {
        out.text(", \"arrival\": ");
        if (*place.arrival == '\0') {
            out.text("null");
        } else {
            out.character('"');
            out.text(place.arrival);
            out.character('"');
        }
    }
    out.text(", \"skipped\": ");
    out.number(place.skipped);
    out.text(", \"mode\": ");
    out.number(v.mode);
    out.text(", \"counter\": ");
    out.number(v.counter);
    out.text(", ");
    json_counter(out, v);
    out.text(", \"words\": ");
    json_words(out, v);
    out.text(", \"scaled\": ");
    json_scaled(out, v);
    json_array_field(out, "rates", v.rates, RATE_COUNT);
    json_array_field(out, "groups", v.groups, GROUP_VALUE_COUNT);
    json_array_field(out, "counts", v.counts, BINS_PER_MODE);
    out.text("}\n");
}

void append_json_summary(TextBuffer& out, const SpectrumStore& store, int64_t frames,
                         int32_t skipped) {
    float plot[CHANNEL_COUNT];
    normalise(&store, plot);
    out.text("{\"summary\": {\"frames\": ");
    out.number(frames);
    out.text(", \"skipped\": ");
    out.number(skipped);
    json_array_field(out, "mode_frames", store.mode_frames, MODE_COUNT);
    json_array_field(out, "bin_width", store.bin_width, CHANNEL_COUNT);
    json_array_field(out, "bin_pos", store.bin_pos, CHANNEL_COUNT);
    json_array_field(out, "spectrum", plot, CHANNEL_COUNT);
    out.text("}}\n");
}

void append_csv_header(TextBuffer& out, bool arrival) {
    out.text(arrival ? "frame,offset,arrival,skipped,mode,counter,counter_value,time"
                     : "frame,offset,skipped,mode,counter,counter_value,time");
    for (const char* name : WORD_NAMES) {
        out.text(",words_");
        out.text(name);
    }
    for (const char* name : SCALED_NAMES) {
        out.text(",scaled_");
        out.text(name);
    }
    csv_names(out, "rates_", RATE_COUNT);
    csv_names(out, "groups_", GROUP_VALUE_COUNT);
    csv_names(out, "counts_", BINS_PER_MODE);
    out.character('\n');
}

void append_csv_frame(TextBuffer& out, const FramePlace& place, const FrameValues& v) {
    const int64_t leading[] = {place.skipped, v.mode, v.counter};
    out.number(place.index);
    out.character(',');
    out.number(place.offset);
    if (place.arrival != nullptr) {
        out.character(',');
        out.text(place.arrival);
    }
    csv_values(out, leading, 3);
    out.character(',');
    if (!has_time(v)) out.number(v.counter_value);
    out.character(',');
    out.text(v.time_text);
    int words[WORD_COUNT];
    words_of(v, words);
    csv_values(out, words, WORD_COUNT);
    for (int i = 0; i < SCALED_MAX; ++i) {
        out.character(',');
        if (i < v.scaled_count) out.number(v.scaled[i]);
    }
    csv_values(out, v.rates, RATE_COUNT);
    csv_values(out, v.groups, GROUP_VALUE_COUNT);
    csv_values(out, v.counts, BINS_PER_MODE);
    out.character('\n');
}

void append_json_event(TextBuffer& out, const JournalEvent& event) {
    char time[UTC_TEXT_BYTES];
    format_utc(event.time, time);
    out.text("{\"time\": \"");
    out.text(time);
    out.text("\", \"offset\": ");
    out.number(event.offset);
    out.text(", \"kind\": ");
    json_string(out, event.kind);
    out.text(", \"text\": ");
    json_string(out, event.text);
    out.text("}\n");
}

void append_spectrum_csv(TextBuffer& out, const SpectrumStore& store) {
    float plot[CHANNEL_COUNT];
    normalise(&store, plot);
    out.text("channel,mode,bin,position,width,counts,normalised\n");
    for (int n = 0; n < CHANNEL_COUNT; ++n) {
        int mode = n / BINS_PER_MODE;
        int bin = n % BINS_PER_MODE;
        const int row[] = {mode, bin, store.bin_pos[n], store.bin_width[n],
                           store.counts[mode][bin]};
        out.number(n);
        csv_values(out, row, 5);
        out.character(',');
        out.number(plot[n]);
        out.character('\n');
    }
}
