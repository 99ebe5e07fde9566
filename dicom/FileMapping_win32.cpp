#include <windows.h>

#include <cstdint>

#include "dicom/FileMapping.h"

bool FileMapping::Open(const std::wstring& path) {
    Close();
    if (path.empty()) return false;
    // Shared with other readers and writers, as the parser opens files.
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    bool mapped = GetFileSizeEx(file, &size) != 0 && size.QuadPart > 0 &&
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
    CloseHandle(file);
    return mapped;
}

void FileMapping::Close() {
    if (m_data != nullptr) UnmapViewOfFile(m_data);
    m_data = nullptr;
    m_size = 0;
}

void FileMapping::ExitWhenCutShort(const char*, int) {}
