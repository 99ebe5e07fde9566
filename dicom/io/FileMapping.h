// A whole file mapped read-only into memory. Its pages are read when first touched and the
// system can drop them again, so looking at a few headers of a multi-gigabyte file costs what
// is looked at, not the file's size.
#pragma once

#include <cstdint>
#include <string>

class FileMapping {
public:
    FileMapping() = default;
    FileMapping(const FileMapping&) = delete;
    FileMapping& operator=(const FileMapping&) = delete;
    ~FileMapping() { Close(); }

    // Maps the file; false when it cannot be opened or mapped (an empty file, a file larger than
    // the address space can hold), leaving nothing mapped.
    bool Open(const std::wstring& path);
    void Close();

    const uint8_t* Data() const { return m_data; }
    uint64_t Size() const { return m_size; }

    // A file cut short while it is mapped leaves the pages past its new end unreadable, and
    // touching one would kill the program with a bus error. Once this is called, touching such a
    // page of a mapping writes `message` to standard error and ends the program with `status`
    // instead. Other faults are left as they were. (Windows does not let a mapped file be cut;
    // there this does nothing.)
    static void ExitWhenCutShort(const char* message, int status);

private:
    const uint8_t* m_data = nullptr;
    uint64_t m_size = 0;
};
