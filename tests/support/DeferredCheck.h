// A parse that leaves values in the file must show exactly what a parse that holds every value
// shows: for the unit tests and the fuzz target. Both parses are of the same bytes; the second
// one defers every value longer than one byte, so that each value is read back from the file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "dicom/read/DicomFile.h"

namespace deferred_check {

// Parses the bytes from a stream of their own (over the memory where the C library has one, else
// a temporary file) that the file object takes over, leaving every value longer than
// `deferAbove` bytes in it. The bytes must outlive the file object.
inline bool ParseDeferred(const uint8_t* data, size_t size, CDicomFile& file, uint64_t deferAbove,
                          bool keepPartialTree) {
#ifndef _WIN32
    FILE* stream = size != 0 ? fmemopen(const_cast<uint8_t*>(data), size, "rb") : std::tmpfile();
    if (stream == nullptr) return false;
#else
    FILE* stream = std::tmpfile();
    if (stream == nullptr) return false;
    if (size != 0 && std::fwrite(data, 1, size, stream) != size) {
        std::fclose(stream);
        return false;
    }
    std::rewind(stream);
#endif
    ParseOptions options;
    options.deferValuesAbove = deferAbove;
    options.keepPartialTree = keepPartialTree;
    file.SetParseOptions(options);
    return file.ParseOwnedStream(stream);
}

inline std::string Where(const CDicomTag& tag) {
    char text[64];
    std::snprintf(text, sizeof text, "(%04X,%04X) at %llu: ", tag.GetGroup(), tag.GetElement(),
                  static_cast<unsigned long long>(tag.GetTagOffset()));
    return text;
}

// Empty when the two nodes and everything below them show and measure alike, else the first
// difference.
inline std::string CompareNodes(const CDicomTag& held, const CDicomTag& deferred, const std::wstring& characterSet) {
    if (held.GetGroup() != deferred.GetGroup() || held.GetElement() != deferred.GetElement() ||
        held.GetTagOffset() != deferred.GetTagOffset() || held.GetValueOffset() != deferred.GetValueOffset() ||
        held.GetEndOffset() != deferred.GetEndOffset() || held.GetVRText() != deferred.GetVRText() ||
        held.Data().GetShortLength() != deferred.Data().GetShortLength() ||
        held.Data().GetLongLength() != deferred.Data().GetLongLength() || held.IsComplete() != deferred.IsComplete())
        return Where(held) + "header, offsets or lengths differ";
    for (const wchar_t* set : {L"", L"ISO_IR 192"})
        if (held.GetValueText(set) != deferred.GetValueText(set)) return Where(held) + "value text differs";
    if (held.GetValueText(characterSet) != deferred.GetValueText(characterSet))
        return Where(held) + "value text in the inherited character set differs";
    if (held.GetNumericValue() != deferred.GetNumericValue()) return Where(held) + "number differs";
    // Compared as bits: a NaN is the same NaN.
    const double floats[2] = {held.GetFloatValue(), deferred.GetFloatValue()};
    const double decimals[2] = {held.GetDecimalValue(), deferred.GetDecimalValue()};
    if (std::memcmp(&floats[0], &floats[1], sizeof(double)) != 0 || std::memcmp(&decimals[0], &decimals[1], sizeof(double)) != 0)
        return Where(held) + "float or decimal differs";
    const HeapArray<char> a = held.CopyValueBytes(), b = deferred.CopyValueBytes();
    if ((a == nullptr) != (b == nullptr) || (a != nullptr && std::strcmp(a.get(), b.get()) != 0))
        return Where(held) + "value bytes differ";
    if (held.GetValueByteCount() != deferred.GetValueByteCount()) return Where(held) + "byte count differs";
    const CDicomTagList& heldChildren = held.GetChildren();
    const CDicomTagList& deferredChildren = deferred.GetChildren();
    if (heldChildren.size() != deferredChildren.size()) return Where(held) + "child count differs";
    const std::wstring forChildren = CharacterSetForChildren(held, characterSet);
    for (size_t i = 0; i < heldChildren.size(); ++i) {
        const std::string problem = CompareNodes(*heldChildren[i], *deferredChildren[i], forChildren);
        if (!problem.empty()) return problem;
    }
    return std::string();
}

inline std::string CompareTrees(const CTagArray& held, const CTagArray& deferred) {
    if (held.GetElements().size() != deferred.GetElements().size()) return "top-level element count differs";
    const std::wstring characterSet = TopLevelCharacterSet(held);
    for (size_t i = 0; i < held.GetElements().size(); ++i) {
        const std::string problem = CompareNodes(*held.GetElements()[i], *deferred.GetElements()[i], characterSet);
        if (!problem.empty()) return problem;
    }
    return std::string();
}

// Empty when a held and a deferred parse of the same bytes agree: both accept or both refuse at
// the same place for the same reason, and their trees (whole or partial) and image attributes
// are alike.
inline std::string Compare(CDicomFile& held, bool heldLoaded, CDicomFile& deferred, bool deferredLoaded) {
    if (heldLoaded != deferredLoaded) return heldLoaded ? "only the held parse accepts" : "only the deferred parse accepts";
    if (!heldLoaded) {
        const ParseFailure* a = held.GetFailure();
        const ParseFailure* b = deferred.GetFailure();
        if (a == nullptr || b == nullptr) return "a refusal without a record";
        if (a->offset != b->offset || a->reason != b->reason || a->path.size() != b->path.size())
            return "the refusals differ: " + a->reason + " / " + b->reason;
        return CompareTrees(a->tree, b->tree);
    }
    if (held.m_numberOfFrames != deferred.m_numberOfFrames || held.m_rows != deferred.m_rows ||
        held.m_columns != deferred.m_columns || held.m_bitsAllocated != deferred.m_bitsAllocated ||
        held.m_pixelAspectRatio != deferred.m_pixelAspectRatio || held.IsExplicitVR() != deferred.IsExplicitVR() ||
        held.IsLittleEndian() != deferred.IsLittleEndian() || held.GetTrailingSize() != deferred.GetTrailingSize() ||
        held.GetUltrasoundRegions().size() != deferred.GetUltrasoundRegions().size())
        return "image attributes or encoding differ";
    for (int c = 0; c < 3; ++c) {
        if (held.m_paletteDataLength[c] != deferred.m_paletteDataLength[c] ||
            (held.m_paletteDataLength[c] != 0 &&
             std::memcmp(held.m_paletteData[c].get(), deferred.m_paletteData[c].get(), held.m_paletteDataLength[c]) != 0))
            return "palette differs";
    }
    const std::string problem = CompareTrees(held, deferred);
    if (!problem.empty()) return problem;
    for (size_t i = 0; i < held.GetElements().size(); ++i)
        if (held.GetEncodedSize(held.GetElements()[i]) != deferred.GetEncodedSize(deferred.GetElements()[i]))
            return Where(*held.GetElements()[i]) + "encoded size differs";
    return std::string();
}

}  // namespace deferred_check
