// The bytes an element occupies, as the hex view highlights them.
#include <gtest/gtest.h>

#include "dicom/read/DicomFile.h"
#include "dicom/model/ElementRange.h"
#include "tests/support/DicomWriter.h"
#include "tests/support/Load.h"

namespace {
uint64_t First(const CDicomTag* tag) { return GetElementByteRange(*tag).first; }
uint64_t Last(const CDicomTag* tag) { return GetElementByteRange(*tag).last; }
}  // namespace

TEST(ByteRange, MetaElementsOfAnImplicitFileUseTheirExplicitHeaders) {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2").Mode(false, true).Filler();
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    const CDicomTag* version = At(file, 0);  // (0002,0001) OB, 12-byte header, 2 bytes
    EXPECT_EQ(First(version), 132u);
    EXPECT_EQ(version->GetValueOffset(), 144u);
    EXPECT_EQ(Last(version), 145u);
    // Implicit data set elements: 8-byte headers.
    EXPECT_EQ(First(At(file, 4)), w.HeaderOffset(4));
    EXPECT_EQ(At(file, 4)->GetValueOffset(), w.HeaderOffset(4) + 8);
}

TEST(ByteRange, ItemsSequencesAndDelimiters) {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1")
        .BeginSequence(0x0008, 0x1140, true)            // header 4
        .BeginItem(true)                                 // header 5
        .Element(0x0008, 0x0060, "CS", std::string("US"))  // header 6
        .EndItem()
        .BeginItem(false)                                // header 7
        .Element(0x0008, 0x0060, "CS", std::string("CT"))  // header 8
        .EndItem()
        .EndSequence()
        .Filler();
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    const CDicomTag* sequence = At(file, 4);
    const CDicomTag* item1 = Child(sequence, 0);
    const CDicomTag* item2 = Child(sequence, 1);
    EXPECT_EQ(First(sequence), w.HeaderOffset(4));
    EXPECT_EQ(sequence->GetValueOffset(), w.HeaderOffset(4) + 12);
    // The undefined-length sequence ends with the last byte of its delimiter.
    EXPECT_EQ(Last(sequence), First(At(file, 5)) - 1);
    // Items have 8-byte headers even in explicit VR.
    EXPECT_EQ(First(item1), w.HeaderOffset(5));
    EXPECT_EQ(item1->GetValueOffset(), w.HeaderOffset(5) + 8);
    EXPECT_EQ(Last(item1), w.HeaderOffset(7) - 1);  // through its item delimiter
    EXPECT_EQ(First(item2), w.HeaderOffset(7));
    EXPECT_EQ(Last(item2), w.HeaderOffset(8) + 10 - 1);
    EXPECT_EQ(Last(Child(item1, 0)), w.HeaderOffset(6) + 10 - 1);
}

TEST(ByteRange, OddLengthValuesEndAtTheirLastByteInTheFile) {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1").Element(0x0008, 0x0016, "UI", std::string("1.2.3")).Filler();
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    const CDicomTag* uid = At(file, 4);
    EXPECT_EQ(uid->GetValueLength(), 6u);  // stored padded
    EXPECT_EQ(Last(uid), uid->GetValueOffset() + 4);
    EXPECT_EQ(Last(uid) + 1, First(At(file, 5)));
}

TEST(ByteRange, ZeroLengthElementIsItsHeaderOnly) {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1").Element(0x0008, 0x0050, "SH", std::string()).Filler();
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    const CDicomTag* empty = At(file, 4);
    EXPECT_EQ(First(empty), w.HeaderOffset(4));
    EXPECT_EQ(Last(empty), empty->GetValueOffset() - 1);
}

TEST(ByteRange, ElementsInsideUNSequencesUseImplicitHeaders) {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1").BeginSequence(0x0009, 0x1010, true, "UN").BeginItem(true);
    w.Mode(false, true).Element(0x0010, 0x0020, "", std::string("ID12")).Mode(true, true);
    w.EndItem().EndSequence().Filler();
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    const CDicomTag* id = Child(Child(At(file, 4), 0), 0);
    EXPECT_EQ(First(id), w.HeaderOffset(6));
    EXPECT_EQ(Last(id), w.HeaderOffset(6) + 8 + 4 - 1);
}

TEST(ByteRange, EncapsulatedPixelDataEndsAtItsSequenceDelimiter) {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.4.70").Filler().BeginFragments().Fragment(BytesOf({1, 2, 3}))
        .EndFragments().Raw(std::string("xy"));
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    const CDicomTag* pixel = file.GetElements().back();
    EXPECT_EQ(Last(pixel), w.Size() - 2 - 1);
    EXPECT_EQ(Last(Child(pixel, 1)), w.Size() - 2 - 8 - 1);
}
