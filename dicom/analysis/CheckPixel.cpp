// Pixel data: the VR it is stored as, the length of native pixel data against the image it
// describes, and the basic offset table of encapsulated pixel data.
#include <algorithm>

#include "dicom/analysis/CheckWalker.h"
#include "dicom/io/ByteOrder.h"
#include "dicom/io/TextFormat.h"

namespace check {

void Checker::CheckPixelVR(const CDicomTag& tag, const Stored& stored, const DataSetFacts& facts, bool fragments,
                           bool undefined) {
    if (!tag.IsPixelData() || !stored.encoding.explicitVR || stored.fileVR == nullptr) return;
    uint32_t bits = 0;
    if (fragments && stored.fileVR->kind == VRKind::OW)
        ReportAt(tag, CheckRule::PixelVR,
                 "encapsulated pixel data is stored as OW; its fragments are bytes, stored as OB");
    else if (!fragments && !undefined && stored.fileVR->kind == VRKind::OB &&
             NumberOf(facts.bitsAllocated, stored.encoding, bits) && bits > 8) {
        ReportAt(tag, stored.encoding.littleEndian ? CheckRule::PixelVR : CheckRule::PixelVRBigEndian,
                 Format("native pixel data of %lu bits allocated is stored as OB; more than 8 bits are "
                        "stored as OW%s", static_cast<unsigned long>(bits),
                        stored.encoding.littleEndian ? "" : " (in big endian, OB keeps the bytes unswapped)"));
        Last().quoted.push_back(facts.bitsAllocated);
    }
}

void Checker::CheckOffsetTable(const CDicomTag& table, const Stored& stored, const CDicomTagList& items) {
    const Span v = ValueOf(table, stored);
    if (v.size == 0) return;
    if (v.size % 4 != 0) {
        ReportAt(table, CheckRule::OffsetTable,
                 Format("basic offset table length %zu is not a whole number of 4-byte offsets", v.size));
        return;
    }
    const size_t entries = v.size / 4;
    const uint64_t first = items.size() > 1 ? items[1]->GetTagOffset() : 0;
    for (size_t k = 0; k < entries; ++k) {
        const uint32_t offset = Read32(v.data + 4 * k, stored.encoding.littleEndian);
        // Fragments lie in file order, so their starts ascend.
        const CDicomTagList::const_iterator begin = items.begin() + (items.size() > 1 ? 1 : items.size());
        const CDicomTagList::const_iterator hit = std::lower_bound(
            begin, items.end(), first + offset,
            [](const CDicomTag* item, uint64_t start) { return item->GetTagOffset() < start; });
        if (items.size() > 1 && hit != items.end() && (*hit)->GetTagOffset() == first + offset) continue;
        ReportAt(table, CheckRule::OffsetTable,
                 Format("basic offset table entry %zu of %zu is %lu, which is not the start of a fragment item "
                        "relative to the first fragment (at offset %llu; %zu fragments)",
                        k + 1, entries, static_cast<unsigned long>(offset), static_cast<unsigned long long>(first),
                        items.size() > 0 ? items.size() - 1 : 0));
        return;
    }
}

void Checker::CheckPixelLength(const CDicomTag& pixel, const Stored& stored, const DataSetFacts& facts) {
    if (stored.encoding.explicitVR && stored.fileVR != nullptr && stored.fileVR->kind != VRKind::OB &&
        stored.fileVR->kind != VRKind::OW)
        return;
    const Encoding e = stored.encoding;
    uint32_t rows, columns, bits, samples = 1, frames = 1;
    if (!NumberOf(facts.rows, e, rows) || !NumberOf(facts.columns, e, columns) ||
        !NumberOf(facts.bitsAllocated, e, bits) || bits == 0)
        return;
    if (facts.samplesPerPixel != nullptr && !NumberOf(facts.samplesPerPixel, e, samples)) return;
    if (facts.numberOfFrames != nullptr && !IntegerOf(facts.numberOfFrames, e, frames)) return;
    // YBR_FULL_422 stores two of its three samples at half the horizontal resolution.
    bool subsampled = false;
    if (facts.photometric != nullptr)
        subsampled = ValueOf(*facts.photometric, StoredOf(*facts.photometric, e)).Trimmed().Equals("YBR_FULL_422") &&
                     samples == 3;
    // In bits, saturating well above any 32-bit length.
    const uint64_t cap = uint64_t(1) << 40;
    uint64_t total = uint64_t(rows) * columns;
    for (const uint64_t factor : {uint64_t(bits), uint64_t(subsampled ? 2 : samples), uint64_t(frames)})
        total = (total != 0 && factor > cap / total) ? cap : total * factor;
    uint64_t expected = (total + 7) / 8;
    expected += expected & 1;
    if (expected == stored.length) return;
    ReportAt(pixel, stored.length < expected ? CheckRule::PixelShort : CheckRule::PixelLong,
             Format("native pixel data holds %lu bytes where rows %lu x columns %lu x bits allocated %lu / 8 x "
                    "samples %lu%s x frames %lu gives %llu (rounded up to even)",
                    static_cast<unsigned long>(stored.length), static_cast<unsigned long>(rows),
                    static_cast<unsigned long>(columns), static_cast<unsigned long>(bits),
                    static_cast<unsigned long>(samples), subsampled ? " (YBR_FULL_422: 2 per pixel)" : "",
                    static_cast<unsigned long>(frames), static_cast<unsigned long long>(expected)));
    for (const CDicomTag* source : {facts.rows, facts.columns, facts.bitsAllocated, facts.samplesPerPixel,
                                    facts.numberOfFrames, facts.photometric})
        if (source != nullptr) Last().quoted.push_back(source);
}

}  // namespace check
