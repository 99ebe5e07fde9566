#include "dicom/ElementRange.h"

#include "dicom/DicomTag.h"

ElementByteRange GetElementByteRange(const CDicomTag& tag) {
    // The parser records where each element starts and ends, so odd lengths, delimiters and
    // header sizes of every kind are already accounted for.
    const uint64_t end = tag.GetEndOffset() > tag.GetTagOffset() ? tag.GetEndOffset() : tag.GetTagOffset() + 1;
    return ElementByteRange{tag.GetTagOffset(), end - 1};
}
