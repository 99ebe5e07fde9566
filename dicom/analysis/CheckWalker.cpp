#include "dicom/analysis/CheckWalker.h"

#include <algorithm>

#include "dicom/dictionary/DicomDictionary.h"
#include "dicom/io/ByteOrder.h"
#include "dicom/io/TextFormat.h"
#include "dicom/model/ElementHeader.h"

// Offsets: a problem about an element is reported at the element's tag offset; trailing bytes at
// the first trailing byte; the meta group as a whole at (0002,0000) or, without one, at 132; a
// bare data set at 0.

namespace check {

uint16_t DictionaryGroup(uint16_t group) {
    if ((group & 1) == 0 && group >= 0x6000 && group <= 0x601E) return 0x6000;
    if ((group & 1) == 0 && group >= 0x5000 && group <= 0x501E) return 0x5000;
    if ((group & 0xFF00) == 0x5400) return 0x5400;
    return group;
}

const VRInfo* DictionaryVR(uint16_t group, uint16_t element) {
    const DictionaryRecord* record = FindDictionaryRecord(DictionaryGroup(group), element);
    if (record == nullptr || record->vr[0] == '\0' || record->vr[3] != '\0') return nullptr;
    return FindVRInfo(record->vr);
}

std::vector<CheckProblem> Checker::Run() {
    const Encoding fileEncoding{m_in.explicitVR, m_in.littleEndian};
    if (!m_in.hasPreamble)
        CheckPreamble();
    else
        CheckMetaGroup();
    // The meta group and the data set after it are two structures: tag order and group
    // lengths are each their own.
    const size_t meta = MetaGroupCount();
    m_inMetaGroup = true;
    DataSet(m_in.elements, meta, CharacterSet(), Encoding{true, fileEncoding.littleEndian}, true, 0);
    m_inMetaGroup = false;
    if (m_in.deflated) {
        NotChecked();
    } else {
        DataSet(m_in.elements + meta, m_in.elementCount - meta, CharacterSet(), fileEncoding, true, meta);
        CheckTrailingBytes(fileEncoding);
    }
    std::stable_sort(m_problems.begin(), m_problems.end(),
                     [](const CheckProblem& a, const CheckProblem& b) { return a.offset < b.offset; });
    return std::move(m_problems);
}

void Checker::Report(CheckRule rule, const CDicomTag* element, uint64_t offset, std::string message) {
    const CheckRuleRow& row = RowOf(rule);
    m_problems.push_back(CheckProblem{row.id, row.severity, offset, element ? m_path : std::vector<CheckPathStep>(),
                                      std::move(message), element, element ? m_outsideTree : nullptr, {}});
}

// The header of an element as the file holds it. The byte order is the one in which the tag
// bytes read as the element's tag; explicit VR or not follows from the header's size and, for
// an 8-byte header, from which length field agrees with where the value ends.
Stored Checker::StoredOf(const CDicomTag& tag, Encoding fallback) const {
    Stored s;
    s.encoding = fallback;
    const uint64_t at = tag.GetTagOffset();
    if (!Has(at, 8) || tag.GetValueOffset() < at) return s;
    const uint8_t* p = At(at);
    const bool little = Read16(p, true) == tag.GetGroup() && Read16(p + 2, true) == tag.GetElement();
    const bool big = Read16(p, false) == tag.GetGroup() && Read16(p + 2, false) == tag.GetElement();
    if (little != big) s.encoding.littleEndian = little;
    const bool le = s.encoding.littleEndian;
    const uint64_t header = tag.GetValueOffset() - at;
    if (tag.GetGroup() == 0xFFFE) {
        // Items and fragments: tag and 4-byte length, never a VR.
        s.length = Read32(p + 4, le);
        s.headerRead = header == 8;
        return s;
    }
    if (header == 12) {
        if (!Has(at, 12)) return s;
        s.encoding.explicitVR = true;
        s.length = Read32(p + 8, le);
    } else if (header == 8) {
        const uint16_t shortLength = Read16(p + 6, le);
        const uint32_t longLength = Read32(p + 4, le);
        const bool ends = tag.GetEndOffset() >= tag.GetValueOffset();
        const uint64_t span = tag.GetEndOffset() - tag.GetValueOffset();
        // Every header of a data set has its encoding, except the leading group 0002 elements
        // of a bare data set, which are read before its transfer syntax is known; only there
        // does the header itself tell.
        const bool headerTells = !m_in.hasPreamble && tag.GetGroup() == 0x0002 && tag.GetParent() == nullptr;
        if (longLength == kUndefinedLength)
            s.encoding.explicitVR = false;     // an explicit undefined length needs the long form
        else if (headerTells && ends && span == shortLength && span != longLength)
            s.encoding.explicitVR = true;
        else if (headerTells && ends && span == longLength && span != shortLength)
            s.encoding.explicitVR = false;
        s.length = s.encoding.explicitVR ? shortLength : longLength;
    } else {
        return s;
    }
    if (s.encoding.explicitVR) {
        s.vrBytes[0] = p[4];
        s.vrBytes[1] = p[5];
        const char letters[3] = {static_cast<char>(p[4]), static_cast<char>(p[5]), '\0'};
        s.fileVR = FindVRInfo(letters);
    }
    s.headerRead = true;
    return s;
}

// The rules that apply to the element's value: the VR its header names, or in implicit VR
// the dictionary's (which the element carries).
const VRInfo* Checker::RuleVR(const CDicomTag& tag, const Stored& stored) {
    if (stored.encoding.explicitVR) return stored.fileVR;
    // The load folds every group 6000-6FFF to 6000 and no curve group; where that differs
    // from the repeating groups the element's VR is not the dictionary's.
    const uint16_t g = tag.GetGroup();
    if (tag.GetElement() != 0x0000 && FoldRepeatingGroup(g) != DictionaryGroup(g))
        return DictionaryVR(g, tag.GetElement());
    return tag.GetVR().GetInfo();
}

// A plain value's bytes in the file, or an empty span where they do not lie in it.
Span Checker::ValueOf(const CDicomTag& tag, const Stored& stored) const {
    if (!stored.headerRead || stored.length == kUndefinedLength || !Has(tag.GetValueOffset(), stored.length))
        return Span();
    return Span{At(tag.GetValueOffset()), stored.length};
}

// A US or UL number of a data-set element, read from the file; false where it has none.
bool Checker::NumberOf(const CDicomTag* tag, Encoding fallback, uint32_t& value) const {
    if (tag == nullptr) return false;
    const Stored s = StoredOf(*tag, fallback);
    const Span v = ValueOf(*tag, s);
    if (v.size == 2) value = Read16(v.data, s.encoding.littleEndian);
    else if (v.size == 4) value = Read32(v.data, s.encoding.littleEndian);
    else return false;
    return true;
}

// An IS value read from the file; false where it has none or it is no integer.
bool Checker::IntegerOf(const CDicomTag* tag, Encoding fallback, uint32_t& value) const {
    if (tag == nullptr) return false;
    const Span v = ValueOf(*tag, StoredOf(*tag, fallback)).Trimmed();
    if (v.size == 0 || v.size > 10 || CountDigits(v, 0) != v.size) return false;
    uint64_t n = 0;
    for (size_t i = 0; i < v.size; ++i) n = n * 10 + (v.data[i] - '0');
    if (n > 0xFFFFFFFFu) return false;
    value = static_cast<uint32_t>(n);
    return true;
}

DataSetFacts Checker::FactsOf(const CDicomTag* const* nodes, size_t count) {
    DataSetFacts facts;
    for (size_t i = 0; i < count; ++i) {
        const CDicomTag& t = *nodes[i];
        const uint16_t g = t.GetGroup(), e = t.GetElement();
        if (e == 0x0000) facts.hasGroupLength = true;
        if (g == 0x0008 && e == 0x0005 && facts.characterSet == nullptr) facts.characterSet = &t;
        if (g == 0x0028) {
            const CDicomTag** slot = e == 0x0010 ? &facts.rows : e == 0x0011 ? &facts.columns
                                   : e == 0x0100 ? &facts.bitsAllocated : e == 0x0002 ? &facts.samplesPerPixel
                                   : e == 0x0008 ? &facts.numberOfFrames : e == 0x0004 ? &facts.photometric
                                   : nullptr;
            if (slot != nullptr && *slot == nullptr) *slot = &t;
        }
        if ((g & 1) != 0 && e >= 0x0010 && e <= 0x00FF) facts.creators.push_back((uint32_t(g) << 8) | e);
    }
    std::sort(facts.creators.begin(), facts.creators.end());
    return facts;
}

bool Checker::IsItemOrDelimiter(const CDicomTag& tag) {
    return tag.GetGroup() == 0xFFFE &&
           (tag.GetElement() == 0xE000 || tag.GetElement() == 0xE00D || tag.GetElement() == 0xE0DD);
}

// ---- data sets

// The elements of the top level or of one item.
// `first` is the index of nodes[0] among its parent's children.
void Checker::DataSet(const CDicomTag* const* nodes, size_t count, const CharacterSet& inherited, Encoding encoding,
                      bool topLevel, size_t first) {
    const DataSetFacts facts = FactsOf(nodes, count);
    CharacterSet characterSet = inherited;
    if (facts.characterSet != nullptr) {
        const Stored s = StoredOf(*facts.characterSet, encoding);
        characterSet = CharacterSetOf(ValueOf(*facts.characterSet, s));
    }
    // Bytes each group takes, for the groups whose length element there is to compare.
    std::map<uint16_t, uint64_t> groupBytes;
    if (facts.hasGroupLength) {
        for (size_t i = 0; i < count; ++i) {
            const CDicomTag& t = *nodes[i];
            if (t.GetElement() != 0x0000 && t.GetEndOffset() >= t.GetTagOffset())
                groupBytes[t.GetGroup()] += t.GetEndOffset() - t.GetTagOffset();
        }
    }

    TagOrder order;
    for (size_t i = 0; i < count; ++i) {
        const CDicomTag& tag = *nodes[i];
        m_path.push_back({static_cast<uint32_t>(first + i), tag.GetGroup(), tag.GetElement()});
        if (IsItemOrDelimiter(tag)) {
            // No element at all: an item or delimiter where elements go. What follows is
            // ordered against the element before it.
            ReportItemOutside(tag);
            m_path.pop_back();
            continue;
        }
        CheckOrder(tag, order);

        const Stored stored = StoredOf(tag, encoding);
        Element(tag, stored, facts, characterSet, topLevel);
        const bool groupMayBeCut = m_in.partial && count > 0 && nodes[count - 1]->GetGroup() == tag.GetGroup();
        if (tag.GetElement() == 0x0000 && !groupBytes.empty() && !groupMayBeCut) {
            const auto found = groupBytes.find(tag.GetGroup());
            CheckGroupLength(tag, stored, found != groupBytes.end() ? found->second : 0);
        }
        m_path.pop_back();
    }
}

// ---- one element

void Checker::Element(const CDicomTag& tag, const Stored& stored, const DataSetFacts& facts,
                      const CharacterSet& characterSet, bool topLevel) {
    const uint16_t g = tag.GetGroup(), e = tag.GetElement();
    if (stored.headerRead && stored.encoding.explicitVR && g != 0xFFFE) CheckExplicitVR(tag, stored);
    CheckCreatorPresent(tag, facts);
    CheckMetaPlace(tag, topLevel);
    CheckReservedPrivate(tag);
    if (!stored.headerRead) return;

    const bool undefined = stored.length == kUndefinedLength;
    // Read as the reader read it; defined-length pixel data with items was encapsulated.
    const ValueBody body = BodyOf(tag, stored.encoding.explicitVR, topLevel, !tag.GetChildren().empty());
    const bool fragments = body == ValueBody::Fragments;
    if (!undefined) CheckOddLength(tag, stored.length, "value");
    CheckPixelVR(tag, stored, facts, fragments, undefined);
    if (fragments) {
        Fragments(tag, stored);
        return;
    }
    // A length the bytes give as undefined is taken as a sequence all the same.
    if (body == ValueBody::Sequence || undefined) {
        CheckUNSequence(tag, stored);
        Sequence(tag, stored, characterSet);
        return;
    }

    const VRInfo* vr = RuleVR(tag, stored);
    if (vr != nullptr && vr->kind == VRKind::UN && e != 0x0000) {
        // A UN value of a tag the dictionary knows is held to the dictionary's VR.
        const VRInfo* known = DictionaryVR(g, e);
        if (known != nullptr && known->kind != VRKind::SQ && known->kind != VRKind::UN) vr = known;
    }
    if (vr == nullptr) return;
    CheckUnitLength(tag, stored, *vr);
    const Span value = ValueOf(tag, stored);
    if (vr->requiredPad != kNoPad) Text(tag, *vr, value, characterSet);
    if (g == 0x0008 && e == 0x0005) CheckCharacterSetTerms(tag, value);
    CheckCreatorNotEmpty(tag, stored, value);
    if (tag.IsPixelData()) CheckPixelLength(tag, stored, facts);
}

// ---- sequences, items and fragments

void Checker::Sequence(const CDicomTag& sequence, const Stored& stored, const CharacterSet& set) {
    // Items of an undefined-length UN element are implicit VR little endian, as the reader reads them.
    const Encoding inner = IsUN(stored) && stored.length == kUndefinedLength ? Encoding::UnknownItems() : stored.encoding;
    const CDicomTagList& items = sequence.GetChildren();
    for (size_t i = 0; i < items.size(); ++i) {
        const CDicomTag& item = *items[i];
        m_path.push_back({static_cast<uint32_t>(i), item.GetGroup(), item.GetElement()});
        CheckItem(item, StoredOf(item, inner));
        DataSet(item.GetChildren().data(), item.GetChildren().size(), set, inner, false, 0);
        m_path.pop_back();
    }
}

void Checker::Fragments(const CDicomTag& pixel, const Stored& stored) {
    const CDicomTagList& items = pixel.GetChildren();
    for (size_t i = 0; i < items.size(); ++i) {
        const CDicomTag& item = *items[i];
        m_path.push_back({static_cast<uint32_t>(i), item.GetGroup(), item.GetElement()});
        const Stored s = StoredOf(item, stored.encoding);
        if (s.headerRead) CheckOddLength(item, s.length, i == 0 ? "offset table" : "fragment");
        if (i == 0 && s.headerRead && pixel.IsComplete()) CheckOffsetTable(item, s, items);
        m_path.pop_back();
    }
}

// The meta group of a file with a preamble: the run of group 0002 elements it starts with.
size_t Checker::MetaGroupCount() const {
    size_t count = 0;
    if (!m_in.hasPreamble) return 0;
    while (count < m_in.elementCount && m_in.elements[count]->GetGroup() == 0x0002) ++count;
    return count;
}

}  // namespace check

std::vector<CheckProblem> CheckFile(const CheckInput& input) { return check::Checker(input).Run(); }
