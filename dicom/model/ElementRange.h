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

// The value length the file stores for the element: the model pads an odd-length value to even
// length and makes a date 8 or 10 bytes long, so its value length can differ from what the
// header says. The value length itself for an undefined length, for containers (their lengths
// follow from their children) and where the parser did not record the value's end.
uint32_t GetStoredValueLength(const CDicomTag& tag);
