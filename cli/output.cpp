#include "cli/output.h"

#include <cstdio>
#include <new>

#include "cli/utf8.h"

Output::Output(std::string* sink, size_t blockSize) : m_sink(sink), m_blockSize(std::max<size_t>(blockSize, 64)) {
    if (!m_block.Allocate(m_blockSize)) throw std::bad_alloc();
    m_pos = Begin();
    m_end = Begin() + m_blockSize;
}

void Output::Number(uint64_t value) {
    // Two digits per division.
    static const char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    char digits[24];
    char* end = digits + sizeof digits;
    char* p = end;
    while (value >= 100) {
        const unsigned pair = static_cast<unsigned>(value % 100);
        value /= 100;
        p -= 2;
        std::memcpy(p, kPairs + 2 * pair, 2);
    }
    if (value >= 10) {
        p -= 2;
        std::memcpy(p, kPairs + 2 * value, 2);
    } else {
        *--p = static_cast<char>('0' + value);
    }
    Raw(p, static_cast<size_t>(end - p));
}

void Output::JsonUtf8(const std::string& utf8) {
    Raw("\"");
    for (const char ch : utf8) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c != '"' && c != '\\')
            Raw(&ch, 1);
        else
            Escape(c);
    }
    Raw("\"");
}

void Output::JsonWide(const std::wstring& text) {
    // Six bytes per character at most (an escape), plus the quotes.
    const size_t most = 6 * text.size() + 2;
    if (most > static_cast<size_t>(m_end - m_pos)) {
        Flush();
        if (most > m_blockSize) {
            const size_t piece = m_blockSize / 16;
            for (size_t i = 0; i < text.size(); i += piece) {
                // Very long texts go out in pieces; a surrogate pair is never split.
                size_t end = std::min(text.size(), i + piece);
                if (sizeof(wchar_t) == 2 && end < text.size() && text[end - 1] >= 0xD800 && text[end - 1] <= 0xDBFF) ++end;
                WriteWide(text, i, end, i == 0, end == text.size());
                Flush();
                i = end - piece;
            }
            return;
        }
    }
    WriteWide(text, 0, text.size(), true, true);
}

void Output::Write(const char* text, size_t length) {
    if (m_sink != nullptr)
        m_sink->append(text, length);
    else
        std::fwrite(text, 1, length, stdout);
}

void Output::WriteWide(const std::wstring& text, size_t from, size_t to, bool open, bool close) {
    char* p = m_pos;
    if (open) *p++ = '"';
    for (size_t i = from; i < to;) {
        const wchar_t w = text[i];
        if (static_cast<uint32_t>(w) < 0x80) {
            ++i;
            if (w >= 0x20 && w != L'"' && w != L'\\') {
                *p++ = static_cast<char>(w);
            } else {
                m_pos = p;
                Escape(static_cast<unsigned char>(w));
                p = m_pos;
            }
            continue;
        }
        p = EncodeUtf8(NextCodePoint(text.data(), i, to), p);
    }
    if (close) *p++ = '"';
    m_pos = p;
}

void Output::Escape(unsigned char c) {
    switch (c) {
        case '"': Raw("\\\""); break;
        case '\\': Raw("\\\\"); break;
        case '\n': Raw("\\n"); break;
        case '\r': Raw("\\r"); break;
        case '\t': Raw("\\t"); break;
        default: {
            static const char kHex[] = "0123456789abcdef";
            const char escaped[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
            Raw(escaped, 6);
        }
    }
}
