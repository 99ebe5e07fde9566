#include "dicom/NodeStore.h"

#include <new>

#include "dicom/DicomTag.h"

namespace {

constexpr size_t kSlot = sizeof(CDicomTag);
static_assert(kSlot % alignof(CDicomTag) == 0, "slots one after another stay aligned");
static_assert(CNodeStore::kSmallestChunk >= 4 * kSlot && CNodeStore::kLargestValue <= CNodeStore::kSmallestChunk / 2,
              "a fresh chunk holds any one node or value");

}  // namespace

void CNodeStore::LimitChunksFor(uint64_t fileSize) {
    size_t limit = kSmallestChunk;
    while (limit < kLargestChunk && uint64_t(limit) < fileSize) limit *= 2;
    m_chunkLimit = limit;
}

CNodeStore::Chunk& CNodeStore::Grow(size_t needed) {
    size_t size = m_nextChunkSize < m_chunkLimit ? m_nextChunkSize : m_chunkLimit;
    while (size < needed) size *= 2;
    m_chunks.reserve(m_chunks.size() + 1);  // before the block, so that it cannot be lost
    LargeBlock block;
    if (!block.Allocate(size)) throw std::bad_alloc();
    uint8_t* data = block.Data();
    m_chunks.push_back(Chunk{std::move(block), data, data + size});
    if (m_nextChunkSize < kLargestChunk) m_nextChunkSize *= 2;
    return m_chunks.back();
}

CDicomTag* CNodeStore::NewTag(uint16_t group, uint16_t element) {
    Chunk* chunk = m_chunks.empty() || m_chunks.back().Free() < kSlot ? &Grow(kSlot) : &m_chunks.back();
    // The slot counts as used only once the node is built, so a constructor that throws leaves
    // nothing half made for Release to destroy.
    CDicomTag* tag = new (chunk->nodesEnd) CDicomTag(group, element);
    tag->m_inNodeStore = true;
    chunk->nodesEnd += kSlot;
    ++m_nodeCount;
    return tag;
}

uint8_t* CNodeStore::NewBytes(size_t count) {
    if (count == 0 || count > kLargestValue) return nullptr;
    Chunk* chunk = m_chunks.empty() || m_chunks.back().Free() < count ? &Grow(count) : &m_chunks.back();
    chunk->bytesBegin -= count;
    return chunk->bytesBegin;
}

void CNodeStore::Release() {
    for (Chunk& chunk : m_chunks)
        for (uint8_t* slot = chunk.block.Data(); slot < chunk.nodesEnd; slot += kSlot)
            reinterpret_cast<CDicomTag*>(slot)->~CDicomTag();
    m_chunks.clear();
    m_nextChunkSize = kSmallestChunk;
    m_nodeCount = 0;
}

size_t CNodeStore::GetReservedBytes() const {
    size_t total = 0;
    for (const Chunk& chunk : m_chunks) total += chunk.block.Size();
    return total;
}
