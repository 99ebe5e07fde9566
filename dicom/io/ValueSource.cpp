#include "dicom/io/ValueSource.h"

#include <cstring>

#include "dicom/io/FileCursor.h"
#include "dicom/io/FileStream.h"

bool CValueSource::Read(uint64_t offset, uint8_t* destination, size_t count) {
    if (offset > m_size || count > m_size - offset) return false;
    if (count == 0) return true;
    if (m_memory != nullptr) {
        std::memcpy(destination, m_memory + offset, count);
        return true;
    }
    if (m_cursor != nullptr) return m_cursor->Peek(offset, destination, count);
    if (m_stream == nullptr) return false;
    if (!m_streamPositionKnown || m_streamPosition != offset) {
        m_streamPositionKnown = false;
        if (!SeekStream(m_stream, offset)) return false;
        m_streamPosition = offset;
        m_streamPositionKnown = true;
    }
    const size_t got = std::fread(destination, 1, count, m_stream);
    m_streamPosition += got;
    return got == count;
}

void CValueSource::ReadThrough(CFileCursor* cursor) {
    CloseStream();
    m_memory = nullptr;
    m_cursor = cursor;
}

void CValueSource::ReadFromStream(FILE* stream) {
    CloseStream();
    m_memory = nullptr;
    m_cursor = nullptr;
    m_stream = stream;
}

bool CValueSource::ReadFromMemory(const uint8_t* bytes, uint64_t size) {
    if (size != m_size || (bytes == nullptr && size != 0)) return false;
    CloseStream();
    m_cursor = nullptr;
    m_memory = bytes;
    return true;
}

void CValueSource::Close() {
    CloseStream();
    m_cursor = nullptr;
    m_memory = nullptr;
}

void CValueSource::CloseStream() {
    if (m_stream != nullptr) std::fclose(m_stream);
    m_stream = nullptr;
    m_streamPositionKnown = false;
}
