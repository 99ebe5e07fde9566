#include "cli/file_bytes.h"

#include <cstdio>

#include "dicom/FileStream.h"

bool ReadFileBytes(const std::wstring& path, int64_t expectedSize, const char* purpose, LargeBlock& bytes,
                   uint64_t& size, std::string& error) {
    size = 0;
    FILE* stream = OpenFileForReading(path);
    if (stream == nullptr) {
        error = std::string("cannot open the file again to read its bytes for ") + purpose;
        return false;
    }
    const int64_t found = StreamSize(stream);
    bool read = found >= 0 && (expectedSize < 0 || found == expectedSize) && SeekStream(stream, 0);
    if (read && found > 0 && !bytes.Allocate(static_cast<size_t>(found))) {
        std::fclose(stream);
        error = std::string("not enough memory to hold the file's bytes for ") + purpose;
        return false;
    }
    if (read && found > 0)
        read = std::fread(bytes.Data(), 1, static_cast<size_t>(found), stream) == static_cast<size_t>(found);
    std::fclose(stream);
    if (!read) {
        error = "cannot read the bytes that were parsed (did the file change?)";
        return false;
    }
    size = static_cast<uint64_t>(found);
    return true;
}
