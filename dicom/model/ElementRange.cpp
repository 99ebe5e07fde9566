#include "dicom/model/ElementRange.h"

#include "dicom/model/DicomTag.h"

ElementByteRange GetElementByteRange(const CDicomTag& tag) {
    // The parser records where each element starts and ends, so odd lengths, delimiters and
    // header sizes of every kind are already accounted for.
    const uint64_t end = tag.GetEndOffset() > tag.GetTagOffset() ? tag.GetEndOffset() : tag.GetTagOffset() + 1;
    return ElementByteRange{tag.GetTagOffset(), end - 1};
}

uint32_t GetStoredValueLength(const CDicomTag& tag) {
    const uint32_t length = tag.GetValueLength();
    if (tag.IsUndefinedLength() || !tag.GetChildren().empty() || !tag.IsComplete() || tag.GetValueOffset() == 0 ||
        tag.GetEndOffset() < tag.GetValueOffset())
        return length;
    // A plain value ends where its stored length ends (ReadPlainValue), whatever the model did.
    const uint64_t stored = tag.GetEndOffset() - tag.GetValueOffset();
    return stored < kUndefinedLength ? static_cast<uint32_t>(stored) : length;
}
