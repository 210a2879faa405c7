#include "toml_guard.h"

#include "utf8.h"

namespace {

enum class Place { BARE, COMMENT, BASIC, LITERAL, LONG_BASIC, LONG_LITERAL };

bool non_ascii(char c) { return static_cast<unsigned char>(c) >= 0x80; }

void append_escape(std::string* out, char32_t code) {
    constexpr char HEX[] = "0123456789ABCDEF";
    int digits = code > 0xFFFF ? 8 : 4;
    *out += digits == 8 ? "\\U" : "\\u";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        *out += HEX[code >> shift & 0xF];
}

// Where text[i], outside any string or comment, leads, and how many of its
// characters open that place.
Place opened(std::string_view rest, size_t* length) {
    *length = 1;
    if (rest[0] == '#') return Place::COMMENT;
    if (rest.starts_with("\"\"\"") || rest.starts_with("'''")) {
        *length = 3;
        return rest[0] == '"' ? Place::LONG_BASIC : Place::LONG_LITERAL;
    }
    if (rest[0] == '"') return Place::BASIC;
    if (rest[0] == '\'') return Place::LITERAL;
    return Place::BARE;
}

// How many characters at the start of `rest` close a string of `place`, 0
// when they do not: a multi-line string's closing quotes may have one or
// two of its own before them.
size_t closing(std::string_view rest, Place place) {
    char quote = place == Place::BASIC || place == Place::LONG_BASIC ? '"' : '\'';
    if (place == Place::BASIC || place == Place::LITERAL) return rest[0] == quote ? 1 : 0;
    if (!rest.starts_with(std::string(3, quote))) return 0;
    size_t length = 3;
    while (length < 5 && length < rest.size() && rest[length] == quote)
        ++length;
    return length;
}

struct Scan {
    std::string_view text;
    std::string* out;
    GuardProblem* problem;
    size_t i = 0;
    uint32_t line = 1;
    Place place = Place::BARE;
};

bool fail(Scan* s, const char* why) {
    s->problem->line = s->line;
    s->problem->why = why;
    return false;
}

// The character other than ASCII at the scan's place.
bool take_non_ascii(Scan* s) {
    std::string_view rest = s->text.substr(s->i);
    size_t length = utf8_length(rest);
    if (length == 0) return fail(s, "not UTF-8");
    if (s->place == Place::BARE || s->place == Place::LITERAL || s->place == Place::LONG_LITERAL)
        return fail(s, "characters other than ASCII belong in double-quoted strings and comments");
    if (s->place == Place::COMMENT)
        *s->out += '?';
    else
        append_escape(s->out, utf8_code(rest, length));
    s->i += length;
    return true;
}

// An escape in a double-quoted string keeps the character after it from
// closing the string.
bool take_escape(Scan* s) {
    *s->out += '\\';
    ++s->i;
    if (s->i < s->text.size() && non_ascii(s->text[s->i]))
        return fail(s, "an escape of a character other than ASCII");
    if (s->i < s->text.size() && s->text[s->i] != '\n') *s->out += s->text[s->i++];
    return true;
}

// The ASCII character at the scan's place, and where it leads.
void take_ascii(Scan* s) {
    std::string_view rest = s->text.substr(s->i);
    size_t length = 1;
    if (rest[0] == '\n') {
        ++s->line;
        if (s->place == Place::COMMENT || s->place == Place::BASIC || s->place == Place::LITERAL)
            s->place = Place::BARE;
    } else if (s->place == Place::BARE) {
        s->place = opened(rest, &length);
    } else if (s->place != Place::COMMENT && (length = closing(rest, s->place)) > 0) {
        s->place = Place::BARE;
    } else {
        length = 1;
    }
    s->out->append(rest.substr(0, length));
    s->i += length;
}

} // namespace

bool ascii_toml(std::string_view text, std::string* out, GuardProblem* problem) {
    out->clear();
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3); // a byte-order mark
    Scan s{text, out, problem};
    while (s.i < text.size()) {
        char c = text[s.i];
        bool in_basic = s.place == Place::BASIC || s.place == Place::LONG_BASIC;
        if (non_ascii(c) && !take_non_ascii(&s)) return false;
        if (c == '\\' && in_basic && !take_escape(&s)) return false;
        if (!non_ascii(c) && !(c == '\\' && in_basic)) take_ascii(&s);
    }
    return true;
}
