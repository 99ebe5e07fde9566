// Output collected in a block and written to stdout (or appended to a string) whenever it
// fills, so that a dump of hundreds of thousands of nodes neither holds the whole text nor writes
// piece by piece; with the JSON pieces (numbers, strings) written straight into the block.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include <cstdio>
#include <new>

#include "cli/sink.h"
#include "cli/utf8.h"
#include "dicom/io/LargeBlock.h"

class Output {
public:
    // One huge page: the block costs one page fault where the system has them.
    static constexpr size_t kBlockSize = LargeBlock::kHugePageSize;

    explicit Output(std::string* sink = nullptr, size_t blockSize = kBlockSize);
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    ~Output() { Flush(); }
    void Flush() {
        if (m_pos != Begin()) Write(Begin(), static_cast<size_t>(m_pos - Begin()));
        m_pos = Begin();
    }
    template <size_t N>
    void Raw(const char (&literal)[N]) {
        Raw(literal, N - 1);
    }
    void Raw(const std::string& text) { Raw(text.data(), text.size()); }
    void Raw(const char* text, size_t length) {
        if (length > static_cast<size_t>(m_end - m_pos)) {
            Flush();
            if (length > m_blockSize) {
                Write(text, length);
                return;
            }
        }
        std::memcpy(m_pos, text, length);
        m_pos += length;
    }
    void Number(uint64_t value);
    void Boolean(bool value) {
        if (value)
            Raw("true");
        else
            Raw("false");
    }
    // A JSON string of UTF-8 bytes: quotes, backslashes and control characters escaped.
    void JsonUtf8(const std::string& utf8);
    // A JSON string of wide text, converted to UTF-8 on the way.
    void JsonWide(const std::wstring& text);

private:
    char* Begin() const { return reinterpret_cast<char*>(m_block.Data()); }
    void Write(const char* text, size_t length);
    void WriteWide(const std::wstring& text, size_t from, size_t to, bool open, bool close);
    void Escape(unsigned char c);

    std::string* m_sink;
    size_t m_blockSize;
    LargeBlock m_block;
    char* m_pos;
    char* m_end;
};

// The members are defined here, inline: they run a few times per node of a dump, and the
// compiler inlines them into the writers in other files only when it sees their bodies.

inline Output::Output(std::string* sink, size_t blockSize) : m_sink(sink), m_blockSize(std::max<size_t>(blockSize, 64)) {
    if (!m_block.Allocate(m_blockSize)) throw std::bad_alloc();
    m_pos = Begin();
    m_end = Begin() + m_blockSize;
}

inline void Output::Number(uint64_t value) {
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

inline void Output::JsonUtf8(const std::string& utf8) {
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

inline void Output::JsonWide(const std::wstring& text) {
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

inline void Output::Write(const char* text, size_t length) {
    if (m_sink != nullptr)
        m_sink->append(text, length);
    else
        WriteOut(text, length);
}

inline void Output::WriteWide(const std::wstring& text, size_t from, size_t to, bool open, bool close) {
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

inline void Output::Escape(unsigned char c) {
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
