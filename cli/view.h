// What a dump shows of a tree: every value or the redacted ones, every node or those a tag
// filter keeps.
#pragma once

class ShownNodes;

struct DumpView {
    bool redact = false;
    // Null: every node.
    const ShownNodes* shown = nullptr;
};
