// The parser of one file: recognises the format, reads the meta information and the data set
// into the element tree, and keeps the parse state.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "dicom/TagArray.h"
#include "dicom/Ultrasound.h"

// Nesting of sequences deeper than this is refused; real files stay far below it.
constexpr int kMaxSequenceDepth = 64;
// Files of this size or more are refused before parsing.
constexpr int64_t kMaxFileSize = 0x80000000LL;
// Native frames are read into blocks of at most this many bytes (a larger frame gets its own).
constexpr uint64_t kFrameBlockSize = uint64_t(64) << 20;
// Top-level encapsulated pixel data with at least this many bytes left in the file has its
// fragments read into one block (smaller ones get a block per fragment).
constexpr uint64_t kFragmentBlockMinimum = uint64_t(8) << 20;

class CDicomHeader : public CTagArray {
public:
    CDicomHeader();
    ~CDicomHeader() override;

    // Deletes the tree and the trailing data, empties the names and restores the default flags.
    void Reset();

    // Opens the path and parses it; false (and an empty object) on any failure.
    bool ParseFile(const std::wstring& path);
    // Parses an open stream from its start.
    bool ParseStream(FILE* stream);

    // Format recognition, meta group and data set.
    bool ReadPreambleAndMeta(FILE* stream);
    bool ProbeLittleEndian(FILE* stream);
    bool ProbeBigEndian(FILE* stream);
    bool IsPapyrusFile(FILE* stream);
    bool ReadMetaGroup(FILE* stream);
    void DetectTransferSyntax();

    // Data set reading.
    bool EnsureAvailable(uint64_t count) const;
    bool ReadTag(FILE* stream, uint16_t& group, uint16_t& element);
    bool ReadItemTag(FILE* stream, uint16_t& group, uint16_t& element);
    bool ReadUInt32(FILE* stream, uint32_t& value);
    bool PeekDelimiter(FILE* stream, uint16_t element);
    bool ReadDelimiterLength(FILE* stream);
    bool ReadVRAndLength(FILE* stream, CDicomTag* tag);
    bool ReadValue(FILE* stream, CDicomTag* tag);
    bool ReadDataSet(FILE* stream);
    bool ReadSequence(FILE* stream, CDicomTag* sequence);
    bool ReadItemContent(FILE* stream, CDicomTag* item);
    bool ReadPixelFragments(FILE* stream, CDicomTag* pixel);
    bool IsUncompressed() const;

    // True when the element is read and measured as a sequence of items under the current flags.
    bool IsSequence(const CDicomTag* tag) const;
    // Bytes the element occupies, header included, by the encoding rules (not by the positions
    // recorded while parsing); may rewrite the lengths of defined-length items it measures.
    uint64_t GetEncodedSize(CDicomTag* tag);
    uint64_t GetItemSize(CDicomTag* item);

    void SetFileNames(const std::wstring& path);
    void BuildUltrasoundRegions();

    // State
    bool HasPreamble() const { return m_hasPreamble != 0; }
    bool IsExplicitVR() const { return m_explicitVR != 0; }
    bool IsLittleEndian() const { return m_littleEndian != 0; }
    const std::wstring& GetFileName() const { return m_fileName; }
    const std::wstring& GetFolder() const { return m_folder; }
    const std::wstring& GetFullPath() const { return m_fullPath; }
    int64_t GetFileSize() const { return m_fileSize; }
    uint64_t GetReadPosition() const { return m_readPosition; }
    const uint8_t* GetPreamble() const { return m_preamble; }
    const uint8_t* GetMagic() const { return m_magic; }
    const uint8_t* GetTrailingData() const { return m_trailingData; }
    uint64_t GetTrailingSize() const { return m_trailingSize; }
    const std::vector<UltrasoundRegion*>& GetUltrasoundRegions() const { return m_ultrasoundRegions; }

protected:
    uint8_t m_hasPreamble = 0;
    uint8_t m_explicitVR = 1;
    uint8_t m_littleEndian = 1;
    std::wstring m_fileName;
    std::wstring m_folder;
    std::wstring m_fullPath;
    int64_t m_fileSize = 0;
    uint64_t m_readPosition = 0;
    uint8_t m_preamble[128] = {};
    uint8_t m_magic[4] = {};
    uint8_t* m_trailingData = nullptr;
    uint64_t m_trailingSize = 0;
    std::vector<UltrasoundRegion*> m_ultrasoundRegions;
    // kFrameBlockSize and kFragmentBlockMinimum, as members so that tests can make them small.
    uint64_t m_frameBlockSize = kFrameBlockSize;
    uint64_t m_fragmentBlockMinimum = kFragmentBlockMinimum;

private:
    bool ReadBytes(FILE* stream, void* destination, size_t count);
    bool PeekBytes(FILE* stream, uint64_t offset, void* destination, size_t count);
    bool SeekTo(FILE* stream, uint64_t offset);
    uint16_t Order16(const uint8_t* bytes) const;
    uint32_t Order32(const uint8_t* bytes) const;
    bool ReadNativePixelData(FILE* stream, CDicomTag* tag);
    bool ReadTrailingData(FILE* stream);
    void FreeTrailingData();
    void ClearUltrasoundRegions();
    bool ProbeByteOrder(FILE* stream);

    uint64_t m_streamPosition = 0;   // where the stream really is; seek only when it differs
    // Small reads are served from a block read ahead from the stream; large values bypass it.
    std::vector<uint8_t> m_buffer;
    uint64_t m_bufferOffset = 0;     // file offset of m_buffer[0]
    size_t m_bufferLength = 0;       // valid bytes in m_buffer
    bool FillBuffer(FILE* stream, uint64_t offset);
    int m_depth = 0;                 // sequences being read, for the nesting bound
    // Children read so far of the sequences, items and pixel elements being read, innermost
    // last; each parent takes its own when it is complete.
    std::vector<CDicomTag*> m_pending;
    void AdoptPending(CDicomTag* parent, size_t first);
    // Deletes the elements and forgets the pending children (all of them the store's).
    void DeleteTree();
};
