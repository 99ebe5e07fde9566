// How orveldump parses every file it opens.
#pragma once

#include <cstdint>
#include <limits>

#include "dicom/model/DicomHeader.h"

// Files of any size; large values and pixel data stay in the file (read only where a value text
// needs them); the partial tree of a refused file when the mode shows it.
inline ParseOptions DumpParseOptions(bool keepPartialTree) {
    ParseOptions options;
    options.keepPartialTree = keepPartialTree;
    options.maxFileSize = std::numeric_limits<int64_t>::max();
    options.deferValuesAbove = kDeferValuesAbove;
    return options;
}
