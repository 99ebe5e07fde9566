#include "cli/utf8.h"

std::string Utf8(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    char bytes[4];
    for (size_t i = 0; i < text.size();) {
        const uint32_t c = NextCodePoint(text.data(), i, text.size());
        out.append(bytes, static_cast<size_t>(EncodeUtf8(c, bytes) - bytes));
    }
    return out;
}

std::wstring WideFromUtf8(const std::string& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        uint32_t c = 0xFFFD;
        size_t extra = 0;
        if (b < 0x80) c = b;
        else if ((b & 0xE0) == 0xC0) { c = b & 0x1F; extra = 1; }
        else if ((b & 0xF0) == 0xE0) { c = b & 0x0F; extra = 2; }
        else if ((b & 0xF8) == 0xF0) { c = b & 0x07; extra = 3; }
        ++i;
        for (size_t k = 0; k < extra; ++k, ++i) {
            if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) { c = 0xFFFD; break; }
            c = (c << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
        }
        if (sizeof(wchar_t) == 2 && c >= 0x10000 && c <= 0x10FFFF) {
            out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<wchar_t>(c);
        }
    }
    return out;
}

std::wstring WidePath(const std::string& path) {
#ifdef _WIN32
    return WideFromUtf8(path);
#else
    // Most paths are ASCII: that part is copied in one pass.
    size_t ascii = 0;
    while (ascii < path.size() && static_cast<unsigned char>(path[ascii]) < 0x80) ++ascii;
    std::wstring out(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(ascii));
    for (size_t i = ascii; i < path.size();) {
        const unsigned char b = static_cast<unsigned char>(path[i]);
        if (b < 0x80) {
            out += static_cast<wchar_t>(b);
            ++i;
            continue;
        }
        const size_t length = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
        uint32_t c = b & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
        bool wellFormed = length != 0 && length <= path.size() - i;
        for (size_t k = 1; wellFormed && k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(path[i + k]);
            wellFormed = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        // Shortest form only, no surrogates, nothing past U+10FFFF: else the bytes would not
        // come back as they were.
        wellFormed = wellFormed && !(length == 3 && c < 0x800) && !(length == 4 && (c < 0x10000 || c > 0x10FFFF)) &&
                     !(c >= 0xD800 && c <= 0xDFFF);
        if (wellFormed) {
            out += static_cast<wchar_t>(c);
            i += length;
        } else {
            out += static_cast<wchar_t>(0xDC00 + b);
            ++i;
        }
    }
    return out;
#endif
}
