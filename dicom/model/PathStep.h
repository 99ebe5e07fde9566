// One step of a path from the top level down to an element, as failure records, check
// problems and differences name the element they are about.
#pragma once

#include <cstdint>

// A node's position among its parent's children (or among the top-level elements), 0-based,
// and its tag.
struct PathStep {
    uint32_t index;
    uint16_t group;
    uint16_t element;
};
