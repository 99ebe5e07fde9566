#include "dicom/dictionary/UidDictionary.h"

#include <algorithm>
#include <cstring>

const char* UidName(const std::string& uid) {
    const UidRecord* end = kUidTable + kUidTableSize;
    const UidRecord* found = std::lower_bound(kUidTable, end, uid, [](const UidRecord& record, const std::string& key) {
        return std::strcmp(record.uid, key.c_str()) < 0;
    });
    return found != end && uid == found->uid ? found->name : nullptr;
}
