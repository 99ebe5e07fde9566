// The node store a parsed file keeps its elements and small values in, borrowed value bytes,
// and who destroys which node.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "dicom/read/DicomFile.h"
#include "dicom/model/NodeStore.h"
#include "tests/support/DicomWriter.h"
#include "tests/support/Load.h"

namespace {

// An element that counts how many of its kind are alive, to see who destroys it.
struct CountedTag : CDicomTag {
    static int alive;
    CountedTag() : CDicomTag(0x0009, 0x1001) { ++alive; }
    ~CountedTag() override { --alive; }
};
int CountedTag::alive = 0;

}  // namespace

TEST(NodeStore, NodesAndValuesOfManyChunksKeepTheirContents) {
    CNodeStore store;
    std::vector<CDicomTag*> tags;
    std::vector<uint8_t*> values;
    size_t valueBytes = 0;
    for (uint32_t i = 0; i < 5000; ++i) {
        CDicomTag* tag = store.NewTag(0x0010, 0x0010);
        tag->SetTagOffset(i);
        tags.push_back(tag);
        const size_t count = i % CNodeStore::kLargestValue + 1;
        uint8_t* bytes = store.NewBytes(count);
        ASSERT_NE(bytes, nullptr);
        std::memset(bytes, static_cast<int>(i & 0xFF), count);
        values.push_back(bytes);
        valueBytes += count;
    }
    EXPECT_EQ(store.GetNodeCount(), 5000u);
    for (uint32_t i = 0; i < tags.size(); ++i) {
        ASSERT_TRUE(tags[i]->IsInNodeStore());
        ASSERT_EQ(tags[i]->GetTagOffset(), i);
        ASSERT_EQ(tags[i]->GetDescription(), L"Patient's Name");
        const size_t count = i % CNodeStore::kLargestValue + 1;
        for (size_t k = 0; k < count; ++k) ASSERT_EQ(values[i][k], i & 0xFF) << i;
    }
    // Chunks double, so the store holds at most its first chunk and twice what it uses.
    const size_t used = 5000 * sizeof(CDicomTag) + valueBytes;
    EXPECT_LE(store.GetReservedBytes(), CNodeStore::kSmallestChunk + 2 * used);
    store.Release();
    EXPECT_EQ(store.GetNodeCount(), 0u);
    EXPECT_EQ(store.GetReservedBytes(), 0u);
}

TEST(NodeStore, OnlySmallValuesAreStored) {
    CNodeStore store;
    EXPECT_EQ(store.NewBytes(0), nullptr);
    EXPECT_EQ(store.NewBytes(CNodeStore::kLargestValue + 1), nullptr);
    EXPECT_NE(store.NewBytes(CNodeStore::kLargestValue), nullptr);
}

TEST(NodeStore, ALargeFileStartsWithAHugePageChunk) {
    CNodeStore store;
    store.PlanFor(5000000);
    store.NewTag(0x0009, 0x1001);
    EXPECT_EQ(store.GetReservedBytes(), LargeBlock::kHugePageSize);
    store.Release();
    store.PlanFor(40000);  // a quarter of it fits the smallest chunk
    store.NewTag(0x0009, 0x1001);
    EXPECT_EQ(store.GetReservedBytes(), CNodeStore::kSmallestChunk);
}

TEST(NodeStore, ChunksStayWithinTwiceTheFileSize) {
    CNodeStore store;
    store.PlanFor(100);
    for (int i = 0; i < 2000; ++i) store.NewTag(0x0009, 0x1001);
    // Every chunk at the smallest size, as many as the nodes need.
    const size_t perChunk = CNodeStore::kSmallestChunk / sizeof(CDicomTag);
    EXPECT_EQ(store.GetReservedBytes(), (2000 + perChunk - 1) / perChunk * CNodeStore::kSmallestChunk);
}

TEST(NodeStore, ReleaseDestroysTheChildrenMadeWithNewAndNodeDeletionSparesTheStores) {
    CountedTag::alive = 0;
    {
        CNodeStore store;
        CDicomTag* item = store.NewTag(0xFFFE, 0xE000);
        item->AddChild(new CountedTag());
        CDicomTag* stored = store.NewTag(0x0010, 0x0010);
        item->AddChild(stored);
        EXPECT_EQ(CountedTag::alive, 1);

        // A node made with new deletes its own children but leaves those of the store alone.
        CDicomTag* owner = new CDicomTag(0x0008, 0x1140);
        CDicomTag* storedChild = store.NewTag(0xFFFE, 0xE000);
        owner->AddChild(storedChild);
        owner->AddChild(new CountedTag());
        delete owner;
        EXPECT_EQ(CountedTag::alive, 1);
        EXPECT_EQ(storedChild->GetGroup(), 0xFFFE);

        store.Release();
        EXPECT_EQ(CountedTag::alive, 0);
        store.NewTag(0x0009, 0x1001)->AddChild(new CountedTag());
    }  // the store's destructor releases what was made after the first release
    EXPECT_EQ(CountedTag::alive, 0);
}

TEST(NodeStore, AParsedTreeGoesWithResetAndTakesAddedNodesAlong) {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1").BeginSequence(0x0008, 0x1140, true).BeginItem(true)
        .Element(0x0008, 0x1150, "UI", std::string("1.2.3")).EndItem().EndSequence().Filler();
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    CountedTag::alive = 0;
    CDicomTag* item = file.FindElement(0x0008, 0x1140)->GetChildren().at(0);
    EXPECT_TRUE(item->IsInNodeStore());
    item->AddChild(new CountedTag());
    file.AddElement(new CountedTag());
    file.Reset();
    EXPECT_EQ(CountedTag::alive, 0);
    // The same object parses again from an empty store.
    ASSERT_TRUE(Load(w, file));
    EXPECT_EQ(file.FindElement(0x0008, 0x1140)->GetChildren().at(0)->GetChildren().at(0)->GetValueText(L""),
              L"1.2.3");
}

TEST(NodeStore, EachParentsChildListIsAllocatedOnceAtItsSize) {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1").BeginSequence(0x0040, 0xA730, true);
    for (int i = 0; i < 9; ++i) {
        w.BeginItem(i % 2 == 0);
        for (int k = 0; k <= i; ++k) w.Element(0x0040, static_cast<uint16_t>(0xA010 + k), "CS", std::string("AB"));
        w.EndItem();
    }
    w.EndSequence().Filler();
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    const CDicomTag* sequence = file.FindElement(0x0040, 0xA730);
    ASSERT_EQ(sequence->GetChildren().size(), 9u);
    EXPECT_EQ(sequence->GetChildren().capacity(), 9u);
    for (size_t i = 0; i < 9; ++i) {
        const CDicomTag* item = sequence->GetChildren()[i];
        EXPECT_EQ(item->GetParent(), sequence);
        ASSERT_EQ(item->GetChildren().size(), i + 1);
        EXPECT_EQ(item->GetChildren().capacity(), i + 1);
        for (size_t k = 0; k <= i; ++k) {
            EXPECT_EQ(item->GetChildren()[k]->GetElement(), 0xA010 + k);
            EXPECT_EQ(item->GetChildren()[k]->GetParent(), item);
        }
    }
}

TEST(ChildLists, ReadLikeAVectorAndGrowWhereverTheyStarted) {
    CNodeStore store;
    CDicomTag* parent = store.NewTag(0x0040, 0xA730);
    std::vector<CDicomTag*> made;
    for (int i = 0; i < 3; ++i) made.push_back(store.NewTag(0xFFFE, 0xE000));
    store.AddChildren(parent, made.data(), made.size());
    const CDicomTagList& children = parent->GetChildren();
    ASSERT_EQ(children.size(), 3u);
    EXPECT_EQ(children.capacity(), 3u);
    EXPECT_EQ(children.front(), made[0]);
    EXPECT_EQ(children.back(), made[2]);
    EXPECT_EQ(children.at(1), made[1]);
    EXPECT_THROW(children.at(3), std::out_of_range);
    const std::vector<CDicomTag*> copy = children;
    EXPECT_EQ(copy, made);
    for (CDicomTag* child : children) EXPECT_EQ(child->GetParent(), parent);

    // Appending to a list kept in the store moves it to a block of the node's own, in order.
    for (int i = 0; i < 40; ++i) {
        made.push_back(i % 2 == 0 ? store.NewTag(0xFFFE, 0xE000) : new CDicomTag(0xFFFE, 0xE000));
        parent->AddChild(made.back());
    }
    ASSERT_EQ(children.size(), made.size());
    EXPECT_GE(children.capacity(), made.size());
    EXPECT_TRUE(std::equal(children.begin(), children.end(), made.begin()));
    EXPECT_EQ(made.back()->GetParent(), parent);
}  // the store deletes the children made with new along with their parent (checked by sanitizers)

TEST(ChildLists, LongListsAndListsOfNodesMadeWithNew) {
    CNodeStore store;
    CDicomTag* parent = store.NewTag(0x0040, 0xA730);
    std::vector<CDicomTag*> made;
    for (size_t i = 0; i < CNodeStore::kLargestValue / sizeof(CDicomTag*) + 1; ++i) made.push_back(store.NewTag(0xFFFE, 0xE000));
    store.AddChildren(parent, made.data(), made.size());  // too long for the store: a block of its own
    EXPECT_TRUE(std::equal(parent->GetChildren().begin(), parent->GetChildren().end(), made.begin(), made.end()));
    EXPECT_EQ(parent->GetChildren().capacity(), made.size());

    CountedTag::alive = 0;
    CDicomTag owner(0x0008, 0x1140);
    CDicomTag* heapChildren[2] = {new CountedTag(), new CountedTag()};
    owner.AddChildren(heapChildren, 2);
    owner.AddChildren(heapChildren, 0);
    EXPECT_EQ(owner.GetChildren().size(), 2u);
    CDicomTag empty(0x0008, 0x1140);
    EXPECT_TRUE(empty.GetChildren().empty());
    EXPECT_EQ(empty.GetChildren().begin(), empty.GetChildren().end());
    EXPECT_TRUE(static_cast<std::vector<CDicomTag*>>(empty.GetChildren()).empty());
}

TEST(BorrowedValues, AreNeverFreedAndGetABlockOfTheirOwnWhenResized) {
    uint8_t kept[4] = {'a', 'b', 'c', 'd'};
    {
        CTagData data;
        data.Borrow(kept, 3);
        data.SetShortLength(3);
        EXPECT_EQ(data.GetBytes(), kept);
        EXPECT_EQ(data.GetByteCount(), 3u);
        ASSERT_TRUE(data.PadToEven(' '));
        EXPECT_NE(data.GetBytes(), kept);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.GetBytes()), 4), "abc ");
        EXPECT_EQ(data.GetShortLength(), 4u);
        EXPECT_EQ(kept[3], 'd');  // the borrowed bytes are left as they were
    }  // the copy is freed, the borrowed bytes are not (a sanitizer build would say so)
    {
        CTagData data;
        data.Borrow(kept, 4);
        data.FreeBytes();
        EXPECT_EQ(data.GetBytes(), nullptr);
        data.Borrow(kept, 4);
        data.Reset();
        data.Borrow(kept, 2);
        ASSERT_TRUE(data.Resize(6));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.GetBytes()), 6), std::string("ab\0\0\0\0", 6));
        data.Adopt(nullptr, 0);
        EXPECT_EQ(data.GetByteCount(), 0u);
    }
    CDicomTag tag(0x0008, 0x0018);  // UI
    uint8_t uid[5] = {'1', '.', '2', ',', '3'};
    ASSERT_TRUE(tag.BorrowValue(uid, 5));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(tag.Data().GetBytes()), 6), std::string("1.203\0", 6));
    EXPECT_FALSE(tag.BorrowValue(nullptr, 2));
    EXPECT_FALSE(tag.BorrowValue(uid, 0));
}
