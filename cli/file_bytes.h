// A file's bytes read again after its parse, for the modes that look at bytes as stored
// (--check, the padding and raw values of --diff).
#pragma once

#include <cstdint>
#include <string>

#include "dicom/io/FileMapping.h"
#include "dicom/io/LargeBlock.h"

class FileBytes {
public:
    // From this size on the file is mapped rather than read: the checks and the diff look at
    // headers and small values, so a file costs what they touch (a file of gigabytes no more than
    // a small one). Below it, one read into a block is cheaper than setting up a mapping; above
    // it, copying the bytes (into fresh pages the system must clear first) costs more than the
    // mapping's faults: 3x more for files of 256 KiB, 14x for files of 8 MiB, measured over
    // trees of such files.
    static constexpr uint64_t kMapFrom = uint64_t(96) << 10;

    // Holds the whole file's bytes; false with the reason when it cannot be opened, mapped or
    // read, when memory runs out, or when its size is no longer `expectedSize` (negative: any
    // size). `purpose` ends the reasons ("checking": "... the file's bytes for checking").
    bool Open(const std::wstring& path, int64_t expectedSize, const char* purpose, std::string& error);

    const uint8_t* Data() const { return m_data; }
    uint64_t Size() const { return m_size; }

private:
    LargeBlock m_block;
    FileMapping m_mapping;
    const uint8_t* m_data = nullptr;
    uint64_t m_size = 0;
};
