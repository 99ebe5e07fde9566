#include <share.h>
#include <stdio.h>

#include "dicom/io/FileStream.h"

FILE* OpenFileForReading(const std::wstring& path) {
    if (path.empty()) return nullptr;
    return _wfsopen(path.c_str(), L"rb", _SH_DENYNO);
}

bool SeekStream(FILE* stream, uint64_t offset) {
    if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
    return _fseeki64(stream, static_cast<__int64>(offset), SEEK_SET) == 0;
}

int64_t StreamSize(FILE* stream, bool* moved) {
    if (moved != nullptr) *moved = true;
    if (_fseeki64(stream, 0, SEEK_END) != 0) return -1;
    return static_cast<int64_t>(_ftelli64(stream));
}
