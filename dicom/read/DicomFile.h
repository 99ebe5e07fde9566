// One opened file: the entry point that turns a path into a parsed element tree.
#pragma once

#include <string>

#include "dicom/model/DicomHeader.h"

class CDicomFile : public CDicomHeader {
public:
    CDicomFile() = default;
    ~CDicomFile() override = default;

    // True when the file was parsed; on false the object is empty.
    bool LoadFile(std::wstring path);
};
