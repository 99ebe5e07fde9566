#include "dicom/model/NodeStore.h"

#include <cstring>
#include <new>
#include <utility>

#include "dicom/model/DicomTag.h"

namespace {

constexpr size_t kSlot = sizeof(CDicomTag);
static_assert(kSlot % alignof(CDicomTag) == 0, "slots one after another stay aligned");
static_assert(CNodeStore::kSmallestChunk >= 4 * kSlot && CNodeStore::kLargestValue <= CNodeStore::kSmallestChunk / 2,
              "a fresh chunk holds any one node or value");

}  // namespace

void CNodeStore::PlanFor(uint64_t fileSize) {
    size_t first = kSmallestChunk;
    while (first < LargeBlock::kHugePageSize && uint64_t(first) * 4 < fileSize) first *= 2;
    size_t limit = kSmallestChunk;
    while (limit < kLargestChunk && uint64_t(limit) < fileSize) limit *= 2;
    m_firstChunkSize = first;
    m_chunkLimit = limit;
    if (m_chunks.empty()) m_nextChunkSize = first;
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

uint8_t* CNodeStore::TakeFromBack(size_t count, size_t alignment) {
    auto start = [count, alignment](const Chunk& chunk) -> uint8_t* {
        if (chunk.Free() < count) return nullptr;
        const size_t slack = static_cast<size_t>(reinterpret_cast<uintptr_t>(chunk.bytesBegin - count) & (alignment - 1));
        return chunk.Free() - count >= slack ? chunk.bytesBegin - count - slack : nullptr;
    };
    uint8_t* bytes = m_chunks.empty() ? nullptr : start(m_chunks.back());
    if (bytes == nullptr) bytes = start(Grow(count + alignment));
    m_chunks.back().bytesBegin = bytes;
    return bytes;
}

uint8_t* CNodeStore::NewBytes(size_t count) {
    if (count == 0 || count > kLargestValue) return nullptr;
    return TakeFromBack(count, 1);
}

void CNodeStore::AddChildren(CDicomTag* parent, CDicomTag* const* children, size_t count) {
    const size_t bytes = count * sizeof(CDicomTag*);
    if (count == 0 || !parent->m_children.empty() || bytes > kLargestValue) {
        parent->AddChildren(children, count);
        return;
    }
    CDicomTag** items = reinterpret_cast<CDicomTag**>(TakeFromBack(bytes, alignof(CDicomTag*)));
    std::memcpy(items, children, bytes);
    parent->m_children.Borrow(items, count);
    parent->TakeChildren(children, count);
}

void CNodeStore::Keep(LargeBlock block) {
    m_kept.push_back(std::move(block));
}

void CNodeStore::Release() {
    for (Chunk& chunk : m_chunks)
        for (uint8_t* slot = chunk.block.Data(); slot < chunk.nodesEnd; slot += kSlot)
            reinterpret_cast<CDicomTag*>(slot)->~CDicomTag();
    m_chunks.clear();
    m_kept.clear();
    m_nextChunkSize = m_firstChunkSize;
    m_nodeCount = 0;
}

void CNodeStore::Swap(CNodeStore& other) noexcept {
    m_chunks.swap(other.m_chunks);
    m_kept.swap(other.m_kept);
    std::swap(m_firstChunkSize, other.m_firstChunkSize);
    std::swap(m_nextChunkSize, other.m_nextChunkSize);
    std::swap(m_chunkLimit, other.m_chunkLimit);
    std::swap(m_nodeCount, other.m_nodeCount);
}

size_t CNodeStore::GetReservedBytes() const {
    size_t total = 0;
    for (const Chunk& chunk : m_chunks) total += chunk.block.Size();
    for (const LargeBlock& block : m_kept) total += block.Size();
    return total;
}
