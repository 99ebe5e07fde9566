// Where the nodes of one parsed file and their small values live: a few large chunks instead of
// one heap block per node and another per value.
//
// Nodes fill a chunk from its front, in fixed-size slots, and value bytes and the arrays of
// short child lists fill it from its back; a chunk is full when the two meet. Each chunk is
// twice the size of the one before, up to kLargestChunk, so a store never holds more than its
// first chunk plus twice what it uses, and a large tree gets large chunks, which from
// LargeBlock::kHugePageSize on are huge-page blocks. Releasing the store destroys its nodes in the order they were made (so
// a parent still finds its children when it looks at them) and frees the chunks: a few frees
// instead of two per element.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "dicom/io/LargeBlock.h"

class CDicomTag;

class CNodeStore {
public:
    // Values longer than this get a heap block of their own instead; so an element never takes
    // more than its node and this many bytes of the store.
    static constexpr size_t kLargestValue = 256;
    static constexpr size_t kSmallestChunk = size_t(16) << 10;
    static constexpr size_t kLargestChunk = size_t(8) << 20;

    CNodeStore() = default;
    CNodeStore(const CNodeStore&) = delete;
    CNodeStore& operator=(const CNodeStore&) = delete;
    ~CNodeStore() { Release(); }

    // Sizes the chunks for a file of this size. The first is a quarter of the file, rounded up to
    // a power of two, within kSmallestChunk and one huge page: a large file starts on huge pages
    // at once, a small one costs little. No chunk is larger than the file rounded up to a power
    // of two (nor smaller than kSmallestChunk), so that no single block a parse takes outgrows
    // twice the file it reads.
    void PlanFor(uint64_t fileSize);

    // A node constructed as CDicomTag(group, element), owned by the store. Throws bad_alloc.
    CDicomTag* NewTag(uint16_t group, uint16_t element);
    // Room for count (1 to kLargestValue) value bytes that stay until Release; null for other
    // counts. Throws bad_alloc.
    uint8_t* NewBytes(size_t count);
    // CDicomTag::AddChildren for a parent that does not outlive the store: a first list of up to
    // kLargestValue bytes of pointers is kept in the store instead of a heap block. Throws
    // bad_alloc.
    void AddChildren(CDicomTag* parent, CDicomTag* const* children, size_t count);
    // Keeps a block until Release, for values that borrow from it.
    void Keep(LargeBlock block);
    // Destroys every node made here, in the order they were made, and frees every chunk and
    // every block kept.
    void Release();

    // Exchanges everything two stores hold; their nodes and values stay where they are.
    void Swap(CNodeStore& other) noexcept;

    size_t GetNodeCount() const { return m_nodeCount; }
    // Bytes of all chunks and kept blocks together.
    size_t GetReservedBytes() const;

private:
    struct Chunk {
        LargeBlock block;
        uint8_t* nodesEnd;     // one past the last node slot in use
        uint8_t* bytesBegin;   // first value byte in use
        size_t Free() const { return static_cast<size_t>(bytesBegin - nodesEnd); }
    };
    Chunk& Grow(size_t needed);
    // count bytes from the back of the last chunk, starting at a multiple of alignment.
    uint8_t* TakeFromBack(size_t count, size_t alignment);

    std::vector<Chunk> m_chunks;
    std::vector<LargeBlock> m_kept;
    size_t m_firstChunkSize = kSmallestChunk;
    size_t m_nextChunkSize = kSmallestChunk;
    size_t m_chunkLimit = kLargestChunk;
    size_t m_nodeCount = 0;
};
