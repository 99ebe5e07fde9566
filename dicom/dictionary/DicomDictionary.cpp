#include "dicom/dictionary/DicomDictionary.h"

#include <cstring>
#include <vector>

namespace {

uint32_t MakeKey(uint16_t group, uint16_t element)
{
    return static_cast<uint32_t>(group) | (static_cast<uint32_t>(element) << 16);
}

uint32_t KeyOf(const DictionaryRecord& record)
{
    return MakeKey(record.group, record.element);
}

// The table's texts are Latin-1, so each byte is its own code point.
std::wstring WidenLatin1(const char* text, size_t capacity)
{
    const void* end = std::memchr(text, '\0', capacity);
    const size_t length = end ? static_cast<size_t>(static_cast<const char*>(end) - text) : capacity;
    std::wstring wide(length, L'\0');
    for (size_t i = 0; i < length; ++i)
        wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
    return wide;
}

// Open-addressing hash index over the static table: each slot holds the number of the first
// row of one tag plus one (0 for a free slot), probed linearly from the key's hash. At most
// half the slots are used, so a probe ends after a slot or two.
class TableIndex {
public:
    TableIndex()
    {
        size_t slots = 16;
        m_shift = 28;
        while (slots < 2 * static_cast<size_t>(kDictionaryRowCount)) {
            slots *= 2;
            --m_shift;
        }
        m_slots.assign(slots, 0);
        m_mask = slots - 1;
        for (uint32_t row = 0; row < kDictionaryRowCount; ++row) {
            const uint32_t key = KeyOf(kDictionaryTable[row]);
            size_t slot = Hash(key);
            // A tag already present keeps its earlier row: the first row of a tag wins.
            while (m_slots[slot] != 0 && KeyOf(kDictionaryTable[m_slots[slot] - 1]) != key)
                slot = (slot + 1) & m_mask;
            if (m_slots[slot] == 0) {
                m_slots[slot] = row + 1;
                ++m_tagCount;
            }
        }
    }

    // The first row of the tag, or null.
    const DictionaryRecord* Find(uint32_t key) const
    {
        for (size_t slot = Hash(key);; slot = (slot + 1) & m_mask) {
            const uint32_t row = m_slots[slot];
            if (row == 0) return nullptr;
            if (KeyOf(kDictionaryTable[row - 1]) == key) return &kDictionaryTable[row - 1];
        }
    }

    size_t TagCount() const { return m_tagCount; }

private:
    // Fibonacci hashing: the top bits of the key times 2^32 / golden ratio.
    size_t Hash(uint32_t key) const { return static_cast<uint32_t>(key * 2654435761u) >> m_shift; }

    std::vector<uint32_t> m_slots;
    size_t m_mask = 0;
    unsigned m_shift = 0;
    size_t m_tagCount = 0;
};

// Built on first use and never destroyed: it holds nothing but numbers about the static table.
const TableIndex& Index()
{
    static const TableIndex* index = new TableIndex();
    return *index;
}

}  // namespace

const DictionaryRecord* FindDictionaryRecord(uint16_t group, uint16_t element)
{
    return Index().Find(MakeKey(group, element));
}

CDicomDictionary::CDicomDictionary()
{
    Index();
}

CDicomDictionary::~CDicomDictionary() = default;

const DictionaryEntry& CDicomDictionary::Find(uint16_t group, uint16_t element)
{
    const uint32_t key = MakeKey(group, element);
    Recent& recent = m_recent[(key * 2654435761u) >> 22];
    if (recent.entry != nullptr && recent.key == key)
        return *recent.entry;
    const DictionaryEntry& entry = Answer(key);
    recent.key = key;
    recent.entry = &entry;
    return entry;
}

// The entry of a tag, made on its first ask. An unknown tag gets an entry with empty texts.
const DictionaryEntry& CDicomDictionary::Answer(uint32_t key)
{
    auto found = m_asked.find(key);
    if (found != m_asked.end())
        return found->second.entry;
    const DictionaryRecord* record = Index().Find(key);
    Asked& asked = m_asked[key];
    asked.entry.name = &asked.name;
    asked.entry.vr = NoVRCode();
    if (record == nullptr) {
        ++m_unknownCount;
        return asked.entry;
    }
    asked.name = WidenLatin1(record->name, sizeof record->name);
    // Stops at the first NUL: the first of two alternative codes.
    asked.entry.vr = InternVRCode(WidenLatin1(record->vr, sizeof record->vr));
    return asked.entry;
}

const std::wstring& CDicomDictionary::GetVR(uint16_t group, uint16_t element)
{
    return Find(group, element).vr->text;
}

const std::wstring& CDicomDictionary::GetName(uint16_t group, uint16_t element)
{
    return *Find(group, element).name;
}

size_t CDicomDictionary::EntryCount() const
{
    return Index().TagCount() + m_unknownCount;
}

uint32_t CDicomDictionary::RecordCount() const
{
    return kDictionaryRowCount;
}

// Built on first use, so a static initializer elsewhere that asks early still
// finds it ready; destroyed at exit like any static object.
CDicomDictionary& CDicomDictionary::Instance()
{
    static CDicomDictionary dictionary;
    return dictionary;
}

namespace {
// Builds the instance during start-up, before main, even if nothing asks for it
// until the first file is opened.
CDicomDictionary& g_dictionaryAtStartUp = CDicomDictionary::Instance();
}  // namespace
