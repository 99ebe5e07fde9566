// Names of the UIDs a file names for what it holds and how: SOP classes and transfer syntaxes.
#pragma once

#include <cstddef>
#include <string>

struct UidRecord {
    const char* uid;
    const char* name;
};

// The generated table (uid_table.cpp), sorted by UID text.
extern const UidRecord kUidTable[];
extern const size_t kUidTableSize;

// The registry's name of `uid` ("CT Image Storage", "Explicit VR Little Endian"); null for a UID
// it does not name (a private SOP class, a typing error).
const char* UidName(const std::string& uid);
