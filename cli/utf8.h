// The one UTF-8 encoder of orveldump: wide text (UTF-32 on Unix, UTF-16 on Windows) to UTF-8
// and back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The code point at text[i], joining a UTF-16 surrogate pair where wchar_t is 16 bits; i moves
// past what was read. `end` bounds the pair.
inline uint32_t NextCodePoint(const wchar_t* text, size_t& i, size_t end) {
    uint32_t c = static_cast<uint32_t>(text[i++]);
    if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i < end) {
        const uint32_t low = static_cast<uint32_t>(text[i]);
        if (low >= 0xDC00 && low <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        }
    }
    return c;
}

// Writes the UTF-8 bytes of one code point (U+FFFD for a lone surrogate or a value past
// U+10FFFF) at p, at most 4, and returns the end.
inline char* EncodeUtf8(uint32_t c, char* p) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
        *p++ = static_cast<char>(c);
        return p;
    }
    if (c < 0x800) {
        *p++ = static_cast<char>(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
        *p++ = static_cast<char>(0xE0 | (c >> 12));
        *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    } else {
        *p++ = static_cast<char>(0xF0 | (c >> 18));
        *p++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    *p++ = static_cast<char>(0x80 | (c & 0x3F));
    return p;
}

std::string Utf8(const std::wstring& text);
// Malformed bytes become U+FFFD.
std::wstring WideFromUtf8(const std::string& text);
// A file's path as the parse opens it. Where names are bytes (not Windows), each byte that is
// not part of well-formed UTF-8 (a Latin-1 name, say) is carried as U+DC00 plus the byte, which
// no well-formed text decodes to, and the open turns it back into that byte.
std::wstring WidePath(const std::string& path);
