#include "journal_format.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

constexpr int64_t MICROS_PER_SECOND = 1000000;

// Reads `width` decimal digits at `at` (no sign), moving past them.
bool digits(std::string_view text, size_t* at, size_t width, int* value) {
    if (*at + width > text.size()) return false;
    *value = 0;
    for (size_t i = *at; i < *at + width; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        *value = *value * 10 + (text[i] - '0');
    }
    *at += width;
    return true;
}

bool literal(std::string_view text, size_t* at, char c) {
    if (*at >= text.size() || text[*at] != c) return false;
    ++*at;
    return true;
}

} // namespace

std::string journal_path_for(const std::string& recording) {
    size_t slash = recording.rfind('/');
    size_t dot = recording.rfind('.');
    bool has_extension =
        dot != std::string::npos && dot > 0 && (slash == std::string::npos || dot > slash + 1);
    return (has_extension ? recording.substr(0, dot) : recording) + JOURNAL_EXTENSION;
}

void format_utc(int64_t microseconds, char text[UTC_TEXT_BYTES]) {
    int64_t seconds = microseconds / MICROS_PER_SECOND;
    int64_t fraction = microseconds % MICROS_PER_SECOND;
    if (fraction < 0) {
        fraction += MICROS_PER_SECOND;
        --seconds;
    }
    std::time_t whole = static_cast<std::time_t>(seconds);
    std::tm utc{};
    text[0] = '\0';
    // Four digits of year whatever the year, as parse_utc reads it.
    if (gmtime_r(&whole, &utc) != nullptr)
        std::snprintf(text, UTC_TEXT_BYTES, "%04d-%02d-%02dT%02d:%02d:%02d.%06dZ",
                      utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min,
                      utc.tm_sec, static_cast<int>(fraction));
}

std::string utc_text(int64_t microseconds) {
    char text[UTC_TEXT_BYTES];
    format_utc(microseconds, text);
    return text;
}

bool parse_utc(std::string_view text, int64_t* microseconds) {
    std::tm utc{};
    size_t at = 0;
    int year = 0, month = 0;
    if (!(digits(text, &at, 4, &year) && literal(text, &at, '-') && digits(text, &at, 2, &month) &&
          literal(text, &at, '-') && digits(text, &at, 2, &utc.tm_mday) &&
          literal(text, &at, 'T') && digits(text, &at, 2, &utc.tm_hour) &&
          literal(text, &at, ':') && digits(text, &at, 2, &utc.tm_min) && literal(text, &at, ':') &&
          digits(text, &at, 2, &utc.tm_sec)))
        return false;
    if (month < 1 || month > 12 || utc.tm_mday < 1 || utc.tm_mday > 31 || utc.tm_hour > 23 ||
        utc.tm_min > 59 || utc.tm_sec > 60)
        return false;
    int64_t fraction = 0;
    if (literal(text, &at, '.')) {
        int64_t scale = MICROS_PER_SECOND;
        size_t first = at;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
            scale /= 10;
            fraction += (text[at] - '0') * scale; // digits past the sixth add 0
        }
        if (at == first) return false;
    }
    if (!literal(text, &at, 'Z') || at != text.size()) return false;
    utc.tm_year = year - 1900;
    utc.tm_mon = month - 1;
    *microseconds = static_cast<int64_t>(timegm(&utc)) * MICROS_PER_SECOND + fraction;
    return true;
}

size_t format_journal_line(char line[JOURNAL_LINE_BYTES], int64_t microseconds, int64_t offset,
                           std::string_view kind, std::string_view text) {
    char time[UTC_TEXT_BYTES];
    format_utc(microseconds, time);
    int head =
        std::snprintf(line, JOURNAL_LINE_BYTES, "%s\t%lld\t%.*s\t", time,
                      static_cast<long long>(offset), static_cast<int>(kind.size()), kind.data());
    size_t length = std::min(static_cast<size_t>(head), JOURNAL_LINE_BYTES - NOTE_BYTES - 1);
    for (char c : text.substr(0, NOTE_BYTES - 1))
        line[length++] = c == '\t' || c == '\n' || c == '\r' ? ' ' : c;
    line[length++] = '\n';
    line[length] = '\0';
    return length;
}

std::string journal_line(int64_t microseconds, int64_t offset, std::string_view kind,
                         std::string_view text) {
    char line[JOURNAL_LINE_BYTES];
    return std::string(line, format_journal_line(line, microseconds, offset, kind, text));
}
