#include "dicom/model/DicomTag.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "dicom/dictionary/DicomDictionary.h"
#include "dicom/io/ByteOrder.h"
#include "dicom/io/ValueSource.h"

uint16_t FoldRepeatingGroup(uint16_t group) {
    if ((group & 0xFF00) == 0x5400) return 0x5400;
    if (group >= 0x6000 && group <= 0x6FFF) return 0x6000;
    return group;
}

namespace {
const std::wstring kGroupLengthName = L"Group Length";
const std::wstring kNoName;

// Replaces each byte a UID may not hold with '0', as the model keeps UIDs; true when any was.
bool CleanUid(uint8_t* bytes, size_t count) {
    bool cleaned = false;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t c = bytes[i];
        if ((c >= '0' && c <= '9') || c == '.' || c == ' ' || c == '-' || c == '+' || c == 0) continue;
        bytes[i] = '0';
        cleaned = true;
    }
    return cleaned;
}
}  // namespace

CDicomTag::CDicomTag(uint16_t group, uint16_t element)
    : m_group(group), m_element(element), m_description(&kNoName) {
    if (element == 0x0000) {
        // Group lengths are named and typed without asking the dictionary, and start out holding
        // a zero length value until the file's own header replaces it.
        m_description = &kGroupLengthName;
        m_vr.SetCode(VRCodeOfBytes('U', 'L'));
        uint8_t* zero = static_cast<uint8_t*>(std::calloc(4, 1));
        if (zero != nullptr) {
            m_value.Adopt(zero, 4);
            m_value.SetShortLength(4);
        }
        return;
    }
    // One dictionary look-up gives both the name and the VR.
    const DictionaryEntry& entry = CDicomDictionary::Instance().Find(FoldRepeatingGroup(group), element);
    m_description = entry.name;
    m_vr.SetCode(entry.vr);
}

CDicomTagList::~CDicomTagList() {
    if (m_capacity != 0) std::free(m_items);
}

CDicomTagList::const_reference CDicomTagList::at(size_t index) const {
    if (index >= m_size) throw std::out_of_range("CDicomTagList::at");
    return m_items[index];
}

void CDicomTagList::Append(CDicomTag* const* children, size_t count) {
    if (count == 0) return;
    if (count > UINT32_MAX - m_size) throw std::length_error("CDicomTagList::Append");
    const size_t size = m_size + count;
    if (size > m_capacity) {
        size_t capacity = m_capacity != 0 ? 2 * size_t(m_capacity) : size;
        if (capacity < size) capacity = size;
        if (capacity > UINT32_MAX) capacity = UINT32_MAX;
        CDicomTag** items = static_cast<CDicomTag**>(std::malloc(capacity * sizeof(CDicomTag*)));
        if (items == nullptr) throw std::bad_alloc();
        if (m_size != 0) std::memcpy(items, m_items, m_size * sizeof(CDicomTag*));
        if (m_capacity != 0) std::free(m_items);
        m_items = items;
        m_capacity = static_cast<uint32_t>(capacity);
    }
    std::memcpy(m_items + m_size, children, count * sizeof(CDicomTag*));
    m_size = static_cast<uint32_t>(size);
}

void CDicomTagList::Borrow(CDicomTag** items, size_t count) {
    m_items = items;
    m_size = static_cast<uint32_t>(count);
    m_capacity = 0;
}

CDicomTag::~CDicomTag() {
    // Children from a node store belong to it; it destroys them after their parents.
    if (m_hasChildrenToDelete)
        for (CDicomTag* child : m_children)
            if (!child->m_inNodeStore) delete child;
}

bool CDicomTag::AddChild(CDicomTag* child) {
    AddChildren(&child, 1);
    return true;
}

void CDicomTag::AddChildren(CDicomTag* const* children, size_t count) {
    m_children.Append(children, count);
    TakeChildren(children, count);
}

// The parent side of adding children: they point back here, and those made with new are ours
// to delete.
void CDicomTag::TakeChildren(CDicomTag* const* children, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        children[i]->m_parent = this;
        if (!children[i]->m_inNodeStore) m_hasChildrenToDelete = true;
    }
}

bool CDicomTag::HasLongLengthField() const {
    return m_group == 0xFFFE || (m_vr.GetInfo() != nullptr && m_vr.GetInfo()->longLength);
}

bool CDicomTag::SetValue(const uint8_t* bytes, uint32_t count) {
    if (bytes == nullptr || count == 0) return false;
    uint8_t* block = static_cast<uint8_t*>(std::malloc(count));
    if (block == nullptr) return false;
    std::memcpy(block, bytes, count);
    return AdoptValue(block, count);
}

bool CDicomTag::AdoptValue(uint8_t* block, uint32_t count) {
    if (block == nullptr || count == 0) {
        std::free(block);
        return false;
    }
    m_value.Adopt(block, count);
    StoreValueLengths(count);
    NormalizeValue();
    return true;
}

bool CDicomTag::BorrowValue(uint8_t* bytes, uint32_t count) {
    if (bytes == nullptr || count == 0) return false;
    m_value.Borrow(bytes, count);
    StoreValueLengths(count);
    NormalizeValue();
    return true;
}

bool CDicomTag::DeferValue(CValueSource* source, uint32_t count, bool bigEndian) {
    if (source == nullptr || count == 0) return false;
    m_value.Defer(source, count, bigEndian);
    source->CountValue();
    StoreValueLengths(count);
    NormalizeValue();
    return true;
}

size_t CDicomTag::GetValueByteCount() const {
    if (m_value.IsDeferred()) return m_value.GetDeferredCount() + (m_value.IsDeferredPadded() ? 1 : 0);
    return m_value.GetBytes() != nullptr ? m_value.GetByteCount() : 0;
}

bool CDicomTag::ReadValueBytes(size_t from, uint8_t* destination, size_t count) const {
    const size_t total = GetValueByteCount();
    if (from > total || count > total - from) return false;
    if (count == 0) return true;
    if (!m_value.IsDeferred()) {
        std::memcpy(destination, m_value.GetBytes() + from, count);
        return true;
    }
    // The file's bytes, then the pad byte where the value was padded.
    const size_t inFile = m_value.GetDeferredCount();
    const size_t fromFile = from < inFile ? (count < inFile - from ? count : inFile - from) : 0;
    const VRInfo* info = m_vr.GetInfo();
    const size_t unit = m_value.IsDeferredBigEndian() && info != nullptr ? info->swapUnit : 0;
    if (fromFile != 0) {
        CValueSource& source = *m_value.GetSource();
        if (unit < 2) {
            if (!source.Read(m_valueOffset + from, destination, fromFile)) return false;
        } else {
            // Whole units are read and swapped as the parse would have swapped them in memory; a
            // part of a unit at the end of the value stays as the file has it.
            const size_t start = from - from % unit;
            const size_t wholeEnd = (inFile / unit) * unit;
            size_t end = from + fromFile;
            if (end < wholeEnd && end % unit != 0) end += unit - end % unit;
            std::vector<uint8_t> block(end - start);
            if (!source.Read(m_valueOffset + start, block.data(), block.size())) return false;
            SwapUnits(block.data(), std::min(block.size(), wholeEnd - start), unit);
            std::memcpy(destination, block.data() + (from - start), fromFile);
        }
        if (info != nullptr && info->kind == VRKind::UI) CleanUid(destination, fromFile);
    }
    if (fromFile < count) destination[count - 1] = info != nullptr && info->storedPad != kNoPad ? static_cast<uint8_t>(info->storedPad) : 0;
    return true;
}

void CDicomTag::StoreValueLengths(uint32_t count) {
    // A count that does not fit the short slot goes to the long one instead of losing its high
    // bits (implicit VR lets any element carry a 4-byte length).
    if (HasLongLengthField() || count > 0xFFFFu) {
        m_value.SetLongLength(count);
        m_value.SetShortLength(0);
    } else {
        m_value.SetShortLength(static_cast<uint16_t>(count));
        m_value.SetLongLength(0);
    }
}

void CDicomTag::NormalizeValue() {
    // Decided by the VR code.
    const VRInfo* info = m_vr.GetInfo();
    if (info == nullptr) return;
    auto moveShortToLong = [this]() {
        if (m_value.GetShortLength() != 0) {
            m_value.SetLongLength(m_value.GetShortLength());
            m_value.SetShortLength(0);
        }
    };
    if (info->storedLong) moveShortToLong();
    if (info->kind == VRKind::DA) {
        // A date is made 8 or 10 bytes long: a short one lengthened, a longer one cut.
        const uint32_t length = m_value.GetValueLength();
        if (m_value.IsDeferred() && length != 8 && length != 10) {
            // Only the bytes the date keeps are read.
            const size_t kept = m_value.GetDeferredCount() < 10 ? m_value.GetDeferredCount() : 10;
            uint8_t* block = static_cast<uint8_t*>(std::malloc(kept));
            if (block == nullptr || !ReadValueBytes(0, block, kept)) {
                std::free(block);
                m_value.Reset();
                return;
            }
            m_value.Adopt(block, kept);
        }
        if (length != 0 && length != 8 && length != 10) m_value.Resize(length < 8 ? 8 : 10);
        return;
    }
    if (info->storedPad == kNoPad) return;
    if (!m_value.PadToEven(static_cast<uint8_t>(info->storedPad))) return;
    if (info->kind == VRKind::UI && CleanUid(const_cast<uint8_t*>(m_value.GetBytes()), m_value.GetByteCount()))
        m_valueCleaned = true;
}

CDicomTag7FE0::~CDicomTag7FE0() = default;

namespace {
// Room for `more` entries, so that the appends that follow cannot fail.
template <typename T>
void MakeRoom(std::vector<T>& list, size_t more) {
    if (list.capacity() - list.size() >= more) return;
    const size_t doubled = 2 * list.size() + 4;
    list.reserve(doubled > list.size() + more ? doubled : list.size() + more);
}
}  // namespace

void CDicomTag7FE0::AddFrames(LargeBlock frames, uint32_t length, size_t count) {
    if (count == 0) return;
    // On failure the block is freed with `frames`.
    MakeRoom(m_fragments, count);
    MakeRoom(m_fragmentLengths, count);
    MakeRoom(m_frameBlocks, 1);
    for (size_t i = 0; i < count; ++i) {
        m_fragments.push_back(frames.Data() + i * size_t(length));
        m_fragmentLengths.push_back(length);
    }
    m_frameBlocks.push_back(std::move(frames));
}

void CDicomTag7FE0::MeasureFrames(uint64_t length, uint64_t count) {
    m_measuredFrames += count;
    m_measuredLength = length;
}

uint64_t CDicomTag7FE0::GetTotalFragmentLength() const {
    uint64_t total = m_measuredFrames * m_measuredLength;
    for (uint32_t length : m_fragmentLengths) total += length;
    return total;
}
