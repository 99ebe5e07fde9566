#include "dicom/model/DicomHeader.h"

#include "dicom/model/ElementHeader.h"

// Who owns what. A file object owns its whole tree: the top-level element list holds the
// elements, the node store (CTagArray::m_nodeStore) holds every node the parser makes and the
// small values, the chunks of child lists, and the block of top-level fragments; the one node
// made with new, the top-level pixel data element, is deleted by the element list, and it owns
// its native frame blocks. A node owns its value block when the value is larger than the store
// takes (CTagData frees it), and any child made with new (trees built by hand); it never owns a
// node of the store. Parent pointers never own. The file object also owns the trailing data,
// the palette copies (CPixelModule), the ultrasound regions with their tables, and the failure
// record of a refused parse with the partial tree it took over. The VR records and dictionary
// names that nodes point at live for the whole process.

CDicomHeader::CDicomHeader() = default;

CDicomHeader::~CDicomHeader() = default;

void CDicomHeader::BuildUltrasoundRegions() { m_ultrasoundRegions = UltrasoundRegionsOf(*this); }

void CDicomHeader::Reset() {
    DeleteAllElements();
    m_valueSource.reset();
    m_trailingData.reset();
    m_trailingSize = 0;
    m_ultrasoundRegions.clear();
    m_hasPreamble = 0;
    m_explicitVR = 1;
    m_littleEndian = 1;
    ResetPixelModule();
    m_fileSize = 0;
}

// ---------------------------------------------------------------------------------------------
// Meta information and the data set

void EncodingOfMeta(const CTagArray& dataSet, bool& explicitVR, bool& littleEndian) {
    for (CDicomTag* tag : dataSet.GetElements()) {
        if (tag->GetGroup() > 0x0002) return;
        if (!tag->Is(0x0002, 0x0010)) continue;
        littleEndian = true;
        const HeapArray<char> text = tag->CopyValueBytes();
        if (text == nullptr) continue;
        // Exact comparison up to the first NUL, so only NUL padding is ignored.
        EncodingOfTransferSyntax(text.get(), explicitVR, littleEndian);
        return;
    }
}

void CDicomHeader::SetEncoding(const FileEncoding& encoding) {
    m_hasPreamble = encoding.hasPreamble ? 1 : 0;
    m_explicitVR = encoding.explicitVR ? 1 : 0;
    m_littleEndian = encoding.littleEndian ? 1 : 0;
}

bool CDicomHeader::IsUncompressedIn(bool littleEndian) const {
    if (FindElement(0x0002, 0x0010) == nullptr || !littleEndian) return true;
    const TransferSyntax* syntax = GetTransferSyntax();
    return syntax == nullptr || !syntax->encapsulated;
}

// ---------------------------------------------------------------------------------------------
// Encoded sizes

uint64_t CDicomHeader::MeasureEncoded(CDicomTag* tag, bool explicitVR) {
    const uint64_t header = explicitVR ? 12 : 8;
    // Measured as read: nested encapsulated pixel data is fragments, never a sequence.
    const ValueBody body = BodyOf(*tag, explicitVR, tag->GetParent() == nullptr, false);
    if (body == ValueBody::Sequence) {
        uint64_t size = header;
        // The items of a UN sequence are measured as implicit VR.
        const bool childrenExplicit = explicitVR && !tag->GetVR().Is(VRKind::UN);
        for (CDicomTag* child : tag->GetChildren())
            size += child->IsUndefinedLength() ? MeasureItem(child, childrenExplicit) : MeasureEncoded(child, childrenExplicit);
        if (tag->Data().GetLongLength() == kUndefinedLength) size += 8;
        return size;
    }
    if (body == ValueBody::Fragments) {
        uint64_t size = header + 8;
        for (CDicomTag* child : tag->GetChildren()) size += uint64_t(child->Data().GetLongLength()) + 8;
        return size;
    }
    if (tag->IsPixelData()) {
        if (tag->GetParent() == nullptr && IsUncompressed()) {
            const uint64_t frames = static_cast<CDicomTag7FE0*>(tag)->GetTotalFragmentLength();
            tag->Data().SetLongLength(static_cast<uint32_t>(frames));
        }
        return header + tag->GetValueLength();
    }
    if (tag->IsItem()) return MeasureItem(tag, explicitVR);
    const uint64_t length = tag->GetValueLength();
    if (explicitVR || tag->GetGroup() == 0x0002) {
        const std::wstring& vr = tag->GetVRText();
        return length + 8 + ((vr.empty() || IsLongLengthVR(vr)) ? 4 : 0);
    }
    return length + 8;
}

uint64_t CDicomHeader::MeasureItem(CDicomTag* item, bool explicitVR) {
    uint64_t size = 8;
    for (CDicomTag* child : item->GetChildren()) size += MeasureEncoded(child, explicitVR);
    if (item->IsUndefinedLength())
        size += 8;
    else
        item->Data().SetLongLength(static_cast<uint32_t>(size - 8));
    return size;
}
