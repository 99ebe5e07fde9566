#include "tests/hostile/AllocationCounter.h"

#if ORVEL_COUNT_ALLOCATIONS

#include <atomic>
#include <cstdlib>
#include <new>

#ifdef _WIN32
#include <malloc.h>
#define ORVEL_BLOCK_SIZE(p) _msize(p)
#else
#include <malloc.h>
#define ORVEL_BLOCK_SIZE(p) malloc_usable_size(p)
#endif

// The real functions, reached through the linker's --wrap names.
extern "C" {
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __real_realloc(void* block, size_t size);
void __real_free(void* block);
}

namespace {

// Block sizes are what the allocator really handed out (its usable size), so a block freed
// by code that was not counted subtracts what it really held.
std::atomic<int64_t> g_inUse{0};
std::atomic<int64_t> g_start{0};
std::atomic<int64_t> g_peak{0};
std::atomic<uint64_t> g_largest{0};

void Taken(void* block, size_t asked) {
    if (block == nullptr) return;
    const int64_t now = g_inUse.fetch_add(static_cast<int64_t>(ORVEL_BLOCK_SIZE(block))) +
                        static_cast<int64_t>(ORVEL_BLOCK_SIZE(block));
    int64_t peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
    uint64_t largest = g_largest.load();
    while (asked > largest && !g_largest.compare_exchange_weak(largest, asked)) {
    }
}

void Given(void* block) {
    if (block != nullptr) g_inUse.fetch_sub(static_cast<int64_t>(ORVEL_BLOCK_SIZE(block)));
}

}  // namespace

extern "C" {
void* __wrap_malloc(size_t size) {
    void* block = __real_malloc(size);
    Taken(block, size);
    return block;
}
void* __wrap_calloc(size_t count, size_t size) {
    void* block = __real_calloc(count, size);
    Taken(block, count * size);
    return block;
}
void* __wrap_realloc(void* block, size_t size) {
    const int64_t before = block != nullptr ? static_cast<int64_t>(ORVEL_BLOCK_SIZE(block)) : 0;
    void* moved = __real_realloc(block, size);
    if (moved == nullptr) return nullptr;  // the old block stays as it was
    g_inUse.fetch_sub(before);
    Taken(moved, size);
    return moved;
}
void __wrap_free(void* block) {
    Given(block);
    __real_free(block);
}
}

void* operator new(size_t size) {
    void* block = __wrap_malloc(size == 0 ? 1 : size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return __wrap_malloc(size == 0 ? 1 : size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return __wrap_malloc(size == 0 ? 1 : size); }
void operator delete(void* block) noexcept { __wrap_free(block); }
void operator delete[](void* block) noexcept { __wrap_free(block); }
void operator delete(void* block, size_t) noexcept { __wrap_free(block); }
void operator delete[](void* block, size_t) noexcept { __wrap_free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { __wrap_free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { __wrap_free(block); }

namespace allocation {

bool Counting() { return true; }

void StartMeasuring() {
    g_start = g_inUse.load();
    g_peak = g_start.load();
    g_largest = 0;
}

uint64_t PeakSinceStart() {
    const int64_t above = g_peak.load() - g_start.load();
    return above > 0 ? static_cast<uint64_t>(above) : 0;
}

uint64_t LargestBlockSinceStart() { return g_largest.load(); }

}  // namespace allocation

#else

namespace allocation {
bool Counting() { return false; }
void StartMeasuring() {}
uint64_t PeakSinceStart() { return 0; }
uint64_t LargestBlockSinceStart() { return 0; }
}  // namespace allocation

#endif
