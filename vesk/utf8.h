// Well-formed UTF-8, one sequence at a time.
#ifndef VESK_UTF8_H
#define VESK_UTF8_H

#include <cstddef>

// The length of the well-formed UTF-8 sequence that starts at `text`, 1 for
// ASCII; 0 for a stray or missing continuation byte, an overlong form, a
// surrogate or a code point beyond U+10FFFF.
inline std::size_t utf8SequenceLength(const unsigned char* text, const unsigned char* end)
{
    unsigned lead = text[0];
    if (lead < 0x80)
        return 1;
    // The bounds of the second byte exclude overlong forms (E0, F0),
    // surrogates (ED) and code points beyond U+10FFFF (F4).
    unsigned low = 0x80;
    unsigned high = 0xBF;
    std::ptrdiff_t length;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    } else {
        return 0;
    }
    if (end - text < length || text[1] < low || text[1] > high)
        return 0;
    for (std::ptrdiff_t i = 2; i < length; ++i)
        if ((text[i] & 0xC0) != 0x80)
            return 0;
    return std::size_t(length);
}

#endif
