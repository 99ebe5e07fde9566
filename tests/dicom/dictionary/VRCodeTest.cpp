// Shared VR code records and the dictionary's answers: texts every element points at, so they
// must be one record per text and never move.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dicom/dictionary/DicomDictionary.h"
#include "dicom/model/DicomTag.h"
#include "dicom/dictionary/DicomVR.h"

TEST(VRCodes, OneRecordPerTextWithItsTableRow) {
    const VRCode* us = InternVRCode(L"US");
    EXPECT_EQ(us->text, L"US");
    ASSERT_NE(us->info, nullptr);
    EXPECT_EQ(us->info->kind, VRKind::US);
    EXPECT_EQ(InternVRCode(L"us"), us);  // upper-cased before it is looked up
    EXPECT_EQ(InternVRCode(L"uS"), us);
    EXPECT_EQ(VRCodeOfBytes('U', 'S'), us);
    EXPECT_EQ(InternVRCode(L""), NoVRCode());
    EXPECT_TRUE(NoVRCode()->text.empty());
    EXPECT_EQ(NoVRCode()->info, nullptr);
}

TEST(VRCodes, UnknownTextsAreKeptAsGivenAndShared) {
    // Bytes of a damaged header: no letters, a NUL among them; each is its own character.
    const VRCode* odd = VRCodeOfBytes(0x01, 0x00);
    EXPECT_EQ(odd->text, std::wstring(L"\x01\0", 2));
    EXPECT_EQ(odd->info, nullptr);
    EXPECT_EQ(VRCodeOfBytes(0x01, 0x00), odd);
    EXPECT_NE(VRCodeOfBytes(0x00, 0x01), odd);
    EXPECT_EQ(VRCodeOfBytes(0xE9, 'x')->text, std::wstring(L"\u00E9X"));  // only ASCII letters change case
    const VRCode* longer = InternVRCode(L"abc");
    EXPECT_EQ(longer->text, L"ABC");
    EXPECT_EQ(longer->info, nullptr);
    EXPECT_EQ(InternVRCode(L"ABC"), longer);
}

TEST(VRCodes, TheElementsCodeIsOnePointer) {
    CDicomVR vr;
    EXPECT_TRUE(vr.GetCode().empty());
    EXPECT_EQ(vr.GetInfo(), nullptr);
    vr.SetCode(L"sq");
    EXPECT_EQ(vr.GetCode(), L"SQ");
    EXPECT_TRUE(vr.Is(VRKind::SQ));
    const CDicomVR copy = vr;
    EXPECT_EQ(&copy.GetCode(), &vr.GetCode());
    EXPECT_EQ(&vr.GetText(), &vr.GetCode());
    vr.SetCode(static_cast<const VRCode*>(nullptr));
    EXPECT_TRUE(vr.GetCode().empty());
    vr.SetCode(L"OB");
    vr.Reset();
    EXPECT_TRUE(vr.GetCode().empty());
    EXPECT_FALSE(vr.Is(VRKind::OB));
}

TEST(DictionaryAnswers, TextsStayPutWhileUnknownTagsAreAdded) {
    CDicomDictionary dictionary;
    const std::wstring& name = dictionary.GetName(0x0010, 0x0010);
    const std::wstring& vr = dictionary.GetVR(0x0010, 0x0010);
    const std::wstring& none = dictionary.GetName(0x0009, 0x0010);
    const size_t loaded = dictionary.EntryCount();
    // Enough unknown tags to make any hash table or vector behind the answers grow many times.
    for (uint32_t i = 0; i < 20000; ++i) dictionary.GetName(0x0011, static_cast<uint16_t>(i));
    EXPECT_EQ(dictionary.EntryCount(), loaded + 20000);
    EXPECT_EQ(&dictionary.GetName(0x0010, 0x0010), &name);
    EXPECT_EQ(name, L"Patient's Name");
    EXPECT_EQ(&dictionary.GetVR(0x0010, 0x0010), &vr);
    EXPECT_EQ(vr, L"PN");
    EXPECT_EQ(&dictionary.GetName(0x0009, 0x0010), &none);
    EXPECT_TRUE(none.empty());
}

TEST(DictionaryAnswers, ElementsPointAtTheInstancesTexts) {
    const CDicomTag element(0x0010, 0x0010);
    CDicomDictionary& instance = CDicomDictionary::Instance();
    EXPECT_EQ(&element.GetDescription(), &instance.GetName(0x0010, 0x0010));
    EXPECT_EQ(&element.GetVRText(), &instance.GetVR(0x0010, 0x0010));
    const CDicomTag overlay(0x6002, 0x3000);
    EXPECT_EQ(&overlay.GetDescription(), &instance.GetName(0x6000, 0x3000));
}
