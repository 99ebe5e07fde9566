// The bytes an element occupies in its file, as the tree and the hex view show them.
#pragma once

#include <cstdint>

class CDicomTag;

struct ElementByteRange {
    uint64_t first;   // first byte of the element's header
    uint64_t last;    // last byte of its value, or of its delimiter for an undefined length;
                      // for a zero-length element the last byte of its header
};

ElementByteRange GetElementByteRange(const CDicomTag& tag);
