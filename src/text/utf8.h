// UTF-8 as the programs meet it in texts from outside: a journal that a
// crash or another program left, a limits file typed in any editor.
#pragma once

#include <cstddef>
#include <string_view>

// The length of the UTF-8 sequence at text[0] (text non-empty), or 0 when
// it is not one.
inline std::size_t utf8_length(std::string_view text) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                         : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                        : 0;
    if (length == 0 || text.size() < length) return 0;
    // The second byte's range rules out overlong forms, surrogates and
    // code points past U+10FFFF.
    unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    return length;
}

// The code point of a sequence utf8_length found `length` long.
inline char32_t utf8_code(std::string_view text, std::size_t length) {
    char32_t code = static_cast<unsigned char>(text[0]) & (0x7F >> (length > 1 ? length : 0));
    for (std::size_t i = 1; i < length; ++i)
        code = code << 6 | (static_cast<unsigned char>(text[i]) & 0x3F);
    return code;
}
