// Faults the fuzzer and the mutation sweep found, each pinned by the smallest input that showed
// it, rebuilt here with the test writer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "dicom/read/DicomFile.h"
#include "tests/hostile/AllocationCounter.h"
#include "tests/support/DicomWriter.h"
#include "tests/support/Load.h"

namespace {

// A defined-length sequence whose one item declares `itemLength` bytes but ends, through an
// undefined-length sequence inside it, exactly at the end of the file. The parse stops there
// and keeps the item with the length it declared.
DicomWriter ItemClaimingMoreThanTheFile(uint32_t itemLength) {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1").Filler(6);
    w.BeginSequence(0x0008, 0x1140, false);
    w.Tag(0xFFFE, 0xE000).U32(itemLength);
    w.BeginSequence(0x0040, 0xA730, true)
        .BeginItem(true)
        .Element(0x0040, 0xA160, "UT", std::string("leaf"))
        .EndItem()
        .EndSequence();
    w.EndSequence();
    return w;
}

}  // namespace

// Input: a defined-length item (the sample file has several). Copying its value handed a null
// block with a count of 0 to memcpy, which the C library does not allow (UBSan: "null pointer
// passed as argument 2").
TEST(FoundByFuzzing, ValueCopyOfAnItemWithoutBytes) {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1").Filler(6);
    w.BeginSequence(0x0008, 0x1140, false).BeginItem(false).Element(0x0008, 0x1150, "UI", std::string("1.23")).EndItem().EndSequence();
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    const CDicomTag* item = file.FindElement(0x0008, 0x1140)->GetChildren().at(0);
    ASSERT_EQ(item->GetValueLength(), 12u);
    ASSERT_EQ(item->Data().GetBytes(), nullptr);
    HeapArray<char> copy = item->CopyValueBytes();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy[0], 0);
    copy.reset();
    EXPECT_EQ(item->GetValueText(L""), L"");
}

// Input: 6 KB files whose defined-length item claimed up to 3.7 GB. Such a file loads (the
// item ends with the file), and copying the item's value allocated its declared length + 1
// bytes: gigabytes for a small file, or a null result where that much is not to be had.
TEST(FoundByFuzzing, ValueCopyIsSizedByTheBytesHeldNotTheDeclaredLength) {
    DicomWriter w = ItemClaimingMoreThanTheFile(0x7FFFFFF0u);
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    const CDicomTag* item = file.FindElement(0x0008, 0x1140)->GetChildren().at(0);
    ASSERT_EQ(item->GetValueLength(), 0x7FFFFFF0u);

    allocation::StartMeasuring();
    HeapArray<char> copy = item->CopyValueBytes();
    const uint64_t peak = allocation::PeakSinceStart();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy[0], 0);
    copy.reset();
    if (allocation::Counting()) {
        EXPECT_LE(peak, 64u);
    }

    // The display of the item and its numbers take no more either.
    allocation::StartMeasuring();
    EXPECT_EQ(item->GetValueText(L""), L"(Long Size Data)");
    EXPECT_EQ(item->GetNumericValue(), 0);
    EXPECT_EQ(item->GetDecimalValue(), 0.0);
    if (allocation::Counting()) {
        EXPECT_LE(allocation::PeakSinceStart(), 4096u);
    }
}
