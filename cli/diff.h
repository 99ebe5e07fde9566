// orveldump --diff A B: the structural difference of two files, readable or as JSON.
#pragma once

#include <string>
#include <vector>

#include "dicom/analysis/TreeDiff.h"

struct Arguments;

// Exit status: 0 when the files agree, 3 when they differ, 1 when either is refused or cannot
// be read (the diff then covers what was read).
int RunDiff(const Arguments& arguments);

// One file of a diff as printed: its name, whether it loaded and what the diff was given of it.
struct DiffSide {
    std::string path;
    bool loaded = false;
    DiffInput input;
};

// The differences as printed: the readable listing, or the JSON object with its newline; with
// `redact`, values and file aspects as --redact shows them.
std::string DiffText(const DiffSide& a, const DiffSide& b, const std::vector<TreeDifference>& differences, bool json,
                     bool redact);
