// Heap blocks for bulk storage: the chunks of a file's node store and native frames.
#pragma once

#include <cstddef>
#include <cstdint>

// One block from malloc (so heap accounting sees it). A block of kHugePageSize bytes or more is
// over-allocated by kHugePageSize and its data starts on a kHugePageSize boundary; on Linux that
// part is advised for transparent huge pages, so the kernel maps it 2 MiB at a time instead of
// taking one page fault per 4 KiB (a 500 MiB block: 250 faults instead of 128,000). Elsewhere,
// and for smaller blocks, it is a plain block.
class LargeBlock {
public:
    static constexpr size_t kHugePageSize = size_t(2) << 20;

    LargeBlock() = default;
    LargeBlock(const LargeBlock&) = delete;
    LargeBlock& operator=(const LargeBlock&) = delete;
    LargeBlock(LargeBlock&& other) noexcept;
    LargeBlock& operator=(LargeBlock&& other) noexcept;
    ~LargeBlock() { Free(); }

    // Frees the old block and allocates `size` bytes (contents undefined); false when memory runs
    // out or size is 0, leaving no block.
    bool Allocate(size_t size);
    void Free();

    uint8_t* Data() const { return m_data; }
    size_t Size() const { return m_size; }

private:
    void* m_block = nullptr;   // what malloc returned
    uint8_t* m_data = nullptr; // the usable bytes, inside m_block
    size_t m_size = 0;
};
