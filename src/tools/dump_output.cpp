#include "dump_output.h"

#include "number_text.h"

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

void append_key(std::string& out, const char* key) {
    out += '"';
    out += key;
    out += "\": ";
}

template <typename T> void append_json_array(std::string& out, const T* values, int count) {
    out += '[';
    for (int i = 0; i < count; ++i) {
        if (i > 0) out += ", ";
        append_int(out, values[i]);
    }
    out += ']';
}

void append_json_float_array(std::string& out, const float* values, int count) {
    out += '[';
    for (int i = 0; i < count; ++i) {
        if (i > 0) out += ", ";
        append_float(out, values[i]);
    }
    out += ']';
}

void append_json_counter(std::string& out, const FrameValues& v) {
    if (has_time(v)) {
        append_key(out, "time");
        out += '"';
        out += v.time_text;
        out += '"';
    } else {
        append_key(out, "counter_value");
        append_double(out, v.counter_value);
    }
}

void append_json_words(std::string& out, const FrameValues& v) {
    int words[WORD_COUNT];
    words_of(v, words);
    out += '{';
    for (int i = 0; i < WORD_COUNT; ++i) {
        if (i > 0) out += ", ";
        append_key(out, WORD_NAMES[i]);
        append_int(out, words[i]);
    }
    out += '}';
}

void append_json_scaled(std::string& out, const FrameValues& v) {
    out += '{';
    for (int i = 0; i < v.scaled_count; ++i) {
        if (i > 0) out += ", ";
        append_key(out, SCALED_NAMES[i]);
        append_double(out, v.scaled[i]);
    }
    out += '}';
}

template <typename T> void append_csv_values(std::string& out, const T* values, int count) {
    for (int i = 0; i < count; ++i) {
        out += ',';
        append_int(out, values[i]);
    }
}

void append_csv_names(std::string& out, const char* prefix, int count) {
    for (int i = 0; i < count; ++i) {
        out += ',';
        out += prefix;
        append_int(out, i);
    }
}

} // namespace

void append_json_frame(std::string& out, const FramePlace& place, const FrameValues& v) {
    out += "{\"frame\": ";
    append_int(out, place.index);
    out += ", \"offset\": ";
    append_int(out, place.offset);
    out += ", \"skipped\": ";
    append_int(out, place.skipped);
    out += ", \"mode\": ";
    append_int(out, v.mode);
    out += ", \"counter\": ";
    append_int(out, v.counter);
    out += ", ";
    append_json_counter(out, v);
    out += ", \"words\": ";
    append_json_words(out, v);
    out += ", \"scaled\": ";
    append_json_scaled(out, v);
    out += ", \"rates\": ";
    append_json_array(out, v.rates, RATE_COUNT);
    out += ", \"groups\": ";
    append_json_array(out, v.groups, GROUP_VALUE_COUNT);
    out += ", \"counts\": ";
    append_json_array(out, v.counts, BINS_PER_MODE);
    out += "}\n";
}

void append_json_summary(std::string& out, const SpectrumStore& store, int64_t frames,
                         int32_t skipped) {
    float plot[CHANNEL_COUNT];
    normalise(&store, plot);
    out += "{\"summary\": {\"frames\": ";
    append_int(out, frames);
    out += ", \"skipped\": ";
    append_int(out, skipped);
    out += ", \"mode_frames\": ";
    append_json_array(out, store.mode_frames, MODE_COUNT);
    out += ", \"bin_width\": ";
    append_json_array(out, store.bin_width, CHANNEL_COUNT);
    out += ", \"bin_pos\": ";
    append_json_array(out, store.bin_pos, CHANNEL_COUNT);
    out += ", \"spectrum\": ";
    append_json_float_array(out, plot, CHANNEL_COUNT);
    out += "}}\n";
}

void append_csv_header(std::string& out) {
    out += "frame,offset,skipped,mode,counter,counter_value,time";
    for (const char* name : WORD_NAMES)
        (out += ",words_") += name;
    for (const char* name : SCALED_NAMES)
        (out += ",scaled_") += name;
    append_csv_names(out, "rates_", RATE_COUNT);
    append_csv_names(out, "groups_", GROUP_VALUE_COUNT);
    append_csv_names(out, "counts_", BINS_PER_MODE);
    out += '\n';
}

void append_csv_frame(std::string& out, const FramePlace& place, const FrameValues& v) {
    append_int(out, place.index);
    out += ',';
    append_int(out, place.offset);
    out += ',';
    append_int(out, place.skipped);
    out += ',';
    append_int(out, v.mode);
    out += ',';
    append_int(out, v.counter);
    out += ',';
    if (!has_time(v)) append_double(out, v.counter_value);
    out += ',';
    out += v.time_text;
    int words[WORD_COUNT];
    words_of(v, words);
    append_csv_values(out, words, WORD_COUNT);
    for (int i = 0; i < SCALED_MAX; ++i) {
        out += ',';
        if (i < v.scaled_count) append_double(out, v.scaled[i]);
    }
    append_csv_values(out, v.rates, RATE_COUNT);
    append_csv_values(out, v.groups, GROUP_VALUE_COUNT);
    append_csv_values(out, v.counts, BINS_PER_MODE);
    out += '\n';
}

void append_spectrum_csv(std::string& out, const SpectrumStore& store) {
    float plot[CHANNEL_COUNT];
    normalise(&store, plot);
    out += "channel,mode,bin,position,width,counts,normalised\n";
    for (int n = 0; n < CHANNEL_COUNT; ++n) {
        int mode = n / BINS_PER_MODE;
        int bin = n % BINS_PER_MODE;
        const int64_t row[] = {
            n, mode, bin, store.bin_pos[n], store.bin_width[n], store.counts[mode][bin]};
        append_int(out, row[0]);
        append_csv_values(out, row + 1, 5);
        out += ',';
        append_float(out, plot[n]);
        out += '\n';
    }
}
