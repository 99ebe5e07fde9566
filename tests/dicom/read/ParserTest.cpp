// Element headers, values, sequences, items and pixel data as the parser reads them.
#include <gtest/gtest.h>

#include <cstring>

#include "dicom/read/DicomFile.h"
#include "tests/support/DeferredCheck.h"
#include "tests/support/DicomWriter.h"
#include "tests/support/Load.h"

namespace {

const char kExplicitLE[] = "1.2.840.10008.1.2.1";
const char kImplicitLE[] = "1.2.840.10008.1.2";
const char kExplicitBE[] = "1.2.840.10008.1.2.2";

// A Part 10 file in the given syntax whose data set starts with `body` and ends with fillers.
DicomWriter Part10(const char* syntax, bool explicitVR = true, bool littleEndian = true) {
    DicomWriter w;
    w.Preamble().Meta(syntax).Mode(explicitVR, littleEndian);
    return w;
}

}  // namespace

TEST(ExplicitHeaders, LongFormVRsReadTheFourByteLengthAfterTheReservedBytes) {
    // OB with reserved 00 00 and a 4-byte length 6.
    DicomWriter w = Part10(kExplicitLE);
    w.Element(0x0009, 0x1001, "OB", BytesOf({1, 2, 3, 4, 5, 6})).Filler();
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    const CDicomTag* ob = At(file, 4);
    EXPECT_EQ(ob->Data().GetLongLength(), 6u);
    EXPECT_EQ(ob->Data().GetShortLength(), 0u);
    EXPECT_EQ(ob->GetValueOffset(), w.HeaderOffset(4) + 12);
}

TEST(ExplicitHeaders, EveryStandardLongFormVRUsesTheTwelveByteHeader) {
    // OF, OD, OL, UC, UR and the others would be misread with the 2-byte form.
    for (const char* vr : {"OB", "OD", "OF", "OL", "OV", "OW", "SV", "UC", "UN", "UR", "UT", "UV"}) {
        DicomWriter w = Part10(kExplicitLE);
        w.Element(0x0009, 0x1001, vr, std::string(8, 'x')).Filler();
        CDicomFile file;
        ASSERT_TRUE(Load(w, file)) << vr;
        EXPECT_EQ(At(file, 4)->GetValueLength(), 8u) << vr;
        EXPECT_EQ(At(file, 4)->GetValueOffset(), w.HeaderOffset(4) + 12) << vr;
        EXPECT_TRUE(At(file, 4)->HasLongLengthField()) << vr;
    }
}

TEST(ExplicitHeaders, ReservedBytesAreNeverALength) {
    // Non-zero reserved bytes and a zero 4-byte length: the element is empty and the next one
    // starts right after its header.
    DicomWriter w = Part10(kExplicitLE);
    w.Tag(0x0009, 0x1001).Raw(std::string("OB")).U16(0x0102).U32(0).Filler();
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    EXPECT_EQ(At(file, 4)->GetValueLength(), 0u);
    EXPECT_EQ(At(file, 5)->GetTagOffset(), At(file, 4)->GetValueOffset());
}

TEST(ExplicitHeaders, LowerCaseVRIsStoredUpperCaseAndUsesItsLengthForm) {
    DicomWriter w = Part10(kExplicitLE);
    w.Element(0x0009, 0x1001, "ob", BytesOf({1, 2, 3})).Filler();
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    EXPECT_EQ(At(file, 4)->GetVRText(), L"OB");
    // Odd OB values are padded with a zero byte and held in the long length.
    EXPECT_EQ(At(file, 4)->Data().GetLongLength(), 4u);
    EXPECT_EQ(At(file, 4)->Data().GetBytes()[3], 0);
    // The read position moved by the odd length from the header, not the padded one.
    EXPECT_EQ(At(file, 5)->GetTagOffset(), At(file, 4)->GetValueOffset() + 3);
}

TEST(ExplicitHeaders, UnknownTwoLetterVRUsesTheShortForm) {
    DicomWriter w = Part10(kExplicitLE);
    w.Element(0x0009, 0x1001, "ZZ", std::string("abcd")).Filler();
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    EXPECT_EQ(At(file, 4)->GetVRText(), L"ZZ");
    EXPECT_EQ(At(file, 4)->GetValueOffset(), w.HeaderOffset(4) + 8);
}

TEST(Sequences, ImplicitPrivateElementOfUndefinedLengthIsASequence) {
    DicomWriter w = Part10(kImplicitLE, false);
    w.BeginSequence(0x0009, 0x1010, true)
        .BeginItem(true).Element(0x0009, 0x1011, "", std::string("ab")).EndItem()
        .EndSequence()
        .Filler();
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    const CDicomTag* sequence = At(file, 4);
    ASSERT_EQ(sequence->GetChildren().size(), 1u);
    const CDicomTag* item = Child(sequence, 0);
    EXPECT_TRUE(item->IsItem());
    ASSERT_EQ(item->GetChildren().size(), 1u);
    EXPECT_EQ(Child(item, 0)->GetValueLength(), 2u);
    EXPECT_EQ(item->GetParent(), sequence);
}

TEST(Sequences, UNOfUndefinedLengthIsReadAsImplicitItemsAndTheModeIsRestored) {
    DicomWriter w = Part10(kExplicitLE);
    w.BeginSequence(0x0009, 0x1010, true, "UN").BeginItem(true);
    w.Mode(false, true).Element(0x0010, 0x0010, "", std::string("Doe^John")).Mode(true, true);
    w.EndItem().EndSequence().Filler();
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    const CDicomTag* name = Child(Child(At(file, 4), 0), 0);
    EXPECT_EQ(name->GetVRText(), L"PN");  // from the dictionary: the item was implicit
    EXPECT_EQ(name->GetValueOffset(), name->GetTagOffset() + 8);
    EXPECT_TRUE(file.IsExplicitVR());
    EXPECT_EQ(At(file, 5)->GetVRText(), L"LO");  // read explicit again after the sequence
}

TEST(Sequences, UNOfUndefinedLengthInABigEndianDataSetHasLittleEndianItems) {
    // The UN header is big endian; its items, their values and its delimiter are implicit VR
    // little endian; the data set goes on big endian after it.
    std::vector<uint8_t> table(2048);
    for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<uint8_t>(i);
    DicomWriter w = Part10(kExplicitBE, true, false);
    w.BeginSequence(0x0009, 0x1010, true, "UN").Mode(false, true).BeginItem(true)
        .US(0x0028, 0x0010, 0x0102)
        .Element(0x0028, 0x1201, "", table)  // OW by the dictionary, long enough to be deferred
        .BeginSequence(0x0009, 0x1020, true).BeginItem(false).US(0x0028, 0x0011, 7).EndItem().EndSequence()
        .EndItem().EndSequence().Mode(true, false)
        .US(0x0028, 0x0002, 3)
        .Filler();
    for (uint64_t deferAbove : {uint64_t(1) << 40, uint64_t(1)}) {
        CDicomFile file;
        ASSERT_TRUE(deferred_check::ParseDeferred(w.Bytes().data(), w.Bytes().size(), file, deferAbove, false))
            << deferAbove;
        const CDicomTag* item = Child(At(file, 4), 0);
        ASSERT_EQ(item->GetChildren().size(), 3u);
        EXPECT_EQ(Child(item, 0)->GetNumericValue(), 0x0102);
        uint8_t lut[4];
        ASSERT_TRUE(Child(item, 1)->ReadValueBytes(0, lut, 4));
        EXPECT_EQ(std::vector<uint8_t>(lut, lut + 4), BytesOf({0, 1, 2, 3})) << deferAbove;  // not swapped
        EXPECT_EQ(Child(Child(Child(item, 2), 0), 0)->GetNumericValue(), 7);
        EXPECT_EQ(At(file, 4)->GetEndOffset(), At(file, 5)->GetTagOffset());
        EXPECT_EQ(At(file, 5)->GetNumericValue(), 3);
        EXPECT_FALSE(file.IsLittleEndian());
    }
}

TEST(Sequences, DefinedLengthSequenceWithAnUndefinedLengthItem) {
    DicomWriter w = Part10(kExplicitLE);
    w.BeginSequence(0x0008, 0x1140, false)
        .BeginItem(true).Element(0x0008, 0x1150, "UI", std::string("1.2\0", 4)).EndItem()
        .BeginItem(false).Element(0x0008, 0x1155, "UI", std::string("1.3\0", 4)).EndItem()
        .EndSequence()
        .Filler();
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    const CDicomTag* sequence = At(file, 4);
    ASSERT_EQ(sequence->GetChildren().size(), 2u);
    // The first item ends with its delimiter, which counts in the sequence's total.
    EXPECT_EQ(Child(sequence, 0)->GetEndOffset(), Child(sequence, 1)->GetTagOffset());
    EXPECT_EQ(Child(sequence, 1)->GetValueLength(), 12u);
    EXPECT_EQ(sequence->GetEndOffset(), sequence->GetValueOffset() + sequence->GetValueLength());
}

TEST(Sequences, OddLengthValuesInsideDefinedLengthItemsKeepTheSequenceInStep) {
    // Stored values are padded to even length; the item and sequence still end where the file
    // says, and the item keeps the length its header gave.
    DicomWriter w = Part10(kExplicitLE);
    w.BeginSequence(0x0008, 0x1140, false)
        .BeginItem(false).Element(0x0008, 0x1150, "UI", std::string("1.2.3")).EndItem()
        .BeginItem(false).Element(0x0008, 0x1150, "DA", std::string("2020")).EndItem()
        .EndSequence()
        .Filler();
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    const CDicomTag* sequence = At(file, 4);
    ASSERT_EQ(sequence->GetChildren().size(), 2u);
    EXPECT_EQ(Child(sequence, 0)->GetValueLength(), 13u);
    EXPECT_EQ(Child(Child(sequence, 0), 0)->GetValueLength(), 6u);
    EXPECT_EQ(Child(Child(sequence, 1), 0)->GetValueLength(), 8u);
    EXPECT_EQ(At(file, 5)->GetTagOffset(), sequence->GetEndOffset());
}

TEST(Sequences, ItemHeaderOtherThanItemFailsInADefinedLengthSequence) {
    DicomWriter w = Part10(kExplicitLE);
    w.Header(0x0008, 0x1140, "SQ", 8).Tag(0xFFFE, 0xE00D).U32(0).Filler();
    CDicomFile file;
    EXPECT_FALSE(Load(w, file));
    EXPECT_TRUE(file.GetElements().empty());
}

TEST(Sequences, NestingBeyondTheBoundIsRefusedWithoutExhaustingTheStack) {
    for (int depth : {kMaxSequenceDepth, kMaxSequenceDepth + 1, 100000}) {
        DicomWriter w = Part10(kExplicitLE);
        for (int i = 0; i < depth; ++i) w.BeginSequence(0x0008, 0x1140, true).BeginItem(true);
        for (int i = 0; i < depth; ++i) w.EndItem().EndSequence();
        w.Filler();
        CDicomFile file;
        EXPECT_EQ(Load(w, file), depth <= kMaxSequenceDepth) << depth;
    }
}

TEST(Values, BigEndianNumbersAreSwappedAndTextIsNot) {
    DicomWriter w = Part10(kExplicitBE, true, false);
    w.US(0x0028, 0x0002, 1)
        .Element(0x0008, 0x0070, "LO", std::string("ACME"))
        .Element(0x0018, 0x1310, "US", BytesOf({0x01, 0x00, 0x00, 0x02}))
        .Element(0x0020, 0x9165, "AT", BytesOf({0x00, 0x28, 0x00, 0x10}))
        .Element(0x0018, 0x6028, "FD", BytesOf({0x3F, 0xF8, 0, 0, 0, 0, 0, 0}))
        .Filler();
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    EXPECT_FALSE(file.IsLittleEndian());
    EXPECT_EQ(file.FindElement(0x0028, 0x0002)->GetNumericValue(), 1);
    EXPECT_EQ(std::memcmp(file.FindElement(0x0008, 0x0070)->Data().GetBytes(), "ACME", 4), 0);
    const uint8_t* us = file.FindElement(0x0018, 0x1310)->Data().GetBytes();
    EXPECT_EQ(us[0] | (us[1] << 8), 256);
    EXPECT_EQ(us[2] | (us[3] << 8), 2);
    EXPECT_DOUBLE_EQ(file.FindElement(0x0018, 0x6028)->GetFloatValue(), 1.5);
    EXPECT_EQ(file.FindElement(0x0020, 0x9165)->GetValueText(L""), L"0028, 0010");
    // The meta group of a Part 10 file is always little endian.
    EXPECT_EQ(std::memcmp(At(file, 3)->Data().GetBytes(), kExplicitBE, sizeof kExplicitBE - 1), 0);
}

TEST(Values, ValueRunningPastTheEndRefusesTheFile) {
    DicomWriter w = Part10(kExplicitLE);
    w.Filler().Header(0x0009, 0x1001, "OB", 0x7FFFFFF0);
    CDicomFile file;
    EXPECT_FALSE(Load(w, file));
    DicomWriter undefinedValue = Part10(kExplicitLE);
    undefinedValue.Filler().Header(0x0009, 0x1001, "LO", 0xFFFF).Raw(std::string("ab"));
    EXPECT_FALSE(Load(undefinedValue, file));
}

TEST(Values, OneToThreeStrayBytesAtTheEndRefuseTheFile) {
    for (int extra = 0; extra <= 3; ++extra) {
        DicomWriter w = Part10(kExplicitLE);
        w.Filler().Raw(std::string(extra, '\0'));
        CDicomFile file;
        EXPECT_EQ(Load(w, file), extra == 0) << extra;
    }
}

TEST(PixelData, EncapsulatedFragmentsAreChildrenAndWhatFollowsIsTrailingData) {
    DicomWriter w = Part10("1.2.840.10008.1.2.4.50");
    w.Filler().BeginFragments(BytesOf({0, 0, 0, 0})).Fragment(BytesOf({0xFF, 0xD8, 0xFF, 0xD9}))
        .Fragment(BytesOf({1, 2})).EndFragments().Raw(std::string("tail bytes"));
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    const CDicomTag* pixel = file.GetElements().back();
    ASSERT_TRUE(pixel->IsPixelData());
    ASSERT_EQ(pixel->GetChildren().size(), 3u);
    EXPECT_EQ(Child(pixel, 0)->GetValueLength(), 4u);
    EXPECT_EQ(Child(pixel, 1)->GetValueLength(), 4u);
    EXPECT_EQ(Child(pixel, 2)->GetTagOffset(), Child(pixel, 1)->GetEndOffset());
    EXPECT_EQ(pixel->GetEndOffset(), w.Size() - 10);
    ASSERT_EQ(file.GetTrailingSize(), 10u);
    EXPECT_EQ(std::memcmp(file.GetTrailingData(), "tail bytes", 10), 0);
}

TEST(PixelData, DefinedLengthEncapsulatedPixelDataCountsItsItems) {
    DicomWriter w = Part10("1.2.840.10008.1.2.5");
    w.Filler().Header(0x7FE0, 0x0010, "OB", 8 + 8 + 2).Tag(0xFFFE, 0xE000).U32(0)
        .Tag(0xFFFE, 0xE000).U32(2).Raw(std::string("ab"));
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    EXPECT_EQ(file.GetElements().back()->GetChildren().size(), 2u);
    EXPECT_EQ(file.GetTrailingSize(), 0u);
}

TEST(PixelData, NativeFramesAreReadOneBlockPerFrame) {
    DicomWriter w = Part10(kExplicitLE);
    w.Filler().US(0x0028, 0x0002, 1).Element(0x0028, 0x0008, "IS", std::string("2 "))
        .US(0x0028, 0x0010, 512).US(0x0028, 0x0011, 512).US(0x0028, 0x0100, 16)
        .Header(0x7FE0, 0x0010, "OW", 2 * 524288).Raw(std::vector<uint8_t>(2 * 524288, 7));
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    const CDicomTag7FE0* pixel = static_cast<const CDicomTag7FE0*>(file.GetElements().back());
    ASSERT_EQ(pixel->GetFragmentCount(), 2u);
    EXPECT_EQ(pixel->GetFragmentLength(0), 524288u);
    EXPECT_EQ(pixel->GetFragmentLength(1), 524288u);
    EXPECT_EQ(pixel->GetFragment(1)[524287], 7);
    EXPECT_EQ(pixel->GetValueLength(), 2u * 524288u);
    EXPECT_EQ(pixel->GetValueText(L""), L"(Frame Data)");
}

TEST(PixelData, FramesLargerThanTheFileAreRefusedBeforeAllocating) {
    // 65535 x 65535 x 16 bits x 2^31 frames would wrap 32-bit arithmetic and ask for exabytes.
    DicomWriter w = Part10(kExplicitLE);
    w.Filler().Element(0x0028, 0x0008, "IS", std::string("2147483647"))
        .US(0x0028, 0x0010, 0xFFFF).US(0x0028, 0x0011, 0xFFFF).US(0x0028, 0x0100, 16)
        .Header(0x7FE0, 0x0010, "OW", 4).U32(0);
    CDicomFile file;
    EXPECT_FALSE(Load(w, file));
}

TEST(PixelData, RowsAboveSignedSixteenBitsAreUnsigned) {
    DicomWriter w = Part10(kExplicitLE);
    w.Filler().US(0x0028, 0x0010, 46341).US(0x0028, 0x0011, 1).US(0x0028, 0x0100, 8)
        .Header(0x7FE0, 0x0010, "OW", 46342).Raw(std::vector<uint8_t>(46342, 1));
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    EXPECT_EQ(file.m_rows, 46341u);
    EXPECT_EQ(static_cast<const CDicomTag7FE0*>(file.GetElements().back())->GetFragmentLength(0), 46341u);
}

TEST(PixelData, ImplicitPixelDataBecomesOWAboveEightBitsAndUndefinedLengthIsASequence) {
    DicomWriter w = Part10(kImplicitLE, false);
    w.Filler().US(0x0028, 0x0010, 1).US(0x0028, 0x0011, 2).US(0x0028, 0x0100, 16)
        .Header(0x7FE0, 0x0010, "", 4).Raw(BytesOf({1, 2, 3, 4}));
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    EXPECT_EQ(file.GetElements().back()->GetVRText(), L"OW");

    DicomWriter sequence = Part10(kImplicitLE, false);
    sequence.Filler().BeginSequence(0x7FE0, 0x0010, true).BeginItem(false)
        .Element(0x0009, 0x1001, "", std::string("ab")).EndItem().EndSequence();
    ASSERT_TRUE(Load(sequence, file));
    const CDicomTag* pixel = file.GetElements().back();
    ASSERT_EQ(pixel->GetChildren().size(), 1u);
    EXPECT_EQ(Child(pixel, 0)->GetChildren().size(), 1u);
}

TEST(Reading, HeadersAndValuesAcrossReadAheadBlocksKeepTheirOffsets) {
    // Values of many sizes, small and large, so that headers and values straddle every kind of
    // block boundary of the reader.
    DicomWriter w = Part10(kExplicitLE);
    std::vector<size_t> sizes;
    for (size_t i = 0; i < 400; ++i) sizes.push_back((i * 7919) % 1500 + (i % 37 == 0 ? 40000 : 0));
    for (size_t i = 0; i < sizes.size(); ++i)
        w.Element(0x0009, static_cast<uint16_t>(0x1000 + i), "OB", std::vector<uint8_t>(sizes[i], static_cast<uint8_t>(i)));
    w.Filler();
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    for (size_t i = 0; i < sizes.size(); ++i) {
        const CDicomTag* tag = At(file, 4 + i);
        ASSERT_EQ(tag->GetTagOffset(), w.HeaderOffset(4 + i)) << i;
        ASSERT_EQ(tag->GetEndOffset(), w.HeaderOffset(4 + i) + 12 + sizes[i]) << i;
        if (sizes[i] != 0) {
            ASSERT_EQ(tag->Data().GetBytes()[0], static_cast<uint8_t>(i)) << i;
            ASSERT_EQ(tag->Data().GetBytes()[sizes[i] - 1], static_cast<uint8_t>(i)) << i;
        }
    }
}
