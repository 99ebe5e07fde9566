// The file as a whole: a bare data set, the meta group (its required elements, its version,
// UIDs that disagree with the data set's, group 0002 elements elsewhere), a deflated data set
// left unchecked, and the bytes after the top-level pixel data.
#include <algorithm>
#include <cstring>

#include "dicom/analysis/CheckWalker.h"
#include "dicom/io/ByteOrder.h"
#include "dicom/io/TextFormat.h"
#include "dicom/model/ElementHeader.h"

namespace check {

void Checker::CheckPreamble() {
    Report(CheckRule::NoPreamble, nullptr, 0,
           "bare data set: no 128-byte preamble and no \"DICM\" before the first element");
}

void Checker::CheckMetaPlace(const CDicomTag& tag, bool topLevel) {
    const uint16_t g = tag.GetGroup(), e = tag.GetElement();
    if (g == 0x0002 && !m_inMetaGroup && (m_in.hasPreamble || !topLevel))
        ReportAt(tag, CheckRule::MetaMisplaced,
                 Format("%s of the file meta group stands %s; group 0002 belongs only in the meta group",
                        TagText(g, e).c_str(), topLevel ? "in the data set" : "inside an item"));
}

// A deflated data set: what the parse read after the meta group (of a bare data set, after
// its leading group 0002 elements) is compressed bytes, so no rule applies to it.
void Checker::NotChecked() {
    size_t first = MetaGroupCount();
    if (!m_in.hasPreamble)
        while (first < m_in.elementCount && m_in.elements[first]->GetGroup() == 0x0002) ++first;
    uint64_t at = first > 0 ? m_in.elements[first - 1]->GetEndOffset() : 0;
    if (first < m_in.elementCount) at = m_in.elements[first]->GetTagOffset();
    Report(CheckRule::NotChecked, nullptr, at,
           "the data set is deflate-compressed and is not inflated, so it was not checked (only the meta group "
           "was)");
}

void Checker::CheckMetaGroup() {
    const size_t count = MetaGroupCount();
    const CDicomTag* groupLength = nullptr;
    size_t groupLengthIndex = 0;
    const CDicomTag* found[5] = {};
    static const uint16_t kRequired[5] = {0x0001, 0x0002, 0x0003, 0x0010, 0x0012};
    static const char* const kNames[5] = {"File Meta Information Version", "Media Storage SOP Class UID",
                                          "Media Storage SOP Instance UID", "Transfer Syntax UID",
                                          "Implementation Class UID"};
    for (size_t i = 0; i < count; ++i) {
        const CDicomTag* t = m_in.elements[i];
        if (t->GetElement() == 0x0000 && groupLength == nullptr) {
            groupLength = t;
            groupLengthIndex = i;
        }
        for (size_t k = 0; k < 5; ++k)
            if (t->GetElement() == kRequired[k] && found[k] == nullptr) found[k] = t;
    }
    // A parse that stopped inside the meta group leaves its missing elements unknown.
    const bool metaMayBeCut = m_in.partial && count == m_in.elementCount;
    if (groupLength == nullptr && !metaMayBeCut)
        Report(CheckRule::MetaMissing, nullptr, 132,
               "the file meta group lacks (0002,0000) File Meta Information Group Length");
    if (found[0] != nullptr) {
        const Span version = ValueOf(*found[0], StoredOf(*found[0], Encoding{true, true}));
        if (!(version.size == 2 && version.data[0] == 0x00 && version.data[1] == 0x01)) {
            m_path.push_back({static_cast<uint32_t>(std::find(m_in.elements, m_in.elements + count, found[0]) -
                                                    m_in.elements), 0x0002, 0x0001});
            ReportAt(*found[0], CheckRule::MetaVersion,
                     version.size == 2 ? Format("File Meta Information Version (0002,0001) is 0x%02X 0x%02X; "
                                                "it must be 0x00 0x01", version.data[0], version.data[1])
                                       : Format("File Meta Information Version (0002,0001) holds %zu bytes; it "
                                                "must be the 2 bytes 0x00 0x01", version.size));
            m_path.pop_back();
        }
    }
    if (groupLength != nullptr) m_path.push_back({static_cast<uint32_t>(groupLengthIndex), 0x0002, 0x0000});
    for (size_t k = 0; k < 5 && !metaMayBeCut; ++k) {
        if (found[k] != nullptr) continue;
        Report(kRequired[k] == 0x0010 ? CheckRule::MetaMissingSyntax : CheckRule::MetaMissing, groupLength,
               groupLength != nullptr ? groupLength->GetTagOffset() : 132,
               Format("the file meta group lacks %s %s", TagText(0x0002, kRequired[k]).c_str(), kNames[k]));
    }
    if (groupLength != nullptr) m_path.pop_back();

    // Media Storage SOP Class and Instance UIDs against the data set's own.
    const Encoding meta{true, true};
    const Encoding dataSet{m_in.explicitVR, m_in.littleEndian};
    for (size_t k = 1; k <= 2; ++k) {
        if (found[k] == nullptr) continue;
        const uint16_t own = k == 1 ? 0x0016 : 0x0018;
        for (size_t i = count; i < m_in.elementCount; ++i) {
            const CDicomTag& t = *m_in.elements[i];
            if (!t.Is(0x0008, own)) continue;
            const Span a = UidOf(*found[k], meta), b = UidOf(t, dataSet);
            if (a.size != b.size || (a.size != 0 && std::memcmp(a.data, b.data, a.size) != 0)) {
                m_path.push_back({static_cast<uint32_t>(i), 0x0008, own});
                ReportAt(t, CheckRule::MetaMismatch,
                         Format("%s %s differs from %s %s of the meta group", TagText(0x0008, own).c_str(),
                                Quoted(b.data, b.size).c_str(), TagText(0x0002, kRequired[k]).c_str(),
                                Quoted(a.data, a.size).c_str()));
                Last().quoted.push_back(found[k]);
                m_path.pop_back();
            }
            break;
        }
    }
}

// A UID's text without its padding.
Span Checker::UidOf(const CDicomTag& tag, Encoding fallback) const {
    return ValueOf(tag, StoredOf(tag, fallback)).WithoutPadding();
}

// At most this many elements after the pixel data are read; a file that holds more is not blamed for the rest.
constexpr size_t kMostTrailingElements = 65536;

// Reads top-level elements from `at` as long as they are well formed: tags ascending after
// the pixel data, no item tags, a VR code in explicit VR, a defined length that fits. Returns
// where the first byte that is not such an element lies.
uint64_t Checker::ReadTrailingElements(uint64_t at, Encoding encoding, TrailingElements& out, bool& capped) const {
    uint32_t previous = Key(0x7FE0, 0x0010);
    capped = false;
    while (Has(at, 8)) {
        if (out.elements.size() == kMostTrailingElements) {
            capped = true;
            break;
        }
        const uint8_t* p = At(at);
        const uint16_t g = Read16(p, encoding.littleEndian), e = Read16(p + 2, encoding.littleEndian);
        if (Key(g, e) <= previous || g == 0xFFFE) break;
        // Explicit VR: a code as the standard spells it (the reader would also take lower case).
        const char letters[2] = {static_cast<char>(p[4]), static_cast<char>(p[5])};
        if (encoding.explicitVR && FindVRInfo(letters) == nullptr) break;
        ElementHeader header = DecodeHeader(p + 4, encoding);
        if (header.size == 12) {
            if (!Has(at, 12)) break;
            LongFormLength(header, p + 8, encoding);
        }
        if (header.length == kUndefinedLength || !Has(at + header.size, header.length)) break;
        CDicomTag* tag = out.store.NewTag(g, e);
        tag->Data().FreeBytes();
        SetHeader(*tag, header);
        tag->SetTagOffset(at);
        tag->SetValueOffset(at + header.size);
        tag->SetEndOffset(at + header.size + header.length);
        out.elements.push_back(tag);
        previous = Key(g, e);
        at += header.size + header.length;
    }
    return at;
}

void Checker::CheckTrailingBytes(Encoding encoding) {
    if (m_in.trailingSize == 0 || m_in.trailingSize > m_in.size || m_in.partial) return;
    uint64_t at = m_in.size - m_in.trailingSize;
    // Elements after the pixel data are allowed: they are read here and checked in the
    // character set of the top level.
    const auto trailing = std::make_shared<TrailingElements>();
    bool capped = false;
    at = ReadTrailingElements(at, encoding, *trailing, capped);
    if (!trailing->elements.empty()) {
        CharacterSet set;
        for (size_t i = 0; i < m_in.elementCount && m_in.elements[i]->GetGroup() <= 0x0008; ++i)
            if (m_in.elements[i]->Is(0x0008, 0x0005))
                set = CharacterSetOf(ValueOf(*m_in.elements[i], StoredOf(*m_in.elements[i], encoding)));
        m_outsideTree = trailing;
        DataSet(trailing->elements.data(), trailing->elements.size(), set, encoding, true, m_in.elementCount);
        m_outsideTree.reset();
        for (const CDicomTag* tag : trailing->elements)
            if (tag->Is(0xFFFC, 0xFFFC))
                Report(CheckRule::TrailingBytesAllowed, nullptr, tag->GetTagOffset(),
                       Format("the data set ends with %llu bytes of trailing padding (FFFC,FFFC)",
                              static_cast<unsigned long long>(tag->GetEndOffset() - tag->GetTagOffset())));
    }
    if (at >= m_in.size) return;
    const uint64_t count = m_in.size - at;
    // A signature or padding element that could not be read as one (of undefined length,
    // say) is allowed all the same.
    bool element = false;
    if (Has(at, 4)) {
        const uint16_t g = Read16(At(at), encoding.littleEndian);
        const uint16_t e = Read16(At(at) + 2, encoding.littleEndian);
        element = (g == 0xFFFA && e == 0xFFFA) || (g == 0xFFFC && e == 0xFFFC);
    }
    const char* after = trailing->elements.empty() ? "the top-level pixel data" : "the elements after the top-level pixel data";
    if (capped)
        Report(CheckRule::TrailingBytesAllowed, nullptr, at,
               Format("%llu bytes follow the first %zu elements after the top-level pixel data; they were not "
                      "checked", static_cast<unsigned long long>(count), kMostTrailingElements));
    else
        Report(element ? CheckRule::TrailingBytesAllowed : CheckRule::TrailingBytes, nullptr, at,
               Format("%llu bytes follow %s%s%s", static_cast<unsigned long long>(count), after,
                      element ? ", starting with a signature or padding element" : "",
                      element ? " that could not be read as an element" : " and are no elements"));
}

}  // namespace check
