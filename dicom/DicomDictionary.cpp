#include "dicom/DicomDictionary.h"

#include <cstring>

namespace {

uint32_t MakeKey(uint16_t group, uint16_t element)
{
    return static_cast<uint32_t>(group) | (static_cast<uint32_t>(element) << 16);
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

}  // namespace

CDicomDictionary::CDicomDictionary()
    : m_recordCount(kDictionaryRowCount), m_table(kDictionaryTable)
{
    for (uint32_t i = 0; i < m_recordCount; ++i) {
        const DictionaryRecord& record = m_table[i];
        // try_emplace leaves an existing entry alone: the first row of a tag wins.
        auto inserted = m_map.try_emplace(MakeKey(record.group, record.element));
        if (!inserted.second) continue;
        DictionaryEntry& entry = inserted.first->second;
        entry.record = record;
        entry.name = WidenLatin1(record.name, sizeof record.name);
        entry.vr = WidenLatin1(record.vr, sizeof record.vr);  // stops at the first NUL: the first code
    }
}

CDicomDictionary::~CDicomDictionary() = default;

// An unknown tag gets an all-zero entry, so it answers with empty texts.
const DictionaryEntry& CDicomDictionary::Find(uint16_t group, uint16_t element)
{
    const uint32_t key = MakeKey(group, element);
    Recent& recent = m_recent[(key * 2654435761u) >> 22];
    if (recent.entry != nullptr && recent.key == key)
        return *recent.entry;
    DictionaryEntry& entry = m_map.try_emplace(key).first->second;
    recent.key = key;
    recent.entry = &entry;
    return entry;
}

const std::wstring& CDicomDictionary::GetVR(uint16_t group, uint16_t element)
{
    return Find(group, element).vr;
}

const std::wstring& CDicomDictionary::GetName(uint16_t group, uint16_t element)
{
    return Find(group, element).name;
}

size_t CDicomDictionary::EntryCount() const
{
    return m_map.size();
}

uint32_t CDicomDictionary::RecordCount() const
{
    return m_recordCount;
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
