#include "dicom/dictionary/DicomDictionary.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// Asked for during static initialization, before main: the instance must
// already answer then.
const std::wstring g_nameAskedBeforeMain = CDicomDictionary::Instance().GetName(0x0010, 0x0010);

std::string Name(const DictionaryRecord& record)
{
    return std::string(record.name, strnlen(record.name, sizeof record.name));
}

std::string VrField(const DictionaryRecord& record)
{
    return std::string(record.vr, sizeof record.vr);
}

// "US\0SS" as the full 10-byte field.
std::string VrField(const char* first, const char* second = nullptr)
{
    std::string field(first);
    field.push_back('\0');
    if (second) {
        field += second;
        field.push_back('\0');
    }
    field.resize(10, '\0');
    return field;
}

std::vector<size_t> RowsOf(uint16_t group, uint16_t element)
{
    std::vector<size_t> rows;
    for (size_t i = 0; i < kDictionaryRowCount; ++i)
        if (kDictionaryTable[i].group == group && kDictionaryTable[i].element == element)
            rows.push_back(i);
    return rows;
}

const DictionaryRecord& OnlyRow(uint16_t group, uint16_t element)
{
    const std::vector<size_t> rows = RowsOf(group, element);
    EXPECT_EQ(rows.size(), 1u) << std::hex << group << "," << element;
    return kDictionaryTable[rows.empty() ? 0 : rows.front()];
}

}  // namespace

TEST(DictionaryRecord, IsPacked142Bytes)
{
    EXPECT_EQ(sizeof(DictionaryRecord), 142u);
    EXPECT_EQ(offsetof(DictionaryRecord, element), 2u);
    EXPECT_EQ(offsetof(DictionaryRecord, name), 4u);
    EXPECT_EQ(offsetof(DictionaryRecord, vr), 132u);
}

TEST(DictionaryTable, CoversExactlyTheDictionaryGroups)
{
    const std::set<uint16_t> expected = {
        0x0002, 0x0004, 0x0008, 0x0010, 0x0012, 0x0018, 0x0020, 0x0022, 0x0028,
        0x0032, 0x0038, 0x003A, 0x0040, 0x0050, 0x0054, 0x0060, 0x0070, 0x0072,
        0x0088, 0x0100, 0x0400, 0x2000, 0x2010, 0x2020, 0x2030, 0x2040, 0x2050,
        0x2100, 0x2110, 0x2120, 0x2130, 0x3002, 0x3004, 0x3006, 0x300A, 0x300C,
        0x300E, 0x4008, 0x4FFE, 0x5000, 0x5200, 0x5400, 0x6000, 0x7FE0};
    std::set<uint16_t> groups;
    for (size_t i = 0; i < kDictionaryRowCount; ++i)
        groups.insert(kDictionaryTable[i].group);
    EXPECT_EQ(groups, expected);  // no 0000, no FFFE, no 5002/6002/54xx copies
    EXPECT_GT(kDictionaryRowCount, 2079u);
}

TEST(DictionaryTable, EveryRowHasANameAndWellFormedVrCodes)
{
    for (size_t i = 0; i < kDictionaryRowCount; ++i) {
        const DictionaryRecord& row = kDictionaryTable[i];
        SCOPED_TRACE(testing::Message() << "row " << i + 1 << " " << Name(row));
        const size_t nameLength = strnlen(row.name, sizeof row.name);
        ASSERT_GT(nameLength, 0u);  // an empty name would read as "unknown tag"
        ASSERT_LT(nameLength, sizeof row.name);
        for (size_t j = nameLength; j < sizeof row.name; ++j)
            ASSERT_EQ(row.name[j], '\0');

        // One to three codes "XY\0", then zeros.
        size_t at = 0;
        int codes = 0;
        while (at + 2 < sizeof row.vr && row.vr[at] != '\0') {
            ASSERT_TRUE(row.vr[at] >= 'A' && row.vr[at] <= 'Z');
            ASSERT_TRUE(row.vr[at + 1] >= 'A' && row.vr[at + 1] <= 'Z');
            ASSERT_EQ(row.vr[at + 2], '\0');
            at += 3;
            ++codes;
        }
        ASSERT_GE(codes, 1);
        for (; at < sizeof row.vr; ++at)
            ASSERT_EQ(row.vr[at], '\0');
    }
}

TEST(DictionaryTable, OpensWithTheFileMetaRowsTwice)
{
    ASSERT_GE(kDictionaryRowCount, 5u);
    const struct { uint16_t element; const char* name; const char* vr; } expected[] = {
        {0x0000, "Group Length", "UL"},
        {0x0001, "File Meta Information Version", "OB"},
        {0x0000, "Group Length", "UL"},
        {0x0001, "File Meta Information Version", "OB"},
        {0x0002, "Media Storage SOP Class UID", "UI"},
    };
    for (size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(kDictionaryTable[i].group, 0x0002);
        EXPECT_EQ(kDictionaryTable[i].element, expected[i].element);
        EXPECT_EQ(Name(kDictionaryTable[i]), expected[i].name);
        EXPECT_EQ(VrField(kDictionaryTable[i]), VrField(expected[i].vr));
    }
}

TEST(DictionaryTable, KeepsTheOlderNames)
{
    EXPECT_EQ(Name(OnlyRow(0x0010, 0x0010)), "Patient's Name");
    EXPECT_EQ(Name(OnlyRow(0x0020, 0x0013)), "Image Number");
    EXPECT_EQ(Name(OnlyRow(0x0040, 0x4021)), "Input InformationSequence");
    EXPECT_EQ(VrField(OnlyRow(0x0040, 0x4021)), VrField("SQ"));
    EXPECT_EQ(Name(OnlyRow(0x5200, 0x9229)), "Functional Groups Sequence Shared");
    EXPECT_EQ(VrField(OnlyRow(0x5200, 0x9229)), VrField("SQ"));
    EXPECT_EQ(Name(OnlyRow(0x7FE0, 0x0000)), "Group Length");
    EXPECT_EQ(Name(OnlyRow(0x7FE0, 0x0010)), "Frame Data");
}

TEST(DictionaryTable, RepeatsBloodSignalNullingAndTheTransformRows)
{
    const std::vector<size_t> nulling = RowsOf(0x0018, 0x9022);
    ASSERT_EQ(nulling.size(), 2u);
    for (size_t row : nulling) {
        EXPECT_EQ(Name(kDictionaryTable[row]), "Blood Signal Nulling");
        EXPECT_EQ(VrField(kDictionaryTable[row]), VrField("CS"));
    }

    const struct { const char* name; const char* vr; } first[] = {
        {"Transform Label", "LO"},
        {"Transform Version Number", "LO"},
        {"Number of Transform Steps", "US"},
        {"Sequence of Compressed Data", "LO"},
    };
    const struct { const char* name; const char* vr; } later[] = {
        {"Rows For Nth Order Coefficients", "US"},
        {"Columns For Nth Order Coefficients", "US"},
        {"CoefficientCoding", "LO"},
        {"Coefficient Coding Pointers", "AT"},
    };
    for (uint16_t k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        const std::vector<size_t> rows = RowsOf(0x0028, static_cast<uint16_t>(0x0400 + k));
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[1], rows[0] + 5);
        EXPECT_EQ(Name(kDictionaryTable[rows[0]]), first[k].name);
        EXPECT_EQ(VrField(kDictionaryTable[rows[0]]), VrField(first[k].vr));
        EXPECT_EQ(Name(kDictionaryTable[rows[1]]), later[k].name);
        EXPECT_EQ(VrField(kDictionaryTable[rows[1]]), VrField(later[k].vr));
    }
}

TEST(DictionaryTable, OrdersTwoCodeVrsAsListed)
{
    struct TwoCodes { uint16_t group; uint16_t element; const char* first; const char* second; };
    const TwoCodes rows[] = {
        {0x0028, 0x0104, "SS", "US"},
        {0x0028, 0x0105, "US", "SS"}, {0x0028, 0x0106, "US", "SS"},
        {0x0028, 0x0107, "US", "SS"}, {0x0028, 0x0108, "US", "SS"},
        {0x0028, 0x0109, "US", "SS"}, {0x0028, 0x0110, "US", "SS"},
        {0x0028, 0x0111, "US", "SS"}, {0x0028, 0x0120, "US", "SS"},
        {0x0028, 0x0121, "US", "SS"}, {0x0028, 0x1100, "US", "SS"},
        {0x0028, 0x1101, "US", "SS"}, {0x0028, 0x1102, "US", "SS"},
        {0x0028, 0x1103, "US", "SS"}, {0x0028, 0x3002, "US", "SS"},
        {0x0060, 0x3004, "US", "SS"}, {0x0060, 0x3006, "US", "SS"},
        {0x5000, 0x200C, "OW", "OB"}, {0x5000, 0x3000, "OW", "OB"},
        {0x5400, 0x0110, "OB", "OW"}, {0x5400, 0x0112, "OB", "OW"},
        {0x5400, 0x100A, "OB", "OW"}, {0x5400, 0x1010, "OB", "OW"},
        {0x7FE0, 0x0010, "OB", "OW"},
    };
    for (const TwoCodes& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << row.group << "," << row.element);
        EXPECT_EQ(VrField(OnlyRow(row.group, row.element)), VrField(row.first, row.second));
    }
}

TEST(DicomDictionary, LoadsEveryRowAndKeepsOneEntryPerTag)
{
    CDicomDictionary dictionary;
    std::set<std::pair<uint16_t, uint16_t>> tags;
    for (size_t i = 0; i < kDictionaryRowCount; ++i)
        tags.insert({kDictionaryTable[i].group, kDictionaryTable[i].element});

    EXPECT_EQ(dictionary.RecordCount(), kDictionaryRowCount);
    EXPECT_EQ(dictionary.EntryCount(), tags.size());
    // Exactly the seven deliberate repeats: (0002,0000), (0002,0001), (0018,9022)
    // and (0028,0400) to (0028,0403).
    EXPECT_EQ(tags.size(), kDictionaryRowCount - 7u);
}

TEST(DicomDictionary, AnswersEveryTagWithItsFirstRow)
{
    CDicomDictionary dictionary;
    std::map<std::pair<uint16_t, uint16_t>, const DictionaryRecord*> firstRows;
    for (size_t i = 0; i < kDictionaryRowCount; ++i)
        firstRows.insert({{kDictionaryTable[i].group, kDictionaryTable[i].element}, &kDictionaryTable[i]});

    const size_t entries = dictionary.EntryCount();
    for (const auto& tagAndRow : firstRows) {
        const uint16_t group = tagAndRow.first.first;
        const uint16_t element = tagAndRow.first.second;
        const DictionaryRecord& row = *tagAndRow.second;
        const std::string name = Name(row);
        const std::string firstCode(row.vr);
        ASSERT_EQ(dictionary.GetName(group, element), std::wstring(name.begin(), name.end()))
            << std::hex << group << "," << element;
        ASSERT_EQ(dictionary.GetVR(group, element), std::wstring(firstCode.begin(), firstCode.end()))
            << std::hex << group << "," << element;
    }
    EXPECT_EQ(dictionary.EntryCount(), entries);  // known tags add nothing
}

TEST(DicomDictionary, AnswersTheDocumentedLookUps)
{
    CDicomDictionary dictionary;
    EXPECT_EQ(dictionary.GetName(0x0010, 0x0010), L"Patient's Name");
    EXPECT_EQ(dictionary.GetVR(0x0010, 0x0010), L"PN");
    EXPECT_EQ(dictionary.GetName(0x7FE0, 0x0010), L"Frame Data");
    EXPECT_EQ(dictionary.GetVR(0x7FE0, 0x0010), L"OB");
    EXPECT_EQ(dictionary.GetName(0x0002, 0x0000), L"Group Length");
    EXPECT_EQ(dictionary.GetVR(0x0002, 0x0000), L"UL");

    // First row wins over the later rows of the same tags.
    EXPECT_EQ(dictionary.GetName(0x0028, 0x0400), L"Transform Label");
    EXPECT_EQ(dictionary.GetVR(0x0028, 0x0400), L"LO");
    EXPECT_EQ(dictionary.GetName(0x0028, 0x0403), L"Sequence of Compressed Data");
    EXPECT_EQ(dictionary.GetVR(0x0028, 0x0403), L"LO");

    // Of alternative codes, the first is the answer.
    EXPECT_EQ(dictionary.GetVR(0x0028, 0x0104), L"SS");
    EXPECT_EQ(dictionary.GetVR(0x0028, 0x0106), L"US");
    EXPECT_EQ(dictionary.GetVR(0x5000, 0x3000), L"OW");
    EXPECT_EQ(dictionary.GetVR(0x0028, 0x1200), L"US");  // "US or SS or OW"

    // Repeating groups are known by their base group only; folding is the caller's job.
    EXPECT_EQ(dictionary.GetName(0x6000, 0x3000), L"Overlay Data");
    EXPECT_EQ(dictionary.GetName(0x6002, 0x3000), L"");
    EXPECT_EQ(dictionary.GetName(0x5002, 0x3000), L"");
    EXPECT_EQ(dictionary.GetName(0x5410, 0x1010), L"");

    // Group and element are not interchangeable: (0013,0020) is not (0020,0013).
    EXPECT_EQ(dictionary.GetName(0x0020, 0x0013), L"Image Number");
    EXPECT_EQ(dictionary.GetName(0x0013, 0x0020), L"");
}

TEST(DicomDictionary, UnknownTagsGetOneEmptyEntryEach)
{
    CDicomDictionary dictionary;
    const size_t loaded = dictionary.EntryCount();

    EXPECT_EQ(dictionary.GetName(0x0009, 0x0010), L"");
    EXPECT_EQ(dictionary.EntryCount(), loaded + 1);
    EXPECT_EQ(dictionary.GetVR(0x0009, 0x0010), L"");
    EXPECT_EQ(dictionary.GetName(0x0009, 0x0010), L"");
    EXPECT_EQ(dictionary.EntryCount(), loaded + 1);  // asked again: no new entry

    EXPECT_EQ(dictionary.GetVR(0xFFFE, 0xE000), L"");  // items are not in the dictionary
    EXPECT_EQ(dictionary.GetName(0x0000, 0x0000), L"");
    EXPECT_EQ(dictionary.GetName(0xFFFF, 0xFFFF), L"");
    EXPECT_EQ(dictionary.EntryCount(), loaded + 4);

    // An empty entry does not disturb its neighbours.
    EXPECT_EQ(dictionary.GetName(0x0010, 0x0010), L"Patient's Name");
    EXPECT_EQ(dictionary.EntryCount(), loaded + 4);

    // Another dictionary object does not share the first one's entries.
    CDicomDictionary other;
    EXPECT_EQ(other.EntryCount(), loaded);
}

TEST(DicomDictionary, HasOneInstanceReadyBeforeMain)
{
    CDicomDictionary& instance = CDicomDictionary::Instance();
    EXPECT_EQ(&instance, &CDicomDictionary::Instance());
    EXPECT_EQ(instance.RecordCount(), kDictionaryRowCount);
    EXPECT_EQ(g_nameAskedBeforeMain, L"Patient's Name");
    EXPECT_EQ(instance.GetName(0x0010, 0x0010), L"Patient's Name");
}

TEST(DictionaryTable, NamesWrittenAsJoinedLiteralsAreWhole)
{
    // The generator splits a few names into two adjacent literals; the stored name is one.
    CDicomDictionary& dictionary = CDicomDictionary::Instance();
    EXPECT_EQ(dictionary.GetName(0x0018, 0x9911), L"Patient Speci" L"fication Sequence");
    EXPECT_EQ(dictionary.GetName(0x0070, 0x120C), L"Global Cropping Speci" L"fication Index");
    EXPECT_EQ(dictionary.GetVR(0x0070, 0x120C), L"US");
}
