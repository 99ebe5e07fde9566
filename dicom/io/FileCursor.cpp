#include "dicom/io/FileCursor.h"

#include <cerrno>

#include "dicom/io/FileStream.h"

bool CFileCursor::SeekTo(uint64_t offset) {
    if (m_streamPosition == offset) return true;
    if (!SeekStream(m_stream, offset)) return false;
    m_streamPosition = offset;
    return true;
}

bool CFileCursor::Fill(uint64_t offset) {
    m_bufferLength = 0;
    const size_t capacity = m_size < kReadAheadSize ? static_cast<size_t>(m_size) : kReadAheadSize;
    if (m_bufferCapacity != capacity) {
        m_buffer.reset(new uint8_t[capacity]);
        m_bufferCapacity = capacity;
    }
    if (!SeekTo(offset)) return false;
    const uint64_t left = LeftFrom(offset);
    const size_t wanted = left < capacity ? static_cast<size_t>(left) : capacity;
    const size_t got = std::fread(m_buffer.get(), 1, wanted, m_stream);
    m_streamPosition += got;
    m_bufferOffset = offset;
    m_bufferLength = got;
    if (got != wanted) NoteShortRead();
    return true;
}

void CFileCursor::NoteShortRead() {
    if (m_readError == 0) m_readError = std::ferror(m_stream) && errno != 0 ? errno : -1;
}
