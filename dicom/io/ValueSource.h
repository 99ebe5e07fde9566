// Where the values that a parse left in the file are read from when something needs their bytes
// (a value text, a number, a palette). A parse that defers large values (ParseOptions::
// deferValuesAbove) reads them through the reader's cursor while it runs; afterwards from the
// file's stream, which the source then owns, or from a copy of the file's bytes that its owner
// keeps for at least as long as the tree (the viewer's hex view).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class CFileCursor;

class CValueSource {
public:
    // A source over a file of this many bytes that reads nothing yet.
    explicit CValueSource(uint64_t size) : m_size(size) {}
    CValueSource(const CValueSource&) = delete;
    CValueSource& operator=(const CValueSource&) = delete;
    ~CValueSource() { CloseStream(); }

    uint64_t Size() const { return m_size; }
    // Copies count bytes from offset; false when they do not all lie in the file or cannot be
    // read (and then the destination holds nothing to rely on).
    bool Read(uint64_t offset, uint8_t* destination, size_t count);

    // Reads through the cursor of the parse that is running (which keeps the stream's position).
    void ReadThrough(CFileCursor* cursor);
    // Reads from the stream, which it closes when it is done with it. The stream must be the file
    // the tree was parsed from.
    void ReadFromStream(FILE* stream);
    // Reads from the file's bytes, kept by the caller for as long as the tree is used; an owned
    // stream is closed. False, and nothing changed, for a block of another size than the file's.
    bool ReadFromMemory(const uint8_t* bytes, uint64_t size);
    // Reads nothing any more; an owned stream is closed.
    void Close();

    // Values that read from this source; a source no value uses need not stay open.
    void CountValue() { ++m_values; }
    uint64_t GetValueCount() const { return m_values; }

private:
    void CloseStream();

    uint64_t m_size;
    CFileCursor* m_cursor = nullptr;
    FILE* m_stream = nullptr;
    uint64_t m_streamPosition = 0;
    bool m_streamPositionKnown = false;
    const uint8_t* m_memory = nullptr;
    uint64_t m_values = 0;
};
