// A file's bytes read again after its parse, for the modes that look at bytes as stored
// (--check, the padding of --diff).
#pragma once

#include <cstdint>
#include <string>

#include "dicom/LargeBlock.h"

// Reads the whole file into `bytes`; false with the reason when it cannot be opened or read,
// when memory runs out, or when its size is no longer `expectedSize` (negative: any size).
// `purpose` ends the reasons ("checking": "... the file's bytes for checking").
bool ReadFileBytes(const std::wstring& path, int64_t expectedSize, const char* purpose, LargeBlock& bytes,
                   uint64_t& size, std::string& error);
