// Opening and positioning the buffered C stream the parser reads, with 64-bit offsets and wide
// paths on every platform.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Opens the file for binary reading, sharing it with other readers and writers; null on failure.
FILE* OpenFileForReading(const std::wstring& path);
// Absolute seek; true on success.
bool SeekStream(FILE* stream, uint64_t offset);
// Size of the stream; -1 on failure, with errno saying why (EISDIR for a directory). The
// position is unspecified afterwards (seek before reading) unless `moved` is given and comes back
// false: then the position is where it was.
int64_t StreamSize(FILE* stream, bool* moved = nullptr);
