#include <windows.h>

#include <io.h>

#include <cstdint>
#include <cstdio>

#include "dicom/io/FileMapping.h"
#include "dicom/io/FileStream.h"

bool FileMapping::Open(const std::wstring& path) {
    Close();
    FILE* stream = OpenFileForReading(path);
    if (stream == nullptr) return false;
    const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    LARGE_INTEGER size;
    bool mapped = file != INVALID_HANDLE_VALUE && GetFileSizeEx(file, &size) != 0 && size.QuadPart > 0 &&
                  static_cast<uint64_t>(size.QuadPart) <= SIZE_MAX;
    if (mapped) {
        const HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        mapped = mapping != nullptr;
        if (mapped) {
            const void* data = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, static_cast<SIZE_T>(size.QuadPart));
            // The view keeps the mapping and the file open.
            CloseHandle(mapping);
            mapped = data != nullptr;
            if (mapped) {
                m_data = static_cast<const uint8_t*>(data);
                m_size = static_cast<uint64_t>(size.QuadPart);
            }
        }
    }
    std::fclose(stream);
    return mapped;
}

void FileMapping::Close() {
    if (m_data != nullptr) UnmapViewOfFile(m_data);
    m_data = nullptr;
    m_size = 0;
}

void FileMapping::ExitWhenCutShort(const char*, int) {}
