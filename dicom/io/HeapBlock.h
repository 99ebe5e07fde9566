// Owners of plain heap blocks (malloc'ed), for the values and tables that are copied or resized
// with the C allocation functions.
#pragma once

#include <cstdlib>
#include <memory>

struct FreeDeleter {
    void operator()(void* block) const { std::free(block); }
};

// One malloc'ed block of T (or an array of T), freed with free().
template <typename T>
using HeapBlock = std::unique_ptr<T, FreeDeleter>;
template <typename T>
using HeapArray = std::unique_ptr<T[], FreeDeleter>;
