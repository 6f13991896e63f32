#include "base/UnicodeEscapes.h"

#include <cwchar>

static int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::unique_ptr<wchar_t[]> convertToUnicode(const SString& text) {
    std::unique_ptr<wchar_t[]> result(new wchar_t[text.size() + 1]());
    size_t out = 0;
    std::mbstate_t state{};
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '\\' && i + 5 < text.size() && (text[i + 1] == 'u' || text[i + 1] == 'U')) {
            // Leading hexadecimal digits of the four, at least one, as "%x" scans them.
            unsigned value = 0;
            int digits = 0;
            while (digits < 4 && hexValue(text[i + 2 + digits]) >= 0) {
                value = value * 16 + static_cast<unsigned>(hexValue(text[i + 2 + digits]));
                ++digits;
            }
            if (digits > 0) {
                result[out++] = static_cast<wchar_t>(value);
                i += 6;
                continue;
            }
        }
        unsigned char byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x80) {
            wchar_t wc = 0;
            size_t n = mbrtowc(&wc, text.data() + i, text.size() - i, &state);
            if (n != static_cast<size_t>(-1) && n != static_cast<size_t>(-2) && n > 0) {
                result[out++] = wc;
                i += n;
                continue;
            }
            state = std::mbstate_t{};
        }
        result[out++] = static_cast<wchar_t>(byte);
        ++i;
    }
    return result;
}
