// The reader of one parse: recognises the format, reads the meta information and the data set
// of one stream into a CDicomHeader, and when a rule breaks records where and why.
//
// Its pieces:
// - CFileCursor (io/FileCursor.h): the read position over the stream, bounds-checked against the
//   file size, with a read-ahead block for small reads; nothing outside the file is ever read.
// - Encoding: explicit VR and byte order, passed by value to each step that reads a header or
//   a number (the items of an undefined-length UN element are read implicit VR little endian).
// - the element step (ReadElementBody): after a header, dispatches to a plain value
//   (ReadPlainValue, which the meta group uses alone), a sequence, encapsulated fragments or
//   native frames; ReadDataSet and ReadItemContent run it in their loops, ReadSequence and
//   ReadPixelFragments read items (ReadItemHeader) and their contents.
// - the failure record: the containers being read (m_open) give the path; the first failure
//   recorded (the innermost) wins; each container that fails closes as incomplete with the
//   children it had read, so the file object holds the partial tree when the reader gives up.
//
// The core is single-threaded: a reader, its file object and the dictionary are used by one
// thread at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "dicom/io/ByteOrder.h"
#include "dicom/io/FileCursor.h"
#include "dicom/io/ValueSource.h"
#include "dicom/model/DicomHeader.h"
#include "dicom/model/ElementHeader.h"

class CDicomReader {
public:
    // Reads into `file`, which must be empty and know its file size.
    CDicomReader(CDicomHeader& file, FILE* stream);
    CDicomReader(const CDicomReader&) = delete;
    CDicomReader& operator=(const CDicomReader&) = delete;

    // Format recognition, meta group and data set. On false the file object is empty and the
    // failure record (with the partial tree when the options ask for it) is ready to be taken.
    bool ReadPreambleAndMeta();
    std::unique_ptr<ParseFailure> TakeFailure() { return std::move(m_failure); }
    // The stream's read error, if a read inside the file's size came back short (see CFileCursor).
    int ReadError() const { return m_cursor.ReadError(); }

private:
    // A container being read: its step in the path, where its header starts, and where its
    // children begin on m_pending.
    struct Open {
        FailureStep step;
        uint64_t tagOffset;
        size_t firstPending;
    };
    struct OpenGuard {
        CDicomReader& reader;
        OpenGuard(CDicomReader& r, const CDicomTag* container);
        ~OpenGuard() { reader.m_open.pop_back(); }
    };

    // Recognition and meta information
    // Whether the 4 bytes at the position read, in this byte order, as a tag of group and element
    // at most 0028.
    bool ProbeOrder(bool littleEndian);
    bool ProbeByteOrder();
    bool IsPapyrusFile();
    bool ReadMetaGroup();

    // Headers and numbers
    // The tag at the read position; fails (FailNoTag) where the file has no 4 bytes left there.
    bool ReadTag(Encoding encoding, uint16_t& group, uint16_t& element);
    bool ReadUInt32(Encoding encoding, uint32_t& value);
    bool PeekDelimiter(Encoding encoding, uint16_t element);
    bool ReadDelimiterLength(uint16_t element);
    bool ReadVRAndLength(Encoding encoding, CDicomTag* tag);
    // The item header after its tag: the 4-byte length and the offsets.
    CDicomTag* ReadItemHeader(Encoding encoding, CDicomTag* parent, uint64_t tagStart, uint16_t group,
                              uint16_t element);

    // The element step and its branches
    bool ReadElementBody(Encoding encoding, CDicomTag* tag, bool topLevel, ValueBody& body);
    bool ReadPlainValue(Encoding encoding, CDicomTag* tag);
    bool ReadValue(Encoding encoding, CDicomTag* tag);
    bool ReadNativePixelData(Encoding encoding, CDicomTag* tag);
    bool ReadDataSet();
    bool ReadSequence(Encoding encoding, CDicomTag* sequence);
    bool ReadItemContent(Encoding encoding, CDicomTag* item);
    bool ReadPixelFragments(Encoding encoding, CDicomTag* pixel);
    bool ReadTrailingData();

    Encoding DataSetEncoding() const { return Encoding{m_encoding.explicitVR, m_encoding.littleEndian}; }
    void AdoptPending(CDicomTag* parent, size_t first);
    // Ends a container at the read position with its children; true.
    bool CloseComplete(CDicomTag* container, size_t firstPending);
    // Ends a failed container: it takes the children read so far and is marked incomplete; false.
    bool CloseIncomplete(CDicomTag* container, size_t firstPending);

    // Failure records; each returns false. The first one recorded stays.
    uint32_t NextIndex() const;
    bool Fail(uint64_t offset, const std::string& reason);
    bool FailAt(uint64_t offset, uint16_t group, uint16_t element, const std::string& reason);
    bool FailAt(const CDicomTag* tag, const std::string& reason) {
        return FailAt(tag->GetTagOffset(), tag->GetGroup(), tag->GetElement(), reason);
    }
    bool FailNoTag(uint64_t at);
    bool FailHeader(uint64_t tagStart, uint16_t group, uint16_t element);
    bool FailValueLength(const CDicomTag* tag, uint64_t length);
    bool FailNotDicom(uint64_t offset);
    bool FailDelimiter(uint64_t start, uint16_t element);
    // Completes the record of a failed attempt (flags, the deflate note, the partial tree) and
    // empties the file object.
    void FinishFailure();

    CDicomHeader& m_file;
    // How the file is encoded, as found so far; the file object gets it whole when the reading ends.
    FileEncoding m_encoding;
    CFileCursor m_cursor;
    // Where values left in the file read from (null: every value is read into memory), and the
    // length above which they are left.
    CValueSource* m_source;
    uint64_t m_deferAbove;
    int m_depth = 0;                 // sequences being read, for the nesting bound
    // Children read so far of the sequences, items and pixel elements being read, innermost
    // last; each parent takes its own when it is complete (so each list is allocated once).
    std::vector<CDicomTag*> m_pending;
    std::vector<Open> m_open;
    bool m_preambleKnown = false;
    bool m_encodingKnown = false;
    std::unique_ptr<ParseFailure> m_failure;
    std::string m_firstReason;       // of the explicit attempt at a bare data set
};

// The start of a failure's reason for a data set whose transfer syntax is deflated (its bytes
// are compressed, not elements); empty for any other.
std::string DeflateNote(const CTagArray& dataSet);
