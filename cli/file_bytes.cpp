#include "cli/file_bytes.h"

#include <cstdint>
#include <cstdio>

#include "dicom/io/FileStream.h"

namespace {

const char kChanged[] = "cannot read the bytes that were parsed (did the file change?)";

}  // namespace

bool FileBytes::Open(const std::wstring& path, int64_t expectedSize, const char* purpose, std::string& error) {
    m_block.Free();
    m_mapping.Close();
    m_data = nullptr;
    m_size = 0;
    FILE* stream = OpenFileForReading(path);
    if (stream == nullptr) {
        error = std::string("cannot open the file again to read its bytes for ") + purpose;
        return false;
    }
    // The bytes are read in one call into a block of their own: the stream needs no buffer, and
    // a stream just opened needs no seek to its start.
    std::setvbuf(stream, nullptr, _IONBF, 0);
    bool moved = true;
    const int64_t found = StreamSize(stream, &moved);
    bool read = found >= 0 && (expectedSize < 0 || found == expectedSize) && (!moved || SeekStream(stream, 0));
    if (read && static_cast<uint64_t>(found) >= kMapFrom && m_mapping.Open(path)) {
        std::fclose(stream);
        if (m_mapping.Size() != static_cast<uint64_t>(found)) {
            m_mapping.Close();
            error = kChanged;
            return false;
        }
        m_data = m_mapping.Data();
        m_size = m_mapping.Size();
        return true;
    }
    // Not mapped: read whole, which needs the file to fit in memory (and in a size_t).
    if (read && found > 0 &&
        (static_cast<uint64_t>(found) > SIZE_MAX || !m_block.Allocate(static_cast<size_t>(found)))) {
        std::fclose(stream);
        error = std::string("not enough memory to hold the file's bytes for ") + purpose;
        return false;
    }
    if (read && found > 0)
        read = std::fread(m_block.Data(), 1, static_cast<size_t>(found), stream) == static_cast<size_t>(found);
    std::fclose(stream);
    if (!read) {
        m_block.Free();
        error = kChanged;
        return false;
    }
    m_data = m_block.Data();
    m_size = static_cast<uint64_t>(found);
    return true;
}
