// Native frames kept in shared blocks, and the blocks themselves.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "dicom/read/DicomFile.h"
#include "dicom/io/LargeBlock.h"
#include "tests/support/DicomWriter.h"
#include "tests/support/Load.h"

namespace {

// A file object whose frame blocks hold only a few bytes, so that small files span many blocks.
struct SmallFrameBlocks : CDicomFile {
    explicit SmallFrameBlocks(uint64_t blockSize) {
        ParseOptions options;
        options.frameBlockSize = blockSize;
        SetParseOptions(options);
    }
};

// A file of `frames` frames of 2 x 3 pixels of 16 bits (12 bytes each), byte i of the pixel
// data being i % 251.
DicomWriter NativeFrames(int frames, bool littleEndian = true) {
    DicomWriter w;
    w.Preamble().Meta(littleEndian ? "1.2.840.10008.1.2.1" : "1.2.840.10008.1.2.2").Mode(true, littleEndian);
    std::vector<uint8_t> pixels(12u * frames);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i % 251);
    w.Filler().US(0x0028, 0x0002, 1).Element(0x0028, 0x0008, "IS", std::to_string(frames) + (frames < 10 ? " " : ""))
        .US(0x0028, 0x0010, 2).US(0x0028, 0x0011, 3).US(0x0028, 0x0100, 16)
        .Element(0x7FE0, 0x0010, "OW", pixels);
    return w;
}

const CDicomTag7FE0& PixelOf(const CDicomFile& file) {
    return *static_cast<const CDicomTag7FE0*>(file.GetElements().back());
}

}  // namespace

TEST(FrameStorage, FramesFillBlocksWholeAndInOrder) {
    // 7 frames of 12 bytes in blocks of 40 bytes: three frames a block, the last block one.
    SmallFrameBlocks file(40);
    ASSERT_TRUE(Load(NativeFrames(7), file));
    const CDicomTag7FE0& pixel = PixelOf(file);
    ASSERT_EQ(pixel.GetFragmentCount(), 7u);
    EXPECT_EQ(pixel.GetTotalFragmentLength(), 84u);
    for (size_t f = 0; f < 7; ++f) {
        ASSERT_EQ(pixel.GetFragmentLength(f), 12u);
        for (size_t i = 0; i < 12; ++i) ASSERT_EQ(pixel.GetFragment(f)[i], (12 * f + i) % 251) << f << " " << i;
    }
    // Frames of one block follow one another; a new block starts after every third.
    EXPECT_EQ(pixel.GetFragment(1), pixel.GetFragment(0) + 12);
    EXPECT_EQ(pixel.GetFragment(2), pixel.GetFragment(1) + 12);
    EXPECT_EQ(pixel.GetFragment(4), pixel.GetFragment(3) + 12);
}

TEST(FrameStorage, AFrameLargerThanABlockGetsOneOfItsOwn) {
    SmallFrameBlocks file(5);
    ASSERT_TRUE(Load(NativeFrames(3), file));
    const CDicomTag7FE0& pixel = PixelOf(file);
    ASSERT_EQ(pixel.GetFragmentCount(), 3u);
    for (size_t f = 0; f < 3; ++f) EXPECT_EQ(pixel.GetFragment(f)[11], (12 * f + 11) % 251);
}

TEST(FrameStorage, BigEndianFramesAreSwappedInEveryBlock) {
    SmallFrameBlocks file(24);
    ASSERT_TRUE(Load(NativeFrames(5, false), file));
    const CDicomTag7FE0& pixel = PixelOf(file);
    ASSERT_EQ(pixel.GetFragmentCount(), 5u);
    for (size_t f = 0; f < 5; ++f)
        for (size_t i = 0; i < 12; i += 2) {
            ASSERT_EQ(pixel.GetFragment(f)[i], (12 * f + i + 1) % 251);
            ASSERT_EQ(pixel.GetFragment(f)[i + 1], (12 * f + i) % 251);
        }
}

TEST(FrameStorage, AddedFramesAreKeptAndFreed) {
    CDicomTag7FE0 pixel(0x7FE0, 0x0010);
    LargeBlock frames;
    ASSERT_TRUE(frames.Allocate(6));
    for (uint8_t i = 0; i < 6; ++i) frames.Data()[i] = i;
    const uint8_t* start = frames.Data();
    pixel.AddFrames(std::move(frames), 2, 3);
    EXPECT_EQ(frames.Data(), nullptr);  // the element has the block now
    pixel.AddFrames(LargeBlock(), 2, 0);  // nothing to add
    ASSERT_EQ(pixel.GetFragmentCount(), 3u);
    EXPECT_EQ(pixel.GetFragment(1), start + 2);
    EXPECT_EQ(pixel.GetFragment(2)[1], 5);
    EXPECT_EQ(pixel.GetTotalFragmentLength(), 6u);
}  // a sanitizer build checks that the block is freed once

TEST(LargeBlocks, AllocateMoveAndFree) {
    LargeBlock block;
    EXPECT_FALSE(block.Allocate(0));
    EXPECT_EQ(block.Data(), nullptr);
    ASSERT_TRUE(block.Allocate(100));
    EXPECT_EQ(block.Size(), 100u);
    block.Data()[99] = 1;
    LargeBlock moved(std::move(block));
    EXPECT_EQ(block.Data(), nullptr);
    EXPECT_EQ(block.Size(), 0u);
    EXPECT_EQ(moved.Data()[99], 1);
    LargeBlock assigned;
    ASSERT_TRUE(assigned.Allocate(10));
    assigned = std::move(moved);
    EXPECT_EQ(assigned.Size(), 100u);
    assigned.Free();
    EXPECT_EQ(assigned.Data(), nullptr);
}

TEST(LargeBlocks, BlocksOfHugePageSizeStartOnAHugePage) {
    LargeBlock block;
    ASSERT_TRUE(block.Allocate(LargeBlock::kHugePageSize + 1));
    // The whole size is usable, first byte to last.
    block.Data()[0] = 1;
    block.Data()[LargeBlock::kHugePageSize] = 2;
#if defined(__linux__)
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block.Data()) % LargeBlock::kHugePageSize, 0u);
#endif
}

namespace {

// A file object that reads the fragments of any top-level encapsulated pixel data into one block.
struct OneFragmentBlock : CDicomFile {
    OneFragmentBlock() {
        ParseOptions options;
        options.fragmentBlockMinimum = 1;
        SetParseOptions(options);
    }
};

DicomWriter Encapsulated(bool undefined) {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.4.50").Filler();
    if (undefined) {
        w.BeginFragments(BytesOf({0, 0, 0, 0})).Fragment(BytesOf({1, 2, 3})).Fragment({}).Fragment(BytesOf({4, 5})).EndFragments();
    } else {
        // Defined length: offset table item (8 + 0) and one fragment (8 + 4).
        w.Header(0x7FE0, 0x0010, "OB", 20).Tag(0xFFFE, 0xE000).U32(0).Tag(0xFFFE, 0xE000).U32(4).Raw(BytesOf({6, 7, 8, 9}));
    }
    w.Raw(BytesOf({0xAA, 0xBB}));  // trailing data
    return w;
}

std::vector<uint8_t> ValueOf(const CDicomTag* tag) {
    const uint8_t* bytes = tag->Data().GetBytes();
    return bytes == nullptr ? std::vector<uint8_t>() : std::vector<uint8_t>(bytes, bytes + tag->Data().GetByteCount());
}

}  // namespace

TEST(FrameStorage, TopLevelFragmentsShareOneBlockAndReadAsBefore) {
    for (bool undefined : {true, false}) {
        SCOPED_TRACE(undefined ? "undefined length" : "defined length");
        const DicomWriter w = Encapsulated(undefined);
        CDicomFile plain;
        OneFragmentBlock shared;
        ASSERT_TRUE(Load(w, plain));
        ASSERT_TRUE(Load(w, shared));
        const CDicomTag* expected = plain.GetElements().back();
        const CDicomTag* pixel = shared.GetElements().back();
        ASSERT_EQ(pixel->GetChildren().size(), expected->GetChildren().size());
        for (size_t i = 0; i < pixel->GetChildren().size(); ++i) {
            const CDicomTag* item = pixel->GetChildren()[i];
            EXPECT_EQ(ValueOf(item), ValueOf(expected->GetChildren()[i])) << i;
            EXPECT_EQ(item->Data().GetLongLength(), expected->GetChildren()[i]->Data().GetLongLength());
            EXPECT_EQ(item->GetEndOffset(), expected->GetChildren()[i]->GetEndOffset());
        }
        EXPECT_EQ(shared.GetTrailingSize(), plain.GetTrailingSize());
        // One after another in the block, the empty fragment taking no room.
        if (undefined) {
            EXPECT_EQ(pixel->GetChildren()[3]->Data().GetBytes(), pixel->GetChildren()[1]->Data().GetBytes() + 3);
        }
    }
}
