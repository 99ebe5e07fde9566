// Loading test-writer bytes through the same stream parse that LoadFile uses.
#pragma once

#include <cstdio>

#include "dicom/read/DicomFile.h"
#include "tests/support/DicomWriter.h"

inline bool Load(const DicomWriter& writer, CDicomFile& file) {
    FILE* stream = writer.OpenStream();
    if (stream == nullptr) return false;
    const bool loaded = file.ParseStream(stream);
    std::fclose(stream);
    return loaded;
}

// The n-th top-level element, or the child path below it.
inline const CDicomTag* At(const CDicomFile& file, size_t index) { return file.GetElements().at(index); }
inline const CDicomTag* Child(const CDicomTag* tag, size_t index) { return tag->GetChildren().at(index); }
