// An element's header after its tag, and how its value is read: a plain value, a sequence of
// items, or fragments. The reader, the checks and the measure of encoded sizes all go by these
// two rules, so they cannot disagree about where a value starts or what it holds.
#pragma once

#include <cstdint>

#include "dicom/dictionary/DicomVR.h"
#include "dicom/io/ByteOrder.h"
#include "dicom/model/DicomTag.h"

// What follows the tag. Explicit VR: two VR bytes and a 2-byte length, or, for the VRs of the
// long form, two reserved bytes and a 4-byte length after them; implicit VR: a 4-byte length.
struct ElementHeader {
    const VRCode* vr = nullptr;  // explicit VR: the two bytes as the file has them, letters or not
    uint32_t length = 0;
    bool shortForm = false;      // the length is the 2-byte field of explicit VR
    uint32_t size = 8;           // bytes from the tag to the value: 8, or 12 for the long form
};

// Decodes the 4 bytes after the tag. For the long form (size 12) the length is in the next 4
// bytes: LongFormLength reads it from them.
inline ElementHeader DecodeHeader(const uint8_t* afterTag, Encoding encoding) {
    ElementHeader header;
    if (!encoding.explicitVR) {
        header.length = encoding.Order32(afterTag);
        return header;
    }
    header.vr = VRCodeOfBytes(afterTag[0], afterTag[1]);
    if (header.vr->info != nullptr && header.vr->info->longLength) {
        header.size = 12;
    } else {
        header.length = encoding.Order16(afterTag + 2);
        header.shortForm = true;
    }
    return header;
}

inline void LongFormLength(ElementHeader& header, const uint8_t* next4, Encoding encoding) {
    header.length = encoding.Order32(next4);
}

// Gives the element the VR and length fields of its header.
inline void SetHeader(CDicomTag& tag, const ElementHeader& header) {
    if (header.vr != nullptr) tag.SetVR(header.vr);
    tag.Data().SetShortLength(header.shortForm ? static_cast<uint16_t>(header.length) : 0);
    tag.Data().SetLongLength(header.shortForm ? 0 : header.length);
}

// True when the element is read and measured as a sequence of items under the given encoding:
// SQ, any undefined length in implicit VR, and an undefined-length UN (whose items are implicit).
inline bool IsSequenceIn(const CDicomTag& tag, bool explicitVR) {
    const bool undefined = tag.IsUndefinedLength();
    return tag.GetVR().Is(VRKind::SQ) || (undefined && (!explicitVR || tag.GetVR().Is(VRKind::UN)));
}

enum class ValueBody { Value, Sequence, Fragments };

// How the value after a header is read. Undefined-length pixel data is fragments inside items
// (tested before the sequence rule) and at the top level unless it reads as a sequence there;
// defined-length top-level pixel data is fragments when `encapsulated` (the transfer syntax says
// so). Everything else is a plain value.
inline ValueBody BodyOf(const CDicomTag& tag, bool explicitVR, bool topLevel, bool encapsulated) {
    const bool pixel = tag.IsPixelData();
    if (!topLevel && pixel && tag.IsUndefinedLength()) return ValueBody::Fragments;
    if (IsSequenceIn(tag, explicitVR)) return ValueBody::Sequence;
    if (topLevel && pixel && (tag.IsUndefinedLength() || encapsulated)) return ValueBody::Fragments;
    return ValueBody::Value;
}
