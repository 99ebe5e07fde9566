#include "dicom/DicomHeader.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "dicom/FileStream.h"

namespace {

// Swaps every unit of `unit` bytes in place, for values stored big endian.
void SwapUnits(uint8_t* bytes, size_t count, size_t unit) {
    for (size_t offset = 0; offset + unit <= count; offset += unit)
        for (size_t i = 0; i < unit / 2; ++i) {
            const uint8_t keep = bytes[offset + i];
            bytes[offset + i] = bytes[offset + unit - 1 - i];
            bytes[offset + unit - 1 - i] = keep;
        }
}

// Width of the units a big-endian value of this VR is swapped in; 0 when kept as read.
size_t SwapUnitFor(const CDicomVR& vr) {
    if (vr.GetInfo() == nullptr) return 0;
    switch (vr.GetInfo()->kind) {
        case VRKind::OW: case VRKind::SS: case VRKind::US:
        // Attribute tags are pairs of 16-bit numbers; stored in host order they display correctly.
        case VRKind::AT:
            return 2;
        case VRKind::SL: case VRKind::UL: case VRKind::FL:
            return 4;
        case VRKind::FD:
            return 8;
        default:
            return 0;
    }
}

}  // namespace

CDicomHeader::CDicomHeader() = default;

CDicomHeader::~CDicomHeader() {
    FreeTrailingData();
    ClearUltrasoundRegions();
}

void CDicomHeader::FreeTrailingData() {
    std::free(m_trailingData);
    m_trailingData = nullptr;
    m_trailingSize = 0;
}

void CDicomHeader::DeleteTree() {
    m_pending.clear();
    DeleteAllElements();
}

void CDicomHeader::Reset() {
    DeleteTree();
    FreeTrailingData();
    ClearUltrasoundRegions();
    m_fileName.clear();
    m_folder.clear();
    m_fullPath.clear();
    std::memset(m_preamble, 0, sizeof m_preamble);
    std::memset(m_magic, 0, sizeof m_magic);
    m_hasPreamble = 0;
    m_explicitVR = 1;
    m_littleEndian = 1;
    ResetPixelModule();
    m_readPosition = 0;
    m_streamPosition = 0;
    m_fileSize = 0;
    m_depth = 0;
    m_bufferOffset = 0;
    m_bufferLength = 0;
}

// ---------------------------------------------------------------------------------------------
// Files and paths

bool CDicomHeader::ParseFile(const std::wstring& path) {
    FILE* stream = OpenFileForReading(path);
    if (stream == nullptr) {
        Reset();
        return false;
    }
    const bool parsed = ParseStream(stream);
    std::fclose(stream);
    SetFileNames(path);
    return parsed;
}

void CDicomHeader::SetFileNames(const std::wstring& path) {
    m_fileName.clear();
    m_folder.clear();
    m_fullPath.clear();
    if (path.empty()) return;
    size_t separator = path.rfind(L'\\');
    if (separator == std::wstring::npos) separator = path.rfind(L'/');
    if (separator == std::wstring::npos) {
        m_fileName = path;
        m_folder = CurrentDirectoryWithSeparator();
        m_fullPath = m_folder + m_fileName;
        return;
    }
    m_folder = path.substr(0, separator + 1);
    m_fileName = path.substr(separator + 1);
    m_fullPath = path;
}

bool CDicomHeader::ParseStream(FILE* stream) {
    Reset();
    try {
        const int64_t size = StreamSize(stream);
        if (size < 0 || size >= kMaxFileSize || !SeekStream(stream, 0)) {
            Reset();
            return false;
        }
        m_fileSize = size;
        m_streamPosition = 0;
        m_nodeStore.PlanFor(static_cast<uint64_t>(size));
        if (!ReadPreambleAndMeta(stream) || m_elements.size() < 6) {
            Reset();
            return false;
        }
        FillPixelModule();
        if (IsPhotometric(L"PALETTE COLOR") && !ReadPaletteTables()) {
            Reset();
            return false;
        }
        if (IsUltrasound()) BuildUltrasoundRegions();
        return true;
    } catch (const std::bad_alloc&) {
        // Running out of memory anywhere in the parse refuses the file like any other failure.
        Reset();
        return false;
    }
}

// ---------------------------------------------------------------------------------------------
// Low-level reading. The read position is the file offset of the next byte the parser consumes;
// the stream is moved there only when it is elsewhere.

bool CDicomHeader::SeekTo(FILE* stream, uint64_t offset) {
    if (m_streamPosition == offset) return true;
    if (!SeekStream(stream, offset)) return false;
    m_streamPosition = offset;
    return true;
}

bool CDicomHeader::EnsureAvailable(uint64_t count) const {
    const uint64_t size = m_fileSize < 0 ? 0 : static_cast<uint64_t>(m_fileSize);
    return m_readPosition <= size && count <= size - m_readPosition;
}

namespace {
// Read-ahead block size; a smaller file gets a block of its own size.
constexpr size_t kReadAheadSize = 32 * 1024;
}  // namespace

bool CDicomHeader::FillBuffer(FILE* stream, uint64_t offset) {
    m_bufferLength = 0;
    const uint64_t fileSize = static_cast<uint64_t>(m_fileSize);
    const size_t capacity = fileSize < kReadAheadSize ? static_cast<size_t>(fileSize) : kReadAheadSize;
    if (m_buffer.size() != capacity) m_buffer.resize(capacity);
    if (!SeekTo(stream, offset)) return false;
    const uint64_t left = offset < fileSize ? fileSize - offset : 0;
    const size_t wanted = left < capacity ? static_cast<size_t>(left) : capacity;
    const size_t got = std::fread(m_buffer.data(), 1, wanted, stream);
    m_streamPosition += got;
    m_bufferOffset = offset;
    m_bufferLength = got;
    return true;
}

bool CDicomHeader::PeekBytes(FILE* stream, uint64_t offset, void* destination, size_t count) {
    const uint64_t size = m_fileSize < 0 ? 0 : static_cast<uint64_t>(m_fileSize);
    if (offset > size || count > size - offset) return false;
    if (count == 0) return true;
    const bool buffered = offset >= m_bufferOffset && offset - m_bufferOffset <= m_bufferLength &&
                          count <= m_bufferLength - (offset - m_bufferOffset);
    if (!buffered) {
        if (count >= kReadAheadSize / 2) {
            // Large values go straight from the stream to their block.
            if (!SeekTo(stream, offset)) return false;
            const size_t got = std::fread(destination, 1, count, stream);
            m_streamPosition += got;
            return got == count;
        }
        if (!FillBuffer(stream, offset) || count > m_bufferLength) return false;
    }
    std::memcpy(destination, m_buffer.data() + (offset - m_bufferOffset), count);
    return true;
}

bool CDicomHeader::ReadBytes(FILE* stream, void* destination, size_t count) {
    if (!EnsureAvailable(count) || !PeekBytes(stream, m_readPosition, destination, count)) return false;
    m_readPosition += count;
    return true;
}

uint16_t CDicomHeader::Order16(const uint8_t* b) const {
    return m_littleEndian ? static_cast<uint16_t>(b[0] | (b[1] << 8))
                          : static_cast<uint16_t>((b[0] << 8) | b[1]);
}

uint32_t CDicomHeader::Order32(const uint8_t* b) const {
    if (m_littleEndian)
        return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
               (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
    return (static_cast<uint32_t>(b[0]) << 24) | (static_cast<uint32_t>(b[1]) << 16) |
           (static_cast<uint32_t>(b[2]) << 8) | static_cast<uint32_t>(b[3]);
}

bool CDicomHeader::ReadTag(FILE* stream, uint16_t& group, uint16_t& element) {
    uint8_t bytes[4];
    if (!ReadBytes(stream, bytes, 4)) return false;
    group = Order16(bytes);
    element = Order16(bytes + 2);
    return true;
}

bool CDicomHeader::ReadItemTag(FILE* stream, uint16_t& group, uint16_t& element) {
    return ReadTag(stream, group, element);
}

bool CDicomHeader::ReadUInt32(FILE* stream, uint32_t& value) {
    uint8_t bytes[4];
    if (!ReadBytes(stream, bytes, 4)) return false;
    value = Order32(bytes);
    return true;
}

bool CDicomHeader::PeekDelimiter(FILE* stream, uint16_t element) {
    uint8_t bytes[4];
    if (!PeekBytes(stream, m_readPosition, bytes, 4)) return false;
    return Order16(bytes) == 0xFFFE && Order16(bytes + 2) == element;
}

bool CDicomHeader::ReadDelimiterLength(FILE* stream) {
    uint8_t bytes[8];
    return ReadBytes(stream, bytes, 8);
}

bool CDicomHeader::ReadVRAndLength(FILE* stream, CDicomTag* tag) {
    CTagData& data = tag->Data();
    if (m_explicitVR) {
        uint8_t letters[2];
        if (!ReadBytes(stream, letters, 2)) return false;
        // The two bytes are the VR as the file has it, even when they are no letters at all.
        tag->SetVR(VRCodeOfBytes(letters[0], letters[1]));
        uint8_t field[2];
        if (!ReadBytes(stream, field, 2)) return false;
        if (tag->GetVR().GetInfo() != nullptr && tag->GetVR().GetInfo()->longLength) {
            // The two bytes are reserved, not a length: only the 4-byte length that follows counts.
            uint32_t length;
            if (!ReadUInt32(stream, length)) return false;
            data.SetShortLength(0);
            data.SetLongLength(length);
        } else {
            data.SetShortLength(Order16(field));
            data.SetLongLength(0);
        }
    } else {
        uint32_t length;
        if (!ReadUInt32(stream, length)) return false;
        data.SetShortLength(0);
        data.SetLongLength(length);
    }
    // A group length starts out with a placeholder value; the header now describes the real one.
    data.FreeBytes();
    tag->SetValueOffset(m_readPosition);
    return true;
}

bool CDicomHeader::ReadValue(FILE* stream, CDicomTag* tag) {
    if (tag->IsPixelData() && tag->GetParent() == nullptr) return ReadNativePixelData(stream, tag);

    const uint32_t length = tag->GetValueLength();
    if (length == 0 || length == kUndefinedLength || !EnsureAvailable(length)) return false;
    // Small values go to the node store, larger ones into a block of their own.
    uint8_t* stored = m_nodeStore.NewBytes(length);
    uint8_t* block = stored != nullptr ? stored : static_cast<uint8_t*>(std::malloc(length));
    if (block == nullptr) throw std::bad_alloc();
    if (!ReadBytes(stream, block, length)) {
        if (stored == nullptr) std::free(block);
        return false;
    }
    if (!m_littleEndian) {
        const size_t unit = SwapUnitFor(tag->GetVR());
        if (unit != 0) SwapUnits(block, length, unit);
    }
    return stored != nullptr ? tag->BorrowValue(block, length) : tag->AdoptValue(block, length);
}

bool CDicomHeader::ReadNativePixelData(FILE* stream, CDicomTag* tag) {
    // Native frames are kept in blocks of up to kFrameBlockSize bytes, as many whole frames as
    // fit (at least one), so that large blocks can use huge pages while no single block has to
    // span the whole pixel data. Sizes are computed in 64 bits and every frame must lie in the
    // file before anything is allocated for it.
    CDicomTag7FE0* pixel = static_cast<CDicomTag7FE0*>(tag);
    const uint64_t samples = m_samplesPerPixel == 0 ? 1 : m_samplesPerPixel;
    uint64_t frameSize = uint64_t(m_rows) * uint64_t(static_cast<uint32_t>(m_columns)) *
                         uint64_t(m_bitsAllocated) * samples / 8;
    if (IsPhotometric(L"YBR_FULL_422")) frameSize = 2 * frameSize / 3;
    const uint64_t frames = m_numberOfFrames;
    const uint64_t valueStart = m_readPosition;
    if (frameSize != 0 && frames != 0) {
        const uint64_t left = static_cast<uint64_t>(m_fileSize) - m_readPosition;
        if (frameSize > left || frames > left / frameSize) return false;
        const bool swap = !m_littleEndian && tag->GetVR().Is(VRKind::OW);
        const uint64_t perBlock = frameSize < m_frameBlockSize ? m_frameBlockSize / frameSize : 1;
        for (uint64_t frame = 0; frame < frames;) {
            const uint64_t count = frames - frame < perBlock ? frames - frame : perBlock;
            const size_t bytes = static_cast<size_t>(count * frameSize);
            LargeBlock block;
            if (!block.Allocate(bytes)) throw std::bad_alloc();
            if (!ReadBytes(stream, block.Data(), bytes)) return false;
            if (swap) SwapUnits(block.Data(), bytes, 2);
            pixel->AddFrames(std::move(block), static_cast<uint32_t>(frameSize), static_cast<size_t>(count));
            frame += count;
        }
    }
    // The element's own length decides where the next byte is, whatever the frames covered.
    m_readPosition = valueStart;
    return true;
}

bool CDicomHeader::ReadTrailingData(FILE* stream) {
    FreeTrailingData();
    const uint64_t size = static_cast<uint64_t>(m_fileSize);
    if (m_readPosition >= size) return true;
    const uint64_t count = size - m_readPosition;
    uint8_t* block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(count)));
    if (block == nullptr) throw std::bad_alloc();
    if (!ReadBytes(stream, block, static_cast<size_t>(count))) {
        std::free(block);
        return false;
    }
    m_trailingData = block;
    m_trailingSize = count;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Format recognition and meta information

bool CDicomHeader::ProbeLittleEndian(FILE* stream) {
    uint8_t b[4];
    if (!PeekBytes(stream, m_readPosition, b, 4)) return false;
    const unsigned group = b[0] + 256u * b[1];
    const unsigned element = b[2] + 256u * b[3];
    return group <= 0x0028 && element <= 0x0028;
}

bool CDicomHeader::ProbeBigEndian(FILE* stream) {
    uint8_t b[4];
    if (!PeekBytes(stream, m_readPosition, b, 4)) return false;
    const unsigned group = 256u * b[0] + b[1];
    const unsigned element = 256u * b[2] + b[3];
    return group <= 0x0028 && element <= 0x0028;
}

bool CDicomHeader::ProbeByteOrder(FILE* stream) {
    m_littleEndian = ProbeLittleEndian(stream) ? 1 : 0;
    return m_littleEndian || ProbeBigEndian(stream);
}

bool CDicomHeader::IsPapyrusFile(FILE* stream) {
    uint8_t bytes[7];
    if (!PeekBytes(stream, 132, bytes, 7)) return false;
    return std::memcmp(bytes, "PAPYRUS", 7) == 0;
}

bool CDicomHeader::ReadPreambleAndMeta(FILE* stream) {
    if (m_fileSize < 132) {
        m_hasPreamble = 0;
        m_explicitVR = 0;
        if (!ProbeByteOrder(stream)) return false;
    } else {
        if (!ReadBytes(stream, m_preamble, 128) || !ReadBytes(stream, m_magic, 4)) return false;
        m_readPosition = 0;
        if (IsPapyrusFile(stream)) return false;
        if (std::memcmp(m_magic, "DICM", 4) == 0) {
            m_readPosition = 132;
            m_hasPreamble = 1;
            if (!ProbeLittleEndian(stream) && !ProbeBigEndian(stream)) return false;
            if (!ReadMetaGroup(stream)) return false;
            DetectTransferSyntax();
        } else {
            m_hasPreamble = 0;
            uint8_t vr[2];
            if (!PeekBytes(stream, 4, vr, 2)) return false;
            m_explicitVR = (std::memcmp(vr, "AE", 2) == 0 || IsKnownVRCode(reinterpret_cast<const char*>(vr))) ? 1 : 0;
            if (!ProbeByteOrder(stream)) return false;
        }
    }
    if (m_explicitVR && !m_hasPreamble) {
        if (ReadDataSet(stream)) return true;
        // A bare data set that looked explicit is read again from the start as implicit VR.
        DeleteTree();
        FreeTrailingData();
        m_readPosition = 0;
        m_depth = 0;
        m_explicitVR = 0;
        if (!ProbeByteOrder(stream)) return false;
    }
    return ReadDataSet(stream);
}

bool CDicomHeader::ReadMetaGroup(FILE* stream) {
    for (;;) {
        const uint64_t tagStart = m_readPosition;
        uint16_t group, element;
        if (!ReadTag(stream, group, element)) return false;
        if (group != 0x0002) {
            m_readPosition = tagStart;
            return true;
        }
        CDicomTag* tag = m_nodeStore.NewTag(group, element);
        tag->SetTagOffset(tagStart);
        if (!ReadVRAndLength(stream, tag)) return false;
        const uint32_t length = tag->GetValueLength();
        if (length == kUndefinedLength || !EnsureAvailable(length)) return false;
        if (length != 0 && !ReadValue(stream, tag)) return false;
        m_readPosition = tag->GetValueOffset() + length;
        tag->SetEndOffset(m_readPosition);
        AddElement(tag);
    }
}

void CDicomHeader::DetectTransferSyntax() {
    for (CDicomTag* tag : m_elements) {
        if (tag->GetGroup() > 0x0002) return;
        if (!tag->Is(0x0002, 0x0010)) continue;
        m_littleEndian = 1;
        char* text = tag->CopyValueBytes();
        if (text == nullptr) continue;
        // Exact comparison up to the first NUL, so only NUL padding is ignored.
        bool explicitVR, littleEndian;
        EncodingOfTransferSyntax(text, explicitVR, littleEndian);
        m_explicitVR = explicitVR ? 1 : 0;
        m_littleEndian = littleEndian ? 1 : 0;
        std::free(text);
        return;
    }
}

// ---------------------------------------------------------------------------------------------
// The data set

bool CDicomHeader::IsSequence(const CDicomTag* tag) const {
    const CDicomVR& vr = tag->GetVR();
    const bool undefined = tag->IsUndefinedLength();
    return vr.Is(VRKind::SQ) || (!m_explicitVR && undefined) || (vr.Is(VRKind::UN) && undefined);
}

bool CDicomHeader::IsUncompressed() const {
    if (FindElement(0x0002, 0x0010) == nullptr || !m_littleEndian) return true;
    const TransferSyntax* syntax = GetTransferSyntax();
    return syntax == nullptr || !syntax->encapsulated;
}

bool CDicomHeader::ReadDataSet(FILE* stream) {
    const uint64_t fileSize = static_cast<uint64_t>(m_fileSize);
    for (;;) {
        const uint64_t tagStart = m_readPosition;
        uint16_t group, element;
        if (!ReadTag(stream, group, element)) return false;
        if ((m_elements.size() > 50 && group == 0x0000) || group == 0x8000) return false;

        const bool isPixel = group == 0x7FE0 && element == 0x0010;
        if (isPixel) FillPixelModule();
        // The top-level pixel data element is the one node of its own class, made with new; it
        // is owned here until the element list holds it.
        std::unique_ptr<CDicomTag7FE0> pixel(isPixel ? new CDicomTag7FE0(group, element) : nullptr);
        CDicomTag* tag = isPixel ? pixel.get() : m_nodeStore.NewTag(group, element);
        tag->SetTagOffset(tagStart);
        if (!ReadVRAndLength(stream, tag)) return false;

        if (IsSequence(tag)) {
            if (!ReadSequence(stream, tag)) return false;
            AddElement(tag);
            pixel.release();
            if (m_readPosition == fileSize) return true;
            continue;
        }
        if (isPixel && (tag->IsUndefinedLength() || !IsUncompressed())) {
            if (!ReadPixelFragments(stream, tag)) return false;
            AddElement(tag);
            pixel.release();
            // Nothing after the pixel data is parsed: it is kept as trailing data.
            return ReadTrailingData(stream);
        }

        const uint32_t length = tag->GetValueLength();
        if (length == kUndefinedLength || !EnsureAvailable(length)) return false;
        if (length != 0 && !ReadValue(stream, tag)) return false;
        if (isPixel && !m_explicitVR) {
            const CDicomTag* bits = FindElement(0x0028, 0x0100);
            if (bits != nullptr && bits->GetNumericValue() > 8) tag->SetVR(L"OW");
        }
        const bool isSyntax = group == 0x0002 && element == 0x0010;
        m_readPosition = tag->GetValueOffset() + length;
        tag->SetEndOffset(m_readPosition);
        AddElement(tag);
        pixel.release();
        if (!m_hasPreamble && isSyntax) DetectTransferSyntax();
        if (m_readPosition == fileSize) return true;
        if (isPixel) return ReadTrailingData(stream);
    }
}

// Children are collected on m_pending while their parent is read and handed to it in one go
// when it is complete, so that each parent's list is allocated once, at its final size.
void CDicomHeader::AdoptPending(CDicomTag* parent, size_t first) {
    m_nodeStore.AddChildren(parent, m_pending.data() + first, m_pending.size() - first);
    m_pending.resize(first);
}

bool CDicomHeader::ReadSequence(FILE* stream, CDicomTag* sequence) {
    if (m_depth >= kMaxSequenceDepth) return false;
    ++m_depth;
    struct DepthGuard {
        int& depth;
        ~DepthGuard() { --depth; }
    } guard{m_depth};

    const size_t firstItem = m_pending.size();
    const bool undefined = sequence->IsUndefinedLength();
    const bool readItemsImplicit = sequence->GetVR().Is(VRKind::UN) && undefined;
    uint64_t total = 0;
    for (;;) {
        if (undefined) {
            if (PeekDelimiter(stream, 0xE0DD)) {
                if (!ReadDelimiterLength(stream)) return false;
                sequence->SetEndOffset(m_readPosition);
                AdoptPending(sequence, firstItem);
                return true;
            }
        } else if (total >= sequence->GetValueLength()) {
            sequence->SetEndOffset(m_readPosition);
            AdoptPending(sequence, firstItem);
            return true;
        }

        const uint64_t itemStart = m_readPosition;
        uint16_t group, element;
        if (!ReadItemTag(stream, group, element)) return false;
        if (!undefined && !(group == 0xFFFE && element == 0xE000)) return false;
        CDicomTag* item = m_nodeStore.NewTag(group, element);
        item->SetTagOffset(itemStart);
        item->SetParent(sequence);
        uint32_t itemLength;
        if (!ReadUInt32(stream, itemLength)) return false;
        item->Data().FreeBytes();
        item->Data().SetShortLength(0);
        item->Data().SetLongLength(itemLength);
        item->SetValueOffset(m_readPosition);

        bool ok;
        if (readItemsImplicit) {
            // The items of an undefined-length UN element are implicit VR, whatever the data set.
            const uint8_t explicitVR = m_explicitVR;
            m_explicitVR = 0;
            ok = ReadItemContent(stream, item);
            m_explicitVR = explicitVR;
        } else {
            ok = itemLength == 0 || ReadItemContent(stream, item);
        }
        if (!ok) return false;
        if (itemLength == 0) item->SetEndOffset(m_readPosition);
        // Defined-length sequences count the bytes their items really took in the file.
        total += m_readPosition - itemStart;
        m_pending.push_back(item);
    }
}

bool CDicomHeader::ReadItemContent(FILE* stream, CDicomTag* item) {
    const uint64_t fileSize = static_cast<uint64_t>(m_fileSize);
    const uint32_t itemLength = item->GetValueLength();
    if (itemLength == 0) {
        item->SetEndOffset(m_readPosition);
        return true;
    }
    const bool undefined = itemLength == kUndefinedLength;
    const uint64_t end = m_readPosition + itemLength;
    if (undefined && PeekDelimiter(stream, 0xE00D)) {
        if (!ReadDelimiterLength(stream)) return false;
        item->SetEndOffset(m_readPosition);
        return true;
    }
    const size_t firstChild = m_pending.size();
    auto complete = [this, item, firstChild]() {
        item->SetEndOffset(m_readPosition);
        AdoptPending(item, firstChild);
        return true;
    };
    for (;;) {
        const uint64_t tagStart = m_readPosition;
        uint16_t group, element;
        if (!ReadTag(stream, group, element)) return false;
        CDicomTag* tag = m_nodeStore.NewTag(group, element);
        tag->SetTagOffset(tagStart);
        tag->SetParent(item);
        if (!ReadVRAndLength(stream, tag)) return false;

        bool endsFile = false;
        if (tag->IsPixelData() && tag->IsUndefinedLength()) {
            if (!ReadPixelFragments(stream, tag)) return false;
            endsFile = m_readPosition == fileSize;
        } else if (IsSequence(tag)) {
            if (!ReadSequence(stream, tag)) return false;
            endsFile = m_readPosition == fileSize;
        } else {
            const uint32_t length = tag->GetValueLength();
            if (length == kUndefinedLength || !EnsureAvailable(length)) return false;
            if (length != 0 && !ReadValue(stream, tag)) return false;
            m_readPosition = tag->GetValueOffset() + length;
            tag->SetEndOffset(m_readPosition);
        }
        m_pending.push_back(tag);
        if (endsFile) return complete();

        if (!undefined) {
            if (m_readPosition >= end) return complete();
        } else if (PeekDelimiter(stream, 0xE00D)) {
            if (!ReadDelimiterLength(stream)) return false;
            return complete();
        }
    }
}

bool CDicomHeader::ReadPixelFragments(FILE* stream, CDicomTag* pixel) {
    pixel->SetValueOffset(m_readPosition);
    const size_t firstItem = m_pending.size();

    // The fragments of the top-level pixel data, the last element parsed, go one after another
    // into one block as large as the rest of the file, laid out for huge pages (only the pages
    // the fragments fill are ever touched). Where that block cannot be had, or the rest is small,
    // each fragment is read like any other value.
    uint8_t* fragmentBytes = nullptr;
    uint64_t fragmentRoom = 0;
    const uint64_t rest = static_cast<uint64_t>(m_fileSize) - m_readPosition;
    if (pixel->GetParent() == nullptr && rest >= m_fragmentBlockMinimum) {
        LargeBlock block;
        if (block.Allocate(static_cast<size_t>(rest))) {
            fragmentBytes = block.Data();
            fragmentRoom = rest;
            m_nodeStore.Keep(std::move(block));
        }
    }

    // Reads one item header and value (the tag already read) and keeps it for the pixel element.
    auto readFragment = [this, stream, pixel, &fragmentBytes, &fragmentRoom](
                            uint16_t group, uint16_t element, uint64_t tagStart, uint32_t& length) -> bool {
        CDicomTag* item = m_nodeStore.NewTag(group, element);
        item->SetTagOffset(tagStart);
        item->SetParent(pixel);
        if (!ReadUInt32(stream, length)) return false;
        item->Data().FreeBytes();
        item->Data().SetShortLength(0);
        item->Data().SetLongLength(length);
        item->SetValueOffset(m_readPosition);
        if (length == kUndefinedLength || !EnsureAvailable(length)) return false;
        if (length != 0 && length <= fragmentRoom) {
            // Items have no VR, so their bytes are never swapped.
            if (!ReadBytes(stream, fragmentBytes, length)) return false;
            item->BorrowValue(fragmentBytes, length);
            fragmentBytes += length;
            fragmentRoom -= length;
        } else if (length != 0 && !ReadValue(stream, item)) {
            return false;
        }
        m_readPosition = item->GetValueOffset() + length;
        item->SetEndOffset(m_readPosition);
        m_pending.push_back(item);
        return true;
    };

    // The basic offset table comes first and must be an item.
    uint64_t tagStart = m_readPosition;
    uint16_t group, element;
    if (!ReadTag(stream, group, element) || group != 0xFFFE || element != 0xE000) return false;
    uint32_t length;
    if (!readFragment(group, element, tagStart, length)) return false;

    if (pixel->IsUndefinedLength()) {
        for (;;) {
            tagStart = m_readPosition;
            if (!ReadTag(stream, group, element) || group != 0xFFFE) return false;
            if (element == 0xE0DD) {
                uint32_t delimiterLength;
                if (!ReadUInt32(stream, delimiterLength)) return false;
                pixel->SetEndOffset(m_readPosition);
                AdoptPending(pixel, firstItem);
                return true;
            }
            if (element != 0xE000) return false;
            if (!readFragment(group, element, tagStart, length)) return false;
        }
    }

    uint64_t total = uint64_t(length) + 8;
    while (total < pixel->GetValueLength()) {
        tagStart = m_readPosition;
        if (!ReadItemTag(stream, group, element)) return false;
        if (!readFragment(group, element, tagStart, length)) return false;
        total += uint64_t(length) + 8;
    }
    pixel->SetEndOffset(m_readPosition);
    AdoptPending(pixel, firstItem);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Encoded sizes

uint64_t CDicomHeader::GetEncodedSize(CDicomTag* tag) {
    const bool undefined = tag->IsUndefinedLength();
    const uint64_t header = m_explicitVR ? 12 : 8;
    // Nested encapsulated pixel data is read as fragments, never as a sequence; measure it so.
    const bool fragments = tag->IsPixelData() && undefined && tag->GetParent() != nullptr;

    if (!fragments && IsSequence(tag)) {
        uint64_t size = header;
        const uint8_t explicitVR = m_explicitVR;
        if (tag->GetVR().Is(VRKind::UN)) m_explicitVR = 0;
        for (CDicomTag* child : tag->GetChildren())
            size += child->IsUndefinedLength() ? GetItemSize(child) : GetEncodedSize(child);
        m_explicitVR = explicitVR;
        if (tag->Data().GetLongLength() == kUndefinedLength) size += 8;
        return size;
    }
    if (tag->IsPixelData()) {
        if (undefined) {
            uint64_t size = header + 8;
            for (CDicomTag* child : tag->GetChildren()) size += uint64_t(child->Data().GetLongLength()) + 8;
            return size;
        }
        if (tag->GetParent() == nullptr && IsUncompressed()) {
            const uint64_t frames = static_cast<CDicomTag7FE0*>(tag)->GetTotalFragmentLength();
            tag->Data().SetLongLength(static_cast<uint32_t>(frames));
        }
        return header + tag->GetValueLength();
    }
    if (tag->IsItem()) return GetItemSize(tag);
    const uint64_t length = tag->GetValueLength();
    if (m_explicitVR || tag->GetGroup() == 0x0002) {
        const std::wstring& vr = tag->GetVRText();
        return length + 8 + ((vr.empty() || IsLongLengthVR(vr)) ? 4 : 0);
    }
    return length + 8;
}

uint64_t CDicomHeader::GetItemSize(CDicomTag* item) {
    uint64_t size = 8;
    for (CDicomTag* child : item->GetChildren()) size += GetEncodedSize(child);
    if (item->IsUndefinedLength())
        size += 8;
    else
        item->Data().SetLongLength(static_cast<uint32_t>(size - 8));
    return size;
}
