// Element construction, VR facts, value normalisation, top-level look-ups and encoded sizes.
#include <gtest/gtest.h>

#include <cstring>

#include "dicom/read/DicomFile.h"
#include "dicom/dictionary/DicomVR.h"
#include "tests/support/DicomWriter.h"
#include "tests/support/Load.h"

TEST(Construction, GroupLengthElementsAreNamedAndTypedWithoutTheDictionary) {
    for (uint16_t group : {0x0008, 0x0028, 0x0009, 0x7FE0}) {
        CDicomTag tag(group, 0x0000);
        EXPECT_EQ(tag.GetDescription(), L"Group Length");
        EXPECT_EQ(tag.GetTagName(), L"Group Length");
        EXPECT_EQ(tag.GetVRText(), L"UL");
        EXPECT_EQ(tag.Data().GetShortLength(), 4u);
        EXPECT_EQ(tag.Data().GetLongLength(), 0u);
    }
}

TEST(Construction, RepeatingGroupsUseTheirBaseGroupsEntry) {
    EXPECT_EQ(CDicomTag(0x6002, 0x3000).GetDescription(), CDicomTag(0x6000, 0x3000).GetDescription());
    EXPECT_EQ(CDicomTag(0x60FF, 0x3000).GetVRText(), CDicomTag(0x6000, 0x3000).GetVRText());
    EXPECT_FALSE(CDicomTag(0x6000, 0x3000).GetDescription().empty());
    EXPECT_EQ(CDicomTag(0x5410, 0x0100).GetTagName(), CDicomTag(0x5400, 0x0100).GetTagName());
    EXPECT_FALSE(CDicomTag(0x5400, 0x0100).GetTagName().empty());
    // Curve groups other than 5000 are not folded.
    EXPECT_TRUE(CDicomTag(0x5002, 0x0005).GetTagName().empty());
    EXPECT_EQ(CDicomTag(0x0010, 0x0010).GetVRText(), L"PN");
    EXPECT_TRUE(CDicomTag(0x0009, 0x0010).GetVRText().empty());
}

TEST(VRTable, KnownCodesAndLengthForms) {
    const char* known[] = {"AE", "AS", "AT", "CS", "DA", "DS", "DT", "FL", "FD", "IS", "LO", "LT",
                           "OB", "OD", "OF", "OL", "OV", "OW", "PN", "SH", "SL", "SQ", "SS", "ST",
                           "SV", "TM", "UC", "UI", "UL", "UN", "UR", "US", "UT", "UV"};
    for (const char* code : known) EXPECT_TRUE(IsKnownVRCode(code)) << code;
    for (const char* code : {"ob", "XX", "  ", "O\0"}) EXPECT_FALSE(IsKnownVRCode(code)) << code;
    for (const char* code : {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"})
        EXPECT_TRUE(IsLongLengthVR(std::wstring(code, code + 2))) << code;
    for (const wchar_t* code : {L"US", L"LO", L"AT", L"ZZ", L""}) EXPECT_FALSE(IsLongLengthVR(code));
    CDicomTag item(0xFFFE, 0xE000);
    EXPECT_TRUE(item.HasLongLengthField());
}

TEST(VRTable, Predicates) {
    for (const wchar_t* code : {L"AT", L"FL", L"FD", L"SL", L"SS", L"UL", L"US", L"OB", L"OW", L"SQ"})
        EXPECT_FALSE(FindVRInfo(code)->text) << code;
    for (const wchar_t* code : {L"AE", L"UN", L"UT", L"OF", L"UC"}) EXPECT_TRUE(FindVRInfo(code)->text) << code;
    EXPECT_TRUE(FindVRInfo(L"ZZ") == nullptr && FindVRInfo(L"ss") == nullptr && FindVRInfo(L"") == nullptr);
    EXPECT_TRUE(IsIntegerVR(L"ul") && IsIntegerVR(L"SS") && !IsIntegerVR(L"FL"));
    EXPECT_TRUE(IsFloatVR(L"FD") && IsFloatVR(L"fl") && !IsFloatVR(L"DS"));
    EXPECT_TRUE(IsDSVR(L"DS") && IsISVR(L"is") && !IsISVR(L"DS"));
}

namespace {
// An element with the given VR holding a copy of the bytes.
struct Stored {
    CDicomTag tag;
    Stored(const wchar_t* vr, const std::string& bytes, uint16_t group = 0x0009) : tag(group, 0x1001) {
        tag.SetVR(vr);
        tag.SetValue(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size()));
    }
    std::string Bytes() const {
        return std::string(reinterpret_cast<const char*>(tag.Data().GetBytes()), tag.GetValueLength());
    }
};
}  // namespace

TEST(Normalisation, PaddingAndLengthSlotsByVR) {
    EXPECT_EQ(Stored(L"LO", "abc").Bytes(), std::string("abc "));
    EXPECT_EQ(Stored(L"PN", "abcd").Bytes(), std::string("abcd"));
    EXPECT_EQ(Stored(L"AT", std::string("\x28\x00\x10", 3)).Bytes(), std::string("\x28\x00\x10\x00", 4));
    EXPECT_EQ(Stored(L"UT", "x").Bytes(), std::string("x "));
    Stored ob(L"OB", "abc");
    EXPECT_EQ(ob.Bytes(), std::string("abc\0", 4));
    EXPECT_EQ(ob.tag.Data().GetLongLength(), 4u);
    EXPECT_EQ(ob.tag.Data().GetShortLength(), 0u);
    Stored un(L"UN", "abc");
    EXPECT_EQ(un.tag.Data().GetLongLength(), 3u);
    for (const wchar_t* vr : {L"FL", L"US", L"ZZ", L""}) EXPECT_EQ(Stored(vr, "abc").tag.GetValueLength(), 3u);
    Stored lo(L"LO", "abcd");
    EXPECT_EQ(lo.tag.Data().GetShortLength(), 4u);
    EXPECT_EQ(lo.tag.Data().GetLongLength(), 0u);
}

TEST(Normalisation, DatesAreForcedToEightOrTenBytes) {
    EXPECT_EQ(Stored(L"DA", "202001").tag.GetValueLength(), 8u);
    EXPECT_EQ(Stored(L"DA", "202001").tag.GetValueText(L""), L"202001");
    EXPECT_EQ(Stored(L"DA", "20200101\\2021").tag.GetValueLength(), 10u);
    EXPECT_EQ(Stored(L"DA", "20200101").tag.GetValueLength(), 8u);
    EXPECT_EQ(Stored(L"DA", "2020.01.01").tag.GetValueLength(), 10u);
}

TEST(Normalisation, UIDsArePaddedWithZeroAndBadCharactersBecomeZeros) {
    EXPECT_EQ(Stored(L"UI", "1.2.3").Bytes(), std::string("1.2.3\0", 6));
    EXPECT_EQ(Stored(L"UI", "1.2,3 ").Bytes(), std::string("1.203 "));
}

TEST(Normalisation, LongValuesOfShortFormVRsKeepTheirWholeLength) {
    // Implicit VR lets any element have a 4-byte length; its count must not lose the high bits.
    const std::string big(70000, 'a');
    Stored lo(L"LO", big);
    EXPECT_EQ(lo.tag.GetValueLength(), 70000u);
    Stored odd(L"LO", std::string(65535, 'a'));
    EXPECT_EQ(odd.tag.GetValueLength(), 65536u);
    EXPECT_EQ(odd.tag.Data().GetLongLength(), 65536u);
    EXPECT_EQ(odd.tag.GetValueText(L""), L"(Long Size Data)");
}

TEST(Normalisation, SetValueRefusesNoBytes) {
    CDicomTag tag(0x0009, 0x1001);
    EXPECT_FALSE(tag.SetValue(nullptr, 4));
    const uint8_t byte = 1;
    EXPECT_FALSE(tag.SetValue(&byte, 0));
    EXPECT_EQ(tag.GetValueLength(), 0u);
    EXPECT_TRUE(tag.SetValue(&byte, 1));
}

TEST(TopLevelLookups, ModalityAndCharacterSetComeOnlyFromTheTopLevel) {
    DicomWriter nested;
    nested.Preamble().Meta("1.2.840.10008.1.2.1").BeginSequence(0x0008, 0x1140, true).BeginItem(true)
        .Element(0x0008, 0x0060, "CS", std::string("US")).EndItem().EndSequence().Filler();
    CDicomFile file;
    ASSERT_TRUE(Load(nested, file));
    EXPECT_FALSE(file.IsUltrasound());
    EXPECT_TRUE(file.GetCharacterSet().empty());

    for (const char* modality : {"US", "us", " US "}) {
        DicomWriter w;
        w.Preamble().Meta("1.2.840.10008.1.2.1").Element(0x0008, 0x0005, "CS", std::string("ISO_IR 100"))
            .Element(0x0008, 0x0060, "CS", std::string(modality)).Filler();
        ASSERT_TRUE(Load(w, file));
        EXPECT_TRUE(file.IsUltrasound()) << modality;
        EXPECT_EQ(file.GetCharacterSet(), L"ISO_IR 100");
    }
    DicomWriter ct;
    ct.Preamble().Meta("1.2.840.10008.1.2.1").Element(0x0008, 0x0060, "CS", std::string("CT")).Filler();
    ASSERT_TRUE(Load(ct, file));
    EXPECT_FALSE(file.IsUltrasound());
}

TEST(EncodedSize, SequencesItemsAndElements) {
    // 12 + (8 + (8 + 4) + 8) + 8 = 48 in explicit VR.
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1").BeginSequence(0x0008, 0x1140, true).BeginItem(true)
        .Element(0x0008, 0x0060, "CS", std::string("US  ")).EndItem().EndSequence().Filler();
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    CDicomTag* sequence = file.GetElements()[4];
    EXPECT_EQ(file.GetEncodedSize(sequence), 48u);
    EXPECT_EQ(sequence->GetEndOffset() - sequence->GetTagOffset(), 48u);
    EXPECT_EQ(file.GetEncodedSize(file.GetElements()[0]), 14u);  // (0002,0001) OB, 2 bytes
}

TEST(EncodedSize, NestedEncapsulatedPixelDataKeepsItsFragmentLengths) {
    DicomWriter w(false, true);
    w.Preamble().Meta("1.2.840.10008.1.2").Mode(false, true).BeginSequence(0x0009, 0x1010, true)
        .BeginItem(true).BeginFragments().Fragment(BytesOf({1, 2, 3, 4})).EndFragments().EndItem()
        .EndSequence().Filler();
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    CDicomTag* sequence = file.GetElements()[4];
    const CDicomTag* pixel = Child(Child(sequence, 0), 0);
    ASSERT_EQ(pixel->GetChildren().size(), 2u);
    EXPECT_EQ(file.GetEncodedSize(sequence), sequence->GetEndOffset() - sequence->GetTagOffset());
    EXPECT_EQ(Child(pixel, 1)->GetValueLength(), 4u);
}
