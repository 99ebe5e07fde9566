// Encoding checks: what a parsed file does that the standard does not allow (odd lengths, VRs
// the dictionary does not list, over-long or malformed values, wrong padding, group lengths,
// tag order, private creators, character sets, pixel data and offset tables, the meta group),
// each tied to the element and byte offset concerned.
//
// The checks walk a tree of top-level nodes (whole or partial) together with the file's bytes
// as they are stored: values are read from those bytes, never from the copies the parser keeps
// (which are padded, resized, byte-swapped and cleaned). Nothing outside the bytes given is
// read, whatever offsets a node claims. Checking changes nothing and decides nothing about
// whether a file is accepted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dicom/model/PathStep.h"

class CDicomTag;
class CDicomHeader;
class CTagArray;

enum class CheckSeverity : uint8_t {
    Info,     // worth knowing, allowed
    Warning,  // forbidden, but readers usually cope
    Error,    // readers may misread the file
};

// "info", "warning" or "error".
const char* SeverityName(CheckSeverity severity);

// One step from the top level down to an element.
using CheckPathStep = PathStep;

struct CheckProblem {
    const char* rule;               // a fixed id such as "odd-length"
    CheckSeverity severity;
    uint64_t offset;                // tag offset of the element concerned (see CheckWalker.cpp)
    std::vector<CheckPathStep> path;  // down to that element; empty for the file as a whole
    std::string message;            // one sentence, printable ASCII
    const CDicomTag* element;       // the node concerned, or null for the file as a whole
    // Set where the element is no node of the tree checked (an element after the top-level
    // pixel data, which the load keeps unparsed): it holds that node for as long as the problem
    // lives. Null for nodes of the tree.
    std::shared_ptr<const void> outsideTree = nullptr;
    // Other elements whose values the message quotes (as bytes or as numbers read from them).
    std::vector<const CDicomTag*> quoted;
};

// What the checks are given: the top-level nodes, the file's bytes and what the parse found out
// about the file as a whole.
struct CheckInput {
    const CDicomTag* const* elements = nullptr;
    size_t elementCount = 0;
    const uint8_t* bytes = nullptr;
    uint64_t size = 0;
    bool hasPreamble = false;
    // Encoding of the data set as the parse ended; each element's own header decides where it
    // can, this is the fallback.
    bool explicitVR = true;
    bool littleEndian = true;
    // Bytes after the top-level pixel data that the parser did not read. The checks read the
    // well-formed top-level elements among them (ascending tags, defined lengths that fit) and
    // check them like any other; the rest counts as trailing bytes.
    uint64_t trailingSize = 0;
    // The elements are a refused file's partial tree: the last element of each data set may be
    // where the parse stopped, so what follows it is unknown, and incomplete containers lack
    // children. Rules that count what a group or container holds skip what may have been cut.
    bool partial = false;
    // The data set after the meta group is deflate-compressed: its bytes are no elements, so only
    // the meta group is checked.
    bool deflated = false;
};

// Whether the elements declare a deflated transfer syntax.
bool IsDeflated(const CTagArray& elements);

// The input for a loaded file and its bytes.
CheckInput CheckInputOf(const CDicomHeader& file, const uint8_t* bytes, uint64_t size);

// Every problem found, in file order (by offset; problems at one offset in the order found).
std::vector<CheckProblem> CheckFile(const CheckInput& input);
