// orveldump over many files: the paths collected (walked with -r, read from --files-from), each
// file run (in -j processes), the progress line, the summary, Ctrl-C; and --merge-summaries.
#pragma once

#include <functional>

#include "cli/arguments.h"
#include "cli/summary.h"
#include "cli/walk.h"

// Runs `one` over every file the arguments name; the exit status: 0, 1 when a file was refused or
// could not be read, 3 when `one` found serious problems in loaded files only, 130 when
// interrupted.
int RunArchive(const Arguments& arguments, const std::function<FileRecord(const FileEntry&)>& one);

// --merge-summaries: the summaries in the files named added into one. 0, or 1 when one of them
// cannot be read.
int MergeSummaries(const Arguments& arguments);
