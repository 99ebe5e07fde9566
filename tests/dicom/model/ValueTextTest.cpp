// Display text of values and the numeric getters.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dicom/model/DicomTag.h"

namespace {

// An element (group, element) with the VR and the raw value bytes (stored, then normalised).
struct Value {
    CDicomTag tag;
    Value(const wchar_t* vr, const std::string& bytes, uint16_t group = 0x0009, uint16_t element = 0x1001)
        : tag(group, element) {
        if (vr != nullptr) tag.SetVR(vr);
        if (!bytes.empty())
            tag.SetValue(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<uint32_t>(bytes.size()));
    }
    std::wstring Text(const wchar_t* characterSet = L"") const { return tag.GetValueText(characterSet); }
};

std::string Le16(uint16_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string Le32(uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }
std::string FloatBytes(float f) {
    char b[4];
    std::memcpy(b, &f, 4);
    return std::string(b, 4);
}
std::string DoubleBytes(double d) {
    char b[8];
    std::memcpy(b, &d, 8);
    return std::string(b, 8);
}

}  // namespace

TEST(ValueText, NumberListsUseTheirFormatsTrailingBlanksAndBackslashes) {
    EXPECT_EQ(Value(L"US", Le16(512) + Le16(512) + Le16(1)).Text(), L"512 \\512 \\1 ");
    EXPECT_EQ(Value(L"US", Le16(65535)).Text(), L"65535 ");
    EXPECT_EQ(Value(L"SS", Le16(0xFFFE)).Text(), L"-2 ");
    EXPECT_EQ(Value(L"SL", Le32(0xFFFFFFFF) + Le32(7)).Text(), L"-1 \\7 ");
    EXPECT_EQ(Value(L"FL", FloatBytes(1.5f)).Text(), L"1.500000 ");
    EXPECT_EQ(Value(L"FD", DoubleBytes(-0.25) + DoubleBytes(2)).Text(), L"-0.250000 \\2.000000 ");
    // A remainder that does not fill a number is ignored; too short for one gives nothing.
    EXPECT_EQ(Value(L"US", Le16(3) + std::string("\x01", 1)).Text(), L"3 ");
    EXPECT_EQ(Value(L"US", std::string("\x01", 1)).Text(), L"");
    EXPECT_EQ(Value(L"FD", Le32(1)).Text(), L"");
}

TEST(ValueText, UnsignedLongsAreShownUnsigned) {
    // 0xFFFFFFFF in an unsigned VR is 4294967295, not -1.
    EXPECT_EQ(Value(L"UL", Le32(0xFFFFFFFF)).Text(), L"4294967295 ");
    EXPECT_EQ(Value(L"UL", Le32(0x80000000) + Le32(1)).Text(), L"2147483648 \\1 ");
}

TEST(ValueText, AttributeTagsShowGroupThenElement) {
    EXPECT_EQ(Value(L"AT", Le16(0x0028) + Le16(0x0010)).Text(), L"0028, 0010");
    EXPECT_EQ(Value(L"AT", Le16(0x7FE0) + Le16(0x0010) + Le16(0x0008) + Le16(0x0005)).Text(), L"7FE0, 0010");
    // Too short for a whole tag: nothing, and nothing read beyond the value.
    EXPECT_EQ(Value(L"AT", std::string("\x28\x00", 2)).Text(), L"");
}

TEST(ValueText, PlaceholdersForBinaryAndSequenceValues) {
    EXPECT_EQ(Value(L"OW", "abcd", 0x7FE0, 0x0010).Text(), L"(Frame Data)");
    EXPECT_EQ(Value(L"OB", std::string("\x00\x01", 2), 0x0002, 0x0001).Text(), L"(Sequence Data)");
    EXPECT_EQ(Value(L"SQ", "abcd").Text(), L"(Sequence Data)");
}

TEST(ValueText, EmptyValuesShowNothingWhateverTheVR) {
    for (const wchar_t* vr : {L"LO", L"US", L"OB", L"SQ", L"AT", L""}) EXPECT_EQ(Value(vr, "").Text(), L"") << vr;
}

TEST(ValueText, TextUpTo127BytesIsDecodedAndLongerIsAPlaceholder) {
    const std::string text127(127, 'a');
    EXPECT_EQ(Value(L"ZZ", text127).Text(), std::wstring(127, L'a'));  // unknown code: text, no padding
    EXPECT_EQ(Value(L"LO", text127).Text(), L"(Long Size Data)");      // padded to 128
    EXPECT_EQ(Value(L"LT", std::string(126, 'b')).Text(), std::wstring(126, L'b'));
    EXPECT_EQ(Value(L"UT", std::string(128, 'c')).Text(), L"(Long Size Data)");
    // Padding blanks stay; a zero pad ends the text.
    EXPECT_EQ(Value(L"CS", "ABC").Text(), L"ABC ");
    EXPECT_EQ(Value(L"UI", "1.2.3").Text(), L"1.2.3");
}

TEST(ValueText, UnknownTagsAreGuessedFromTheirBytes) {
    EXPECT_EQ(Value(nullptr, std::string("\x10\x00", 2)).Text(), L"16");
    EXPECT_EQ(Value(nullptr, "ABCD").Text(), L"ABCD");
    EXPECT_EQ(Value(nullptr, std::string(8, '\x01')).Text(), L"0");
    EXPECT_EQ(Value(nullptr, std::string("\xC9", 1)).Text(), L"-55");
    EXPECT_EQ(Value(nullptr, std::string("\xFF\xFF\xFF\xFF", 4)).Text(), L"-1");
    // Three bytes are never a number.
    EXPECT_EQ(Value(nullptr, std::string("a\x01z", 3)).Text().size(), 3u);
}

TEST(ValueText, TextDecodesWithTheCharacterSetInForce) {
    const std::string name = "M\xFCller";
    EXPECT_EQ(Value(L"PN", name).Text(L"ISO_IR 100"), L"M\u00FCller");
    EXPECT_EQ(Value(L"PN", "M\xC3\xBCller").Text(L"ISO_IR 192"), L"M\u00FCller ");  // 7 bytes, padded
}

TEST(NumericValue, IntegerVRsByLengthAndTextVRsByParsing) {
    EXPECT_EQ(Value(L"US", Le16(40000)).tag.GetNumericValue(), 40000 - 65536);  // 16 bits kept
    EXPECT_EQ(static_cast<uint16_t>(Value(L"US", Le16(40000)).tag.GetNumericValue()), 40000);
    EXPECT_EQ(Value(L"SL", Le32(0xFFFFFFF0)).tag.GetNumericValue(), -16);
    EXPECT_EQ(Value(nullptr, std::string("\x85", 1)).tag.GetNumericValue(), -123);
    EXPECT_EQ(Value(L"US", Le16(1) + Le16(2) + Le16(3)).tag.GetNumericValue(), 0);  // 6 bytes
    EXPECT_EQ(Value(L"IS", "  12").tag.GetNumericValue(), 12);
    EXPECT_EQ(Value(L"IS", "1.9E1").tag.GetNumericValue(), 19);
    EXPECT_EQ(Value(L"IS", "12abc").tag.GetNumericValue(), 12);
    EXPECT_EQ(Value(L"IS", "-7").tag.GetNumericValue(), -7);
    EXPECT_EQ(Value(L"DS", "-2.9").tag.GetNumericValue(), -2);
    EXPECT_EQ(Value(L"LO", "12").tag.GetNumericValue(), 0);
}

TEST(NumericValue, ParsersCutAtTheFirstForeignCharacterAndNeverOverflow) {
    EXPECT_EQ(ParseIntegerString(""), 0);
    EXPECT_EQ(ParseIntegerString("   "), 0);
    EXPECT_EQ(ParseIntegerString("12 34"), 12);
    EXPECT_EQ(ParseIntegerString("+5"), 5);
    EXPECT_EQ(ParseIntegerString("x5"), 0);
    EXPECT_EQ(ParseIntegerString("99999999999"), 2147483647);
    EXPECT_EQ(ParseIntegerString("-99999999999"), -2147483647 - 1);
    EXPECT_EQ(ParseIntegerString("1e300"), 2147483647);
    EXPECT_DOUBLE_EQ(ParseDecimalString(" 1.25\\2"), 1.25);
    EXPECT_DOUBLE_EQ(ParseDecimalString("-3e2x"), -300.0);
    EXPECT_DOUBLE_EQ(ParseDecimalString("inf"), 0.0);
    EXPECT_DOUBLE_EQ(ParseDecimalString("0x10"), 0.0);
    EXPECT_DOUBLE_EQ(ParseDecimalString(""), 0.0);
}

TEST(NumericValue, FloatAndDecimalGetters) {
    EXPECT_DOUBLE_EQ(Value(L"FL", FloatBytes(0.5f)).tag.GetFloatValue(), 0.5);
    EXPECT_DOUBLE_EQ(Value(L"FD", DoubleBytes(1e-3)).tag.GetFloatValue(), 1e-3);
    // The length, not the code, decides between single and double precision.
    EXPECT_DOUBLE_EQ(Value(L"FD", FloatBytes(0.5f)).tag.GetFloatValue(), 0.5);
    EXPECT_DOUBLE_EQ(Value(L"FL", FloatBytes(0.5f) + "ab").tag.GetFloatValue(), 0.0);
    EXPECT_DOUBLE_EQ(Value(L"DS", FloatBytes(0.5f)).tag.GetFloatValue(), 0.0);  // wrong VR
    EXPECT_DOUBLE_EQ(Value(L"DS", "0.75").tag.GetDecimalValue(), 0.75);
    EXPECT_DOUBLE_EQ(Value(L"IS", "3").tag.GetDecimalValue(), 0.0);
}

TEST(CopyValueBytes, ZeroTerminatedCopyOfTheValue) {
    Value v(L"OB", "abc");
    HeapArray<char> copy = v.tag.CopyValueBytes();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(std::memcmp(copy.get(), "abc\0\0", 5), 0);  // padded value of 4 bytes plus the terminator
    CDicomTag empty(0x0009, 0x1001);
    copy = empty.CopyValueBytes();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy[0], 0);
}

#include "dicom/read/DicomFile.h"
#include "tests/support/DicomWriter.h"
#include "tests/support/Load.h"

TEST(CharacterSetInForce, NearestItemWithItsOwnCharacterSetElseTheTopLevel) {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1").Element(0x0008, 0x0005, "CS", std::string("ISO_IR 192"))
        .BeginSequence(0x0008, 0x1140, true).BeginItem(true)
        .Element(0x0008, 0x0005, "CS", std::string("ISO_IR 100"))
        .Element(0x0010, 0x0010, "PN", std::string("M\xFCller"))
        .EndItem().EndSequence().Filler();
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    const std::wstring top = TopLevelCharacterSet(file);
    EXPECT_EQ(top, L"ISO_IR 192");
    const CDicomTag* sequence = file.FindElement(0x0008, 0x1140);
    const std::wstring forItems = CharacterSetForChildren(*sequence, top);
    EXPECT_EQ(forItems, L"ISO_IR 192");  // the item itself keeps the enclosing set
    const CDicomTag* item = sequence->GetChildren()[0];
    const std::wstring inItem = CharacterSetForChildren(*item, forItems);
    EXPECT_EQ(inItem, L"ISO_IR 100");
    EXPECT_EQ(item->GetChildren()[1]->GetValueText(inItem), L"M\u00FCller");

    CDicomTag longSet(0x0009, 0x1000);
    CDicomTag* child = new CDicomTag(0x0008, 0x0005);
    const std::string text(300, 'A');
    child->SetValue(reinterpret_cast<const uint8_t*>(text.data()), 100);
    longSet.AddChild(child);
    EXPECT_EQ(CharacterSetForChildren(longSet, L"").size(), 100u);
    EXPECT_EQ(CharacterSetForChildren(CDicomTag(0x0009, 0x1000), std::wstring(300, L'B')).size(), 255u);
}
