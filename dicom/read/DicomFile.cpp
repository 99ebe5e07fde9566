#include "dicom/read/DicomFile.h"

#include <new>

bool CDicomFile::LoadFile(std::wstring path) {
    try {
        Reset();
        if (!ParseFile(path)) {
            Reset();
            return false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        Reset();
        return false;
    }
}
