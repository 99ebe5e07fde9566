#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

#include "dicom/FileMapping.h"
#include "dicom/FileStream.h"

bool FileMapping::Open(const std::wstring& path) {
    Close();
    FILE* stream = OpenFileForReading(path);
    if (stream == nullptr) return false;
    struct stat info;
    bool mapped = fstat(fileno(stream), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
                  static_cast<uint64_t>(info.st_size) <= SIZE_MAX;
    if (mapped) {
        const size_t size = static_cast<size_t>(info.st_size);
        void* data = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fileno(stream), 0);
        mapped = data != MAP_FAILED;
        if (mapped) {
            m_data = static_cast<const uint8_t*>(data);
            m_size = size;
        }
    }
    // The mapping keeps the file; the descriptor is not needed any more.
    std::fclose(stream);
    return mapped;
}

void FileMapping::Close() {
    if (m_data != nullptr) munmap(const_cast<uint8_t*>(m_data), static_cast<size_t>(m_size));
    m_data = nullptr;
    m_size = 0;
}
