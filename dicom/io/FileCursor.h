// The read position over a stream of known size, bounds-checked against the size, with a
// read-ahead block for small reads; nothing outside the stream is ever read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

// The read position over a stream of known size. Reads past the end fail and move nothing.
class CFileCursor {
public:
    // The stream must stand at offset 0.
    CFileCursor(FILE* stream, uint64_t size) : m_stream(stream), m_size(size) {}

    uint64_t Position() const { return m_position; }
    uint64_t Size() const { return m_size; }
    // Bytes from the position to the end (0 when the position is at or past it).
    uint64_t Left() const { return m_position < m_size ? m_size - m_position : 0; }
    uint64_t LeftFrom(uint64_t offset) const { return offset < m_size ? m_size - offset : 0; }
    // True when count bytes from the position lie in the file.
    bool Has(uint64_t count) const { return m_position <= m_size && count <= m_size - m_position; }
    void MoveTo(uint64_t offset) { m_position = offset; }
    bool AtEnd() const { return m_position == m_size; }

    // Copies count bytes from the position and moves past them; false when they are not all there.
    bool Read(void* destination, size_t count) {
        if (!Has(count) || !Peek(m_position, destination, count)) return false;
        m_position += count;
        return true;
    }
    // Copies count bytes from offset without moving; false when they are not all in the file.
    bool Peek(uint64_t offset, void* destination, size_t count);

    // Why a read of bytes inside the file's size came back short: the system's error number, or
    // -1 when none was given (the file became shorter while it was read); 0 while none has.
    int ReadError() const { return m_readError; }

private:
    // Read-ahead block size; a smaller file gets a block of its own size.
    static constexpr size_t kReadAheadSize = 32 * 1024;

    bool Fill(uint64_t offset);
    bool SeekTo(uint64_t offset);

    FILE* m_stream;
    uint64_t m_size;
    uint64_t m_position = 0;
    uint64_t m_streamPosition = 0;   // where the stream really is; seek only when it differs
    // Small reads are served from a block read ahead from the stream; large values bypass it.
    // The block is left uninitialised: only bytes read into it are ever copied out.
    std::unique_ptr<uint8_t[]> m_buffer;
    size_t m_bufferCapacity = 0;
    uint64_t m_bufferOffset = 0;     // file offset of m_buffer[0]
    size_t m_bufferLength = 0;       // valid bytes in m_buffer
    int m_readError = 0;

    void NoteShortRead();
};

// Defined here so that the reader's many small reads can be inlined.
inline bool CFileCursor::Peek(uint64_t offset, void* destination, size_t count) {
    if (offset > m_size || count > m_size - offset) return false;
    if (count == 0) return true;
    const bool buffered = offset >= m_bufferOffset && offset - m_bufferOffset <= m_bufferLength &&
                          count <= m_bufferLength - (offset - m_bufferOffset);
    if (!buffered) {
        if (count >= kReadAheadSize / 2) {
            // Large values go straight from the stream to their block.
            if (!SeekTo(offset)) return false;
            const size_t got = std::fread(destination, 1, count, m_stream);
            m_streamPosition += got;
            if (got != count) NoteShortRead();
            return got == count;
        }
        if (!Fill(offset) || count > m_bufferLength) return false;
    }
    std::memcpy(destination, m_buffer.get() + (offset - m_bufferOffset), count);
    return true;
}
