// Output collected in a block and written to stdout (or appended to a string) whenever it
// fills, so that a dump of hundreds of thousands of nodes neither holds the whole text nor writes
// piece by piece; with the JSON pieces (numbers, strings) written straight into the block.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "dicom/LargeBlock.h"

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
