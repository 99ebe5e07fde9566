// -j: files read by several worker processes at once, their output printed in input order, byte
// for byte what one process prints. Each worker parses one file at a time (the parse core is
// single-threaded) and sends the file's output and record down a pipe of its own; the pipe's
// capacity is what a worker may run ahead, so memory stays bounded however long the run.
#pragma once

#include <functional>
#include <vector>

#include "cli/summary.h"
#include "cli/walk.h"

// Runs `one` over every file (in `jobs` processes where the system has them, else here) and
// gives each file's record to `done` in input order, once its output is printed. False when the
// run was interrupted (Ctrl-C) before the end.
bool RunJobs(const std::vector<FileEntry>& files, unsigned jobs, const std::function<FileRecord(const FileEntry&)>& one,
             const std::function<void(const FileRecord&)>& done);

// The number of cores (the default of -j).
unsigned DefaultJobs();

// From here on, with `finishFile`, Ctrl-C ends the run after the file being printed (so that the
// summary of what was done can follow) instead of ending the program at once; a closed output
// pipe is noticed at the next write instead of ending the program.
void CatchInterrupt(bool finishFile);
bool Interrupted();
