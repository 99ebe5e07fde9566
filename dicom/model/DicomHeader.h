// One parsed file: the element tree, how the file was encoded, and where and why a refused
// file was refused.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "dicom/model/ParseFailure.h"
#include "dicom/model/TagArray.h"
#include "dicom/model/Ultrasound.h"

// The encoding flags of the first top-level (0002,0010) among the meta elements of a data set;
// unchanged when it has none. A (0002,0010) whose value cannot be read sets little endian and
// the search goes on.
void EncodingOfMeta(const CTagArray& dataSet, bool& explicitVR, bool& littleEndian);

// Nesting of sequences deeper than this is refused; real files stay far below it.
constexpr int kMaxSequenceDepth = 64;
// Files of this size or more are refused before parsing, unless the parse options say otherwise.
constexpr int64_t kMaxFileSize = 0x80000000LL;
// A parse that keeps its file leaves values longer than this in it (see ParseOptions).
constexpr uint64_t kDeferValuesAbove = 1024;
// Native frames are read into blocks of at most this many bytes (a larger frame gets its own).
constexpr uint64_t kFrameBlockSize = uint64_t(64) << 20;
// Top-level encapsulated pixel data with at least this many bytes left in the file has its
// fragments read into one block (smaller ones get a block per fragment).
constexpr uint64_t kFragmentBlockMinimum = uint64_t(8) << 20;

// Sizes a parse works with, as options so that tests can make them small, and whether a
// refused parse keeps its partial tree.
struct ParseOptions {
    uint64_t frameBlockSize = kFrameBlockSize;
    uint64_t fragmentBlockMinimum = kFragmentBlockMinimum;
    // The partial tree of a refused file (ParseFailure::tree); off for the viewer, which only
    // says that the file is refused.
    bool keepPartialTree = false;
    // Where the parse keeps its file (ParseFile, ParseOwnedStream): values longer than this many
    // bytes and every fragment of the top-level pixel data are left in the file and read from it
    // when something needs their bytes; native frames and trailing data are only measured. 0
    // holds every value in memory, as a parse of a stream the caller keeps always does.
    uint64_t deferValuesAbove = kDeferValuesAbove;
    // Files of this many bytes or more are refused before parsing.
    int64_t maxFileSize = kMaxFileSize;
};

// How a file is encoded: whether it has the 128-byte preamble and "DICM", and how its data set
// is encoded. The reader finds these and hands them to the file object whole.
struct FileEncoding {
    bool hasPreamble = false;
    bool explicitVR = true;
    bool littleEndian = true;
};

// The result of parsing one file and how it was encoded. The parse itself is done by a
// CDicomReader that exists for that one parse (read/DicomReader.h, which also defines the
// parse entry points); this object keeps what it found.
class CDicomHeader : public CTagArray {
public:
    CDicomHeader();
    ~CDicomHeader() override;

    // Deletes the tree and the trailing data and restores the default flags.
    // The failure record of the last parse stays until the next parse starts.
    void Reset();

    // Opens the path and parses it; false (and an empty object) on any failure.
    bool ParseFile(const std::wstring& path);
    // Parses an open stream from its start; every value is read into memory, so the caller may
    // close the stream when this returns.
    bool ParseStream(FILE* stream);
    // Parses an open stream from its start and takes it over: it is closed when the parse ends,
    // or, when values were left in the file, when the tree (or the failure record's partial tree)
    // is released.
    bool ParseOwnedStream(FILE* stream);

    void SetParseOptions(const ParseOptions& options) { m_options = options; }
    const ParseOptions& GetParseOptions() const { return m_options; }
    // Where and why the last parse refused the file; null after a parse that succeeded.
    const ParseFailure* GetFailure() const { return m_failure.get(); }

    bool IsUncompressed() const { return IsUncompressedIn(m_littleEndian != 0); }
    // The same for a data set of the given byte order.
    bool IsUncompressedIn(bool littleEndian) const;

    // What the reader found: how the file is encoded, and the bytes after the pixel data (null
    // when they were left in the file; size counts them all the same).
    void SetEncoding(const FileEncoding& encoding);
    void SetTrailingData(std::unique_ptr<uint8_t[]> data, uint64_t size) {
        m_trailingData = std::move(data);
        m_trailingSize = size;
    }

    // Bytes the element occupies, header included, by the encoding rules (not by the positions
    // recorded while parsing); may rewrite the lengths of defined-length items it measures.
    uint64_t GetEncodedSize(CDicomTag* tag) { return MeasureEncoded(tag, m_explicitVR != 0); }

    void BuildUltrasoundRegions();

    // State
    bool HasPreamble() const { return m_hasPreamble != 0; }
    bool IsExplicitVR() const { return m_explicitVR != 0; }
    bool IsLittleEndian() const { return m_littleEndian != 0; }
    int64_t GetFileSize() const { return m_fileSize; }
    // The bytes after the top-level pixel data; null when there are none or when they were left
    // in the file (GetTrailingSize still counts them).
    const uint8_t* GetTrailingData() const { return m_trailingData.get(); }
    uint64_t GetTrailingSize() const { return m_trailingSize; }
    const std::vector<std::unique_ptr<UltrasoundRegion>>& GetUltrasoundRegions() const { return m_ultrasoundRegions; }

private:
    uint64_t MeasureEncoded(CDicomTag* tag, bool explicitVR);
    uint64_t MeasureItem(CDicomTag* item, bool explicitVR);
    // Empties the object and keeps a failure record for a file refused before its data set was
    // read, with the system's reason for the error number when it is not 0; false. (The reason is
    // a plain text so that nothing between the failed call and this one can change errno.)
    bool RefuseBefore(const char* reason, int error = 0);
    // Keeps a failure record for a file refused after its data set was read whole (no single
    // place to blame): the tree goes into the record when the options ask for it.
    void RefuseWhole(const std::string& reason);
    // The parse of both: `owner` is null for a stream the caller keeps, else it points at the
    // caller's handle of the stream, which is cleared when the value source takes the stream.
    // `fresh` says the stream was just opened here, so it stands at its start already.
    bool Parse(FILE* stream, FILE** owner, bool fresh = false);

    uint8_t m_hasPreamble = 0;
    uint8_t m_explicitVR = 1;
    uint8_t m_littleEndian = 1;
    int64_t m_fileSize = 0;
    std::unique_ptr<uint8_t[]> m_trailingData;
    uint64_t m_trailingSize = 0;
    std::vector<std::unique_ptr<UltrasoundRegion>> m_ultrasoundRegions;
    ParseOptions m_options;
    std::unique_ptr<ParseFailure> m_failure;
};
