#include "dicom/io/LargeBlock.h"

#include <cstdlib>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

LargeBlock::LargeBlock(LargeBlock&& other) noexcept { *this = std::move(other); }

LargeBlock& LargeBlock::operator=(LargeBlock&& other) noexcept {
    if (this != &other) {
        Free();
        m_block = std::exchange(other.m_block, nullptr);
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

void LargeBlock::Free() {
    std::free(m_block);
    m_block = nullptr;
    m_data = nullptr;
    m_size = 0;
}

bool LargeBlock::Allocate(size_t size) {
    Free();
    if (size == 0) return false;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (size >= kHugePageSize) {
        // Whole huge pages from an aligned start, all inside the block.
        const size_t pages = size / kHugePageSize + (size % kHugePageSize != 0 ? 1 : 0);
        if (pages <= (SIZE_MAX - kHugePageSize) / kHugePageSize) {
            const size_t span = pages * kHugePageSize;
            void* block = std::malloc(span + kHugePageSize);
            if (block == nullptr) return false;
            const uintptr_t address = reinterpret_cast<uintptr_t>(block);
            const uintptr_t aligned = (address + kHugePageSize - 1) & ~uintptr_t(kHugePageSize - 1);
            // Only advice: where the system says no, the block works all the same.
            madvise(reinterpret_cast<void*>(aligned), span, MADV_HUGEPAGE);
            m_block = block;
            m_data = reinterpret_cast<uint8_t*>(aligned);
            m_size = size;
            return true;
        }
    }
#endif
    m_block = std::malloc(size);
    if (m_block == nullptr) return false;
    m_data = static_cast<uint8_t*>(m_block);
    m_size = size;
    return true;
}
