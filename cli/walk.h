// The files of a run: paths as given, directories walked with -r (sorted by name, symbolic links
// followed only with --follow, loops found), paths read from a list (--files-from), and the
// system's reason when a path cannot be read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct FileEntry {
    std::string path;     // as given, or the directory's path, "/" and the name
    std::string ioError;  // the system's reason the path cannot be read; empty when it can be
    uint64_t size = 0;    // bytes as the walk saw them (0 where not known)
};

struct WalkOptions {
    bool recursive = false;  // -r: walk directories
    bool follow = false;     // --follow: follow symbolic links met in the walk
    bool sizes = true;       // learn each file's size (one more system call a file in a walk)
};

// Every file the paths name, in order: a directory's files by name, depth first.
void CollectFiles(const std::vector<std::string>& paths, const WalkOptions& options, std::vector<FileEntry>& files);

// The paths of a list, one a line or (nul) NUL-separated; empty entries are skipped. False with
// the reason when the list cannot be read.
bool ReadPathList(std::FILE* in, bool nul, std::vector<std::string>& paths, std::string& error);

// Empty when `path` can be opened for reading now, else the system's reason (a directory:
// "Is a directory").
std::string OpenError(const std::string& path);
