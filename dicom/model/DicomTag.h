// One data element, sequence item or pixel fragment of a parsed file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dicom/dictionary/DicomVR.h"
#include "dicom/io/HeapBlock.h"
#include "dicom/io/LargeBlock.h"
#include "dicom/model/TagData.h"

class CDicomTag;
class CNodeStore;

// The children of a node in file order: a read-only array with the reading side of a
// std::vector (iteration, size, indexing, at, front, back, data). A parsed tree keeps its arrays
// in the file's node store; children added with AddChild go into a heap block of the node's own.
class CDicomTagList {
public:
    using value_type = CDicomTag*;
    using size_type = size_t;
    using difference_type = std::ptrdiff_t;
    using const_reference = CDicomTag* const&;
    using reference = const_reference;
    using const_iterator = CDicomTag* const*;
    using iterator = const_iterator;

    CDicomTagList() = default;
    CDicomTagList(const CDicomTagList&) = delete;
    CDicomTagList& operator=(const CDicomTagList&) = delete;
    ~CDicomTagList();

    const_iterator begin() const { return m_items; }
    const_iterator end() const { return m_items + m_size; }
    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    // Room in the node's own block; a list kept in a node store has exactly its size.
    size_t capacity() const { return m_capacity != 0 ? m_capacity : m_size; }
    const_reference operator[](size_t index) const { return m_items[index]; }
    // Throws std::out_of_range past the end, like std::vector::at.
    const_reference at(size_t index) const;
    const_reference front() const { return m_items[0]; }
    const_reference back() const { return m_items[m_size - 1]; }
    CDicomTag* const* data() const { return m_items; }
    // A copy as a std::vector, for callers that want one.
    operator std::vector<CDicomTag*>() const { return std::vector<CDicomTag*>(begin(), end()); }

private:
    friend class CDicomTag;
    friend class CNodeStore;
    // Appends, growing the node's own block (a list kept elsewhere is copied into one first).
    // Throws bad_alloc, leaving the list as it was.
    void Append(CDicomTag* const* children, size_t count);
    // Points the empty list at an array that outlives it.
    void Borrow(CDicomTag** items, size_t count);

    CDicomTag** m_items = nullptr;
    uint32_t m_size = 0;
    uint32_t m_capacity = 0;   // of the node's own block; 0 for none or a borrowed array
};

// A node is made either with new (and deleted by its owner) or by a file's node store, which
// destroys it when the file lets its tree go; a node deletes only those children that were made
// with new.
class CDicomTag {
public:
    CDicomTag(uint16_t group, uint16_t element);
    CDicomTag(const CDicomTag&) = delete;
    CDicomTag& operator=(const CDicomTag&) = delete;
    virtual ~CDicomTag();

    // Identity and structure
    uint16_t GetGroup() const { return m_group; }
    uint16_t GetElement() const { return m_element; }
    bool Is(uint16_t group, uint16_t element) const { return m_group == group && m_element == element; }
    bool IsItem() const { return Is(0xFFFE, 0xE000); }
    bool IsPixelData() const { return Is(0x7FE0, 0x0010); }
    const std::wstring& GetDescription() const { return *m_description; }
    const CDicomTagList& GetChildren() const { return m_children; }
    CDicomTag* GetParent() const { return m_parent; }
    void SetParent(CDicomTag* parent) { m_parent = parent; }
    // Sets the child's parent to this node and appends it; the node owns it from then on.
    bool AddChild(CDicomTag* child);
    // AddChild for `count` children at once, with at most one allocation for the list.
    void AddChildren(CDicomTag* const* children, size_t count);
    // True for a node made by a node store (see CNodeStore).
    bool IsInNodeStore() const { return m_inNodeStore; }
    // False for a sequence, item or pixel element that was still open when a parse failed: it
    // holds only the children read whole before the failure (the partial tree of a refused file).
    bool IsComplete() const { return !m_incomplete; }
    void SetIncomplete() { m_incomplete = true; }

    // Where the element lies in the file. The value offset is the first byte after the header;
    // the tag offset is the first header byte; the end offset is one past its last byte (after
    // the delimiter for an undefined length), as the parser found them.
    uint64_t GetValueOffset() const { return m_valueOffset; }
    void SetValueOffset(uint64_t offset) { m_valueOffset = offset; }
    uint64_t GetTagOffset() const { return m_tagOffset; }
    void SetTagOffset(uint64_t offset) { m_tagOffset = offset; }
    uint64_t GetEndOffset() const { return m_endOffset; }
    void SetEndOffset(uint64_t offset) { m_endOffset = offset; }

    // Value
    CTagData& Data() { return m_value; }
    const CTagData& Data() const { return m_value; }
    uint32_t GetValueLength() const { return m_value.GetValueLength(); }
    bool IsUndefinedLength() const { return GetValueLength() == kUndefinedLength; }
    // Stores a copy of count bytes and normalises it for the VR; false for no bytes or no memory.
    bool SetValue(const uint8_t* bytes, uint32_t count);
    // Takes a malloc'ed block of count bytes as the value (no copy) and normalises it.
    bool AdoptValue(uint8_t* block, uint32_t count);
    // Takes count bytes that outlive the element (its node store's) as the value, without copying
    // or freeing them, and normalises it; a value normalisation pads or resizes gets a block of its
    // own.
    bool BorrowValue(uint8_t* bytes, uint32_t count);
    // Leaves the value's count bytes in the file, from the value offset on, to be read from the
    // source when needed, and normalises it as if it were held (a date is read then: it keeps
    // at most 10 bytes). bigEndian: the file holds its units big endian. The value offset must
    // be set.
    bool DeferValue(CValueSource* source, uint32_t count, bool bigEndian);
    // Bytes of the value as the element holds it (host order, normalised), whether in memory or
    // left in the file: GetValueByteCount of them, read from `from` on by ReadValueBytes, which
    // fails when they are not all there or the file cannot be read. `from` must be a multiple of
    // 8 for a value whose units are swapped.
    size_t GetValueByteCount() const;
    bool ReadValueBytes(size_t from, uint8_t* destination, size_t count) const;

    // VR
    void SetVR(const std::wstring& code) { m_vr.SetCode(code); }
    void SetVR(const VRCode* code) { m_vr.SetCode(code); }
    const std::wstring& GetVRText() const { return m_vr.GetText(); }
    const CDicomVR& GetVR() const { return m_vr; }
    // True for items and delimiters and for the VRs whose explicit header has a 4-byte length.
    bool HasLongLengthField() const;

    // Display
    const std::wstring& GetTagName() const;
    std::wstring GetValueText(const std::wstring& characterSet) const;
    // A zero-terminated heap copy of the stored value bytes (at most the value length). Null
    // when memory runs out or the length is undefined.
    HeapArray<char> CopyValueBytes() const;
    int32_t GetNumericValue() const;
    double GetFloatValue() const;
    double GetDecimalValue() const;
    // True when normalising the value as stored replaced some of its bytes (a UID's characters
    // outside its repertoire read '0'): the value shown is not the value stored.
    bool IsValueCleaned() const { return m_valueCleaned; }

private:
    friend class CNodeStore;
    void NormalizeValue();
    void StoreValueLengths(uint32_t count);

    void TakeChildren(CDicomTag* const* children, size_t count);

    uint16_t m_group;
    uint16_t m_element;
    bool m_inNodeStore = false;
    bool m_hasChildrenToDelete = false;  // some child was made with new
    bool m_incomplete = false;
    bool m_valueCleaned = false;  // normalising replaced bytes of the value
    // The name lives in the dictionary (or is a constant) for the life of the process, so each
    // element only points at it.
    const std::wstring* m_description;
    CDicomTagList m_children;
    CDicomVR m_vr;
    CTagData m_value;
    CDicomTag* m_parent = nullptr;
    uint64_t m_valueOffset = 0;
    uint64_t m_tagOffset = 0;
    uint64_t m_endOffset = 0;
};

// The top-level pixel data element: also holds the native frames, each one fragment.
class CDicomTag7FE0 : public CDicomTag {
public:
    CDicomTag7FE0(uint16_t group, uint16_t element) : CDicomTag(group, element) {}
    ~CDicomTag7FE0() override;

    // Appends `count` frames of `length` bytes each that lie one after another from the start of
    // `frames`; the element keeps the block.
    void AddFrames(LargeBlock frames, uint32_t length, size_t count);
    // Records `count` frames of `length` bytes each that stay in the file: they count as frames
    // and measure as such, but hold no bytes (GetFragment gives null for them).
    void MeasureFrames(uint64_t length, uint64_t count);
    size_t GetFragmentCount() const { return m_fragments.size() + static_cast<size_t>(m_measuredFrames); }
    const uint8_t* GetFragment(size_t index) const { return index < m_fragments.size() ? m_fragments[index] : nullptr; }
    uint32_t GetFragmentLength(size_t index) const {
        return index < m_fragments.size() ? m_fragmentLengths[index] : static_cast<uint32_t>(m_measuredLength);
    }
    uint64_t GetTotalFragmentLength() const;

private:
    uint64_t m_measuredFrames = 0;
    uint64_t m_measuredLength = 0;
    std::vector<uint8_t*> m_fragments;
    std::vector<uint32_t> m_fragmentLengths;
    std::vector<LargeBlock> m_frameBlocks;     // the blocks AddFrames took
};

// Dictionary groups stand for whole ranges of repeating groups: 54xx is asked as 5400 and
// 6000-6FFF as 6000.
uint16_t FoldRepeatingGroup(uint16_t group);

// Parses the leading integer of a value text; see the implementation for the exact rules.
int32_t ParseIntegerString(const char* text);
double ParseDecimalString(const char* text);
