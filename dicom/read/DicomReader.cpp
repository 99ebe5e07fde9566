#include "dicom/read/DicomReader.h"

#include <cstring>
#include <new>
#include <utility>

#include "dicom/io/TextFormat.h"

namespace {

// Width of the units a big-endian value of this VR is swapped in; 0 when kept as read.
size_t SwapUnitFor(const CDicomVR& vr) { return vr.GetInfo() != nullptr ? vr.GetInfo()->swapUnit : 0; }

unsigned long long U(uint64_t value) { return static_cast<unsigned long long>(value); }

const char* Bytes(uint64_t count) { return count == 1 ? "byte" : "bytes"; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Failure records

CDicomReader::CDicomReader(CDicomHeader& file, FILE* stream)
    : m_file(file),
      m_cursor(stream, static_cast<uint64_t>(file.GetFileSize() < 0 ? 0 : file.GetFileSize())),
      m_source(file.GetValueSource()),
      m_deferAbove(file.GetParseOptions().deferValuesAbove) {
    if (m_source != nullptr) m_source->ReadThrough(&m_cursor);
}

CDicomReader::OpenGuard::OpenGuard(CDicomReader& r, const CDicomTag* container) : reader(r) {
    reader.m_open.push_back(Open{FailureStep{reader.NextIndex(), container->GetGroup(), container->GetElement()},
                                 container->GetTagOffset(), reader.m_pending.size()});
}

uint32_t CDicomReader::NextIndex() const {
    const size_t index = m_open.empty() ? m_file.GetElements().size() : m_pending.size() - m_open.back().firstPending;
    return static_cast<uint32_t>(index);
}

bool CDicomReader::Fail(uint64_t offset, const std::string& reason) {
    if (m_failure != nullptr) return false;
    m_failure.reset(new ParseFailure());
    m_failure->offset = offset;
    for (const Open& open : m_open) m_failure->path.push_back(open.step);
    m_failure->reason = reason;
    return false;
}

bool CDicomReader::FailAt(uint64_t offset, uint16_t group, uint16_t element, const std::string& reason) {
    if (m_failure != nullptr) return false;
    const uint32_t index = NextIndex();
    Fail(offset, reason);
    m_failure->path.push_back(FailureStep{index, group, element});
    return false;
}

bool CDicomReader::FailNoTag(uint64_t at) {
    const uint64_t left = m_cursor.LeftFrom(at);
    std::string inside;
    if (!m_open.empty()) {
        const Open& open = m_open.back();
        inside = " inside " + TagText(open.step.group, open.step.element) + Format(" at offset %llu", U(open.tagOffset));
    }
    if (left == 0) return Fail(at, Format("the file ends at offset %llu", U(at)) + inside + ", where a tag is expected");
    if (m_open.empty()) return Fail(at, Format("%llu %s left after the last element", U(left), Bytes(left)));
    return Fail(at, Format("%llu %s left at offset %llu", U(left), Bytes(left), U(at)) + inside + ", too few for a tag");
}

bool CDicomReader::FailHeader(uint64_t tagStart, uint16_t group, uint16_t element) {
    const uint64_t left = m_cursor.LeftFrom(tagStart);
    return FailAt(tagStart, group, element,
                  "header of " + TagText(group, element) +
                      Format(" at offset %llu runs past the end of the file (%llu %s left)", U(tagStart), U(left), Bytes(left)));
}

bool CDicomReader::FailValueLength(const CDicomTag* tag, uint64_t length) {
    const std::string at = TagText(tag->GetGroup(), tag->GetElement()) + Format(" at offset %llu", U(tag->GetTagOffset()));
    if (length == kUndefinedLength) return FailAt(tag, at + " has an undefined length but is not a sequence");
    const uint64_t left = m_cursor.LeftFrom(tag->GetValueOffset());
    return FailAt(tag, Format("value length %llu of ", U(length)) + at +
                           Format(" runs past the end of the file (%llu %s left)", U(left), Bytes(left)));
}

bool CDicomReader::FailNotDicom(uint64_t offset) {
    uint8_t b[4];
    if (!m_cursor.Peek(offset, b, 4))
        return Fail(offset, Format("the file has %llu %s at offset %llu, too few for a first tag", U(m_cursor.LeftFrom(offset)),
                                   Bytes(m_cursor.LeftFrom(offset)), U(offset)));
    std::string first = "the first tag after \"DICM\"";
    if (offset == 0)
        first = m_cursor.Size() < 132 ? Format("the file has %llu bytes, too few for a preamble and \"DICM\", and its first tag", U(m_cursor.Size()))
                                      : "no \"DICM\" at offset 128, and the first tag";
    return Fail(offset, first + Format(", %02X %02X %02X %02X at offset %llu, is no plausible tag in either byte order "
                                       "(group and element at most 0028)",
                                       b[0], b[1], b[2], b[3], U(offset)));
}

void CDicomReader::FinishFailure() {
    if (m_failure == nullptr) Fail(m_cursor.Position(), "the data set could not be read");
    ParseFailure& failure = *m_failure;
    const std::string note = DeflateNote(m_file);
    if (!note.empty()) failure.reason = note + failure.reason;
    failure.firstReason = m_firstReason;
    failure.fileSize = m_file.GetFileSize();
    if (m_preambleKnown) failure.hasPreamble = m_encoding.hasPreamble;
    if (m_encodingKnown) {
        failure.explicitVR = m_encoding.explicitVR;
        failure.littleEndian = m_encoding.littleEndian;
    }
    m_pending.clear();
    if (m_file.GetParseOptions().keepPartialTree) failure.tree.TakeTree(m_file);
    m_file.DeleteAllElements();
}

std::string DeflateNote(const CTagArray& dataSet) {
    const TransferSyntax* known = dataSet.GetTransferSyntax();
    if (known == nullptr || !known->deflated) return std::string();
    return std::string("the data set is deflate-compressed (") + known->uid + ") and is not inflated, so its bytes "
           "are no elements: ";
}

// ---------------------------------------------------------------------------------------------
// Headers and numbers

bool CDicomReader::ReadTag(Encoding encoding, uint16_t& group, uint16_t& element) {
    const uint64_t start = m_cursor.Position();
    uint8_t bytes[4];
    if (!m_cursor.Read(bytes, 4)) return FailNoTag(start);
    group = encoding.Order16(bytes);
    element = encoding.Order16(bytes + 2);
    return true;
}

bool CDicomReader::ReadUInt32(Encoding encoding, uint32_t& value) {
    uint8_t bytes[4];
    if (!m_cursor.Read(bytes, 4)) return false;
    value = encoding.Order32(bytes);
    return true;
}

bool CDicomReader::PeekDelimiter(Encoding encoding, uint16_t element) {
    uint8_t bytes[4];
    if (!m_cursor.Peek(m_cursor.Position(), bytes, 4)) return false;
    return encoding.Order16(bytes) == 0xFFFE && encoding.Order16(bytes + 2) == element;
}

bool CDicomReader::ReadDelimiterLength(uint16_t element) {
    const uint64_t start = m_cursor.Position();
    uint8_t bytes[8];
    return m_cursor.Read(bytes, 8) || FailDelimiter(start, element);
}

bool CDicomReader::FailDelimiter(uint64_t start, uint16_t element) {
    const uint64_t left = m_cursor.LeftFrom(start);
    return Fail(start, std::string(element == 0xE0DD ? "sequence" : "item") + " delimiter " + TagText(0xFFFE, element) +
                           Format(" at offset %llu runs past the end of the file (%llu %s left)", U(start), U(left), Bytes(left)));
}

bool CDicomReader::ReadVRAndLength(Encoding encoding, CDicomTag* tag) {
    uint8_t bytes[4];
    if (!m_cursor.Read(bytes, 4)) return FailHeader(tag->GetTagOffset(), tag->GetGroup(), tag->GetElement());
    ElementHeader header = DecodeHeader(bytes, encoding);
    if (header.size == 12) {
        // The two bytes after the VR are reserved, not a length: only the 4-byte length counts.
        if (!m_cursor.Read(bytes, 4)) return FailHeader(tag->GetTagOffset(), tag->GetGroup(), tag->GetElement());
        LongFormLength(header, bytes, encoding);
    }
    SetHeader(*tag, header);
    // A group length starts out with a placeholder value; the header now describes the real one.
    tag->Data().FreeBytes();
    tag->SetValueOffset(m_cursor.Position());
    return true;
}

CDicomTag* CDicomReader::ReadItemHeader(Encoding encoding, CDicomTag* parent, uint64_t tagStart, uint16_t group,
                                        uint16_t element) {
    uint32_t length;
    if (!ReadUInt32(encoding, length)) {
        FailHeader(tagStart, group, element);
        return nullptr;
    }
    CDicomTag* item = m_file.GetNodeStore().NewTag(group, element);
    item->SetTagOffset(tagStart);
    item->SetParent(parent);
    item->Data().FreeBytes();
    item->Data().SetShortLength(0);
    item->Data().SetLongLength(length);
    item->SetValueOffset(m_cursor.Position());
    return item;
}

// ---------------------------------------------------------------------------------------------
// Values

bool CDicomReader::ReadElementBody(Encoding encoding, CDicomTag* tag, bool topLevel, ValueBody& body) {
    const bool encapsulated = topLevel && tag->IsPixelData() && !m_file.IsUncompressedIn(m_encoding.littleEndian);
    body = BodyOf(*tag, encoding.explicitVR, topLevel, encapsulated);
    if (body == ValueBody::Fragments) return ReadPixelFragments(encoding, tag);
    if (body == ValueBody::Sequence) return ReadSequence(encoding, tag);
    return ReadPlainValue(encoding, tag);
}

bool CDicomReader::ReadPlainValue(Encoding encoding, CDicomTag* tag) {
    const uint32_t length = tag->GetValueLength();
    if (length == kUndefinedLength || !m_cursor.Has(length)) return FailValueLength(tag, length);
    if (length != 0 && !ReadValue(encoding, tag)) return false;
    // An odd length moves on by that length, whatever the stored copy was padded to.
    m_cursor.MoveTo(tag->GetValueOffset() + length);
    tag->SetEndOffset(m_cursor.Position());
    return true;
}

bool CDicomReader::ReadValue(Encoding encoding, CDicomTag* tag) {
    if (tag->IsPixelData() && tag->GetParent() == nullptr) return ReadNativePixelData(encoding, tag);

    const uint32_t length = tag->GetValueLength();
    if (length == 0 || length == kUndefinedLength || !m_cursor.Has(length)) return FailValueLength(tag, length);
    // Large values stay in the file when it is kept; a date reads the 10 bytes it keeps.
    if (m_source != nullptr && length > m_deferAbove)
        return tag->DeferValue(m_source, length, !encoding.littleEndian) || FailValueLength(tag, length);
    // Small values go to the node store, larger ones into a block of their own.
    uint8_t* stored = m_file.GetNodeStore().NewBytes(length);
    HeapArray<uint8_t> block(stored == nullptr ? static_cast<uint8_t*>(std::malloc(length)) : nullptr);
    uint8_t* bytes = stored != nullptr ? stored : block.get();
    if (bytes == nullptr) throw std::bad_alloc();
    if (!m_cursor.Read(bytes, length)) return FailValueLength(tag, length);
    if (!encoding.littleEndian) {
        const size_t unit = SwapUnitFor(tag->GetVR());
        if (unit != 0) SwapUnits(bytes, length, unit);
    }
    return stored != nullptr ? tag->BorrowValue(stored, length) : tag->AdoptValue(block.release(), length);
}

bool CDicomReader::ReadNativePixelData(Encoding encoding, CDicomTag* tag) {
    // Native frames are kept in blocks of up to frameBlockSize bytes, as many whole frames as
    // fit (at least one), so that large blocks can use huge pages while no single block has to
    // span the whole pixel data. Sizes are computed in 64 bits and every frame must lie in the
    // file before anything is allocated for it.
    CDicomTag7FE0* pixel = static_cast<CDicomTag7FE0*>(tag);
    const uint64_t samples = m_file.m_samplesPerPixel == 0 ? 1 : m_file.m_samplesPerPixel;
    uint64_t frameSize = uint64_t(m_file.m_rows) * uint64_t(static_cast<uint32_t>(m_file.m_columns)) *
                         uint64_t(m_file.m_bitsAllocated) * samples / 8;
    if (m_file.IsPhotometric(L"YBR_FULL_422")) frameSize = 2 * frameSize / 3;
    const uint64_t frames = m_file.m_numberOfFrames;
    const uint64_t valueStart = m_cursor.Position();
    if (frameSize != 0 && frames != 0) {
        const uint64_t left = m_cursor.Left();
        if (frameSize > left || frames > left / frameSize)
            return FailAt(tag, Format("%llu %s of %llu bytes of (7FE0,0010) at offset %llu run past the end of the file "
                                      "(%llu %s left)",
                                      U(frames), frames == 1 ? "frame" : "frames", U(frameSize), U(tag->GetTagOffset()),
                                      U(left), Bytes(left)));
        if (m_source != nullptr) {
            // Frames stay in the file: nothing shows their bytes.
            pixel->MeasureFrames(frameSize, frames);
            m_cursor.MoveTo(valueStart);
            return true;
        }
        const bool swap = !encoding.littleEndian && tag->GetVR().Is(VRKind::OW);
        const uint64_t blockSize = m_file.GetParseOptions().frameBlockSize;
        const uint64_t perBlock = frameSize < blockSize ? blockSize / frameSize : 1;
        for (uint64_t frame = 0; frame < frames;) {
            const uint64_t count = frames - frame < perBlock ? frames - frame : perBlock;
            const size_t bytes = static_cast<size_t>(count * frameSize);
            LargeBlock block;
            if (!block.Allocate(bytes)) throw std::bad_alloc();
            if (!m_cursor.Read(block.Data(), bytes)) return FailValueLength(tag, bytes);
            if (swap) SwapUnits(block.Data(), bytes, 2);
            pixel->AddFrames(std::move(block), static_cast<uint32_t>(frameSize), static_cast<size_t>(count));
            frame += count;
        }
    }
    // The element's own length decides where the next byte is, whatever the frames covered.
    m_cursor.MoveTo(valueStart);
    return true;
}

bool CDicomReader::ReadTrailingData() {
    m_file.SetTrailingData(nullptr, 0);
    const uint64_t count = m_cursor.Left();
    if (count == 0) return true;
    if (m_source != nullptr) {
        // Left in the file, like the pixel data before them.
        m_file.SetTrailingData(nullptr, count);
        m_cursor.MoveTo(m_cursor.Size());
        return true;
    }
    std::unique_ptr<uint8_t[]> block(new uint8_t[static_cast<size_t>(count)]);
    const uint64_t start = m_cursor.Position();
    if (!m_cursor.Read(block.get(), static_cast<size_t>(count)))
        return Fail(start, Format("the %llu bytes after the pixel data at offset %llu could not be read", U(count), U(start)));
    m_file.SetTrailingData(std::move(block), count);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Format recognition and meta information

bool CDicomReader::ProbeOrder(bool littleEndian) {
    uint8_t b[4];
    if (!m_cursor.Peek(m_cursor.Position(), b, 4)) return false;
    return Read16(b, littleEndian) <= 0x0028 && Read16(b + 2, littleEndian) <= 0x0028;
}

bool CDicomReader::ProbeByteOrder() {
    m_encoding.littleEndian = ProbeOrder(true);
    if (!m_encoding.littleEndian && !ProbeOrder(false)) return FailNotDicom(m_cursor.Position());
    m_encodingKnown = true;
    return true;
}

bool CDicomReader::IsPapyrusFile() {
    uint8_t bytes[7];
    if (!m_cursor.Peek(132, bytes, 7)) return false;
    return std::memcmp(bytes, "PAPYRUS", 7) == 0;
}

bool CDicomReader::ReadPreambleAndMeta() {
    const bool read = [this]() {
        CDicomHeader& f = m_file;
        if (f.GetFileSize() < 132) {
            m_encoding.hasPreamble = false;
            m_encoding.explicitVR = false;
            m_preambleKnown = true;
            if (!ProbeByteOrder()) return false;
        } else {
            uint8_t preamble[128], magic[4];
            if (!m_cursor.Read(preamble, 128) || !m_cursor.Read(magic, 4)) return Fail(0, "the preamble could not be read");
            m_cursor.MoveTo(0);
            if (IsPapyrusFile()) return Fail(132, "a PAPYRUS file (\"PAPYRUS\" at offset 132) is not read");
            if (std::memcmp(magic, "DICM", 4) == 0) {
                m_cursor.MoveTo(132);
                m_encoding.hasPreamble = true;
                m_preambleKnown = true;
                if (!ProbeOrder(true) && !ProbeOrder(false)) return FailNotDicom(132);
                m_encodingKnown = true;
                if (!ReadMetaGroup()) return false;
                EncodingOfMeta(f, m_encoding.explicitVR, m_encoding.littleEndian);
            } else {
                m_encoding.hasPreamble = false;
                m_preambleKnown = true;
                uint8_t vr[2];
                if (!m_cursor.Peek(4, vr, 2)) return Fail(4, "the file could not be read at offset 4");
                m_encoding.explicitVR = (std::memcmp(vr, "AE", 2) == 0 || IsKnownVRCode(reinterpret_cast<const char*>(vr)));
                if (!ProbeByteOrder()) return false;
            }
        }
        if (m_encoding.explicitVR && !m_encoding.hasPreamble) {
            if (ReadDataSet()) return true;
            // A bare data set that looked explicit is read again from the start as implicit VR;
            // the reason the explicit reading failed goes with the record of the second.
            if (m_failure == nullptr) Fail(m_cursor.Position(), "the data set could not be read");
            const std::string note = DeflateNote(f);
            m_firstReason = note + m_failure->reason;
            m_failure.reset();
            m_pending.clear();
            m_file.DeleteAllElements();
            f.SetTrailingData(nullptr, 0);
            m_cursor.MoveTo(0);
            m_depth = 0;
            m_encoding.explicitVR = false;
            if (!ProbeByteOrder()) return false;
        }
        return ReadDataSet();
    }();
    // The result learns how its file is encoded in one go, also when a partial tree is kept.
    m_file.SetEncoding(m_encoding);
    if (!read) FinishFailure();
    return read;
}

bool CDicomReader::ReadMetaGroup() {
    const Encoding encoding = DataSetEncoding();
    for (;;) {
        const uint64_t tagStart = m_cursor.Position();
        uint16_t group = 0, element = 0;
        if (!ReadTag(encoding, group, element)) return false;
        if (group != 0x0002) {
            m_cursor.MoveTo(tagStart);
            return true;
        }
        CDicomTag* tag = m_file.GetNodeStore().NewTag(group, element);
        tag->SetTagOffset(tagStart);
        if (!ReadVRAndLength(encoding, tag) || !ReadPlainValue(encoding, tag)) return false;
        m_file.AddElement(tag);
    }
}

// ---------------------------------------------------------------------------------------------
// The data set

// Children are collected on m_pending while their parent is read and handed to it in one go
// when it is complete, so that each parent's list is allocated once, at its final size.
void CDicomReader::AdoptPending(CDicomTag* parent, size_t first) {
    m_file.GetNodeStore().AddChildren(parent, m_pending.data() + first, m_pending.size() - first);
    m_pending.resize(first);
}

bool CDicomReader::CloseComplete(CDicomTag* container, size_t firstPending) {
    container->SetEndOffset(m_cursor.Position());
    AdoptPending(container, firstPending);
    return true;
}

bool CDicomReader::CloseIncomplete(CDicomTag* container, size_t firstPending) {
    AdoptPending(container, firstPending);
    container->SetIncomplete();
    const CDicomTagList& children = container->GetChildren();
    container->SetEndOffset(children.empty() ? container->GetValueOffset() : children.back()->GetEndOffset());
    return false;
}

bool CDicomReader::ReadDataSet() {
    CDicomHeader& f = m_file;
    for (;;) {
        // The encoding may change after (0002,0010) of a bare data set.
        const Encoding encoding = DataSetEncoding();
        const uint64_t tagStart = m_cursor.Position();
        uint16_t group = 0, element = 0;
        if (!ReadTag(encoding, group, element)) return false;
        if (f.GetElements().size() > 50 && group == 0x0000)
            return FailAt(tagStart, group, element,
                          TagText(group, element) + Format(" at offset %llu: group 0000 after more than 50 top-level elements", U(tagStart)));
        if (group == 0x8000)
            return FailAt(tagStart, group, element,
                          TagText(group, element) + Format(" at offset %llu: group 8000 is refused at the top level", U(tagStart)));

        const bool isPixel = group == 0x7FE0 && element == 0x0010;
        if (isPixel) f.FillPixelModule();
        // The top-level pixel data element is the one node of its own class, made with new; it
        // is owned here until the element list holds it.
        std::unique_ptr<CDicomTag7FE0> pixel(isPixel ? new CDicomTag7FE0(group, element) : nullptr);
        CDicomTag* tag = isPixel ? pixel.get() : f.GetNodeStore().NewTag(group, element);
        tag->SetTagOffset(tagStart);
        if (!ReadVRAndLength(encoding, tag)) return false;

        ValueBody body;
        const bool read = ReadElementBody(encoding, tag, true, body);
        // An open container stays in the partial tree; the element that broke a rule does not.
        if (read || !tag->IsComplete()) {
            f.AddElement(tag);
            pixel.release();
        }
        if (!read) return false;
        // Nothing after encapsulated pixel data is parsed: it is kept as trailing data.
        if (body == ValueBody::Fragments) return ReadTrailingData();
        const bool value = body == ValueBody::Value;
        if (value && isPixel && !encoding.explicitVR) {
            const CDicomTag* bits = f.FindElement(0x0028, 0x0100);
            if (bits != nullptr && bits->GetNumericValue() > 8) tag->SetVR(L"OW");
        }
        if (value && !m_encoding.hasPreamble && group == 0x0002 && element == 0x0010) EncodingOfMeta(f, m_encoding.explicitVR, m_encoding.littleEndian);
        if (m_cursor.AtEnd()) return true;
        if (value && isPixel) return ReadTrailingData();
    }
}

bool CDicomReader::ReadSequence(Encoding encoding, CDicomTag* sequence) {
    if (m_depth >= kMaxSequenceDepth) return FailAt(sequence, Format("sequence nesting deeper than %d", kMaxSequenceDepth));
    ++m_depth;
    struct DepthGuard {
        int& depth;
        ~DepthGuard() { --depth; }
    } depthGuard{m_depth};
    const OpenGuard open(*this, sequence);

    const size_t firstItem = m_pending.size();
    auto fail = [this, sequence, firstItem]() { return CloseIncomplete(sequence, firstItem); };
    const bool undefined = sequence->IsUndefinedLength();
    // The items of an undefined-length UN element, their headers and the sequence delimiter are
    // implicit VR little endian, whatever the data set.
    const Encoding items = sequence->GetVR().Is(VRKind::UN) && undefined ? Encoding::UnknownItems() : encoding;
    uint64_t total = 0;
    for (;;) {
        const bool delimited = undefined && PeekDelimiter(items, 0xE0DD);
        if (delimited && !ReadDelimiterLength(0xE0DD)) return fail();
        if (delimited || (!undefined && total >= sequence->GetValueLength())) return CloseComplete(sequence, firstItem);
        const uint64_t itemStart = m_cursor.Position();
        uint16_t group = 0, element = 0;
        if (!ReadTag(items, group, element)) return fail();
        if (!undefined && !(group == 0xFFFE && element == 0xE000)) {
            FailAt(itemStart, group, element,
                   TagText(group, element) + Format(" at offset %llu where an item tag (FFFE,E000) is required", U(itemStart)));
            return fail();
        }
        CDicomTag* item = ReadItemHeader(items, sequence, itemStart, group, element);
        if (item == nullptr) return fail();
        if (!ReadItemContent(items, item)) {
            if (!item->IsComplete()) m_pending.push_back(item);
            return fail();
        }
        // Defined-length sequences count the bytes their items really took in the file.
        total += m_cursor.Position() - itemStart;
        m_pending.push_back(item);
    }
}

bool CDicomReader::ReadItemContent(Encoding encoding, CDicomTag* item) {
    const uint32_t itemLength = item->GetValueLength();
    if (itemLength == 0) {
        item->SetEndOffset(m_cursor.Position());
        return true;
    }
    const OpenGuard open(*this, item);
    const bool undefined = itemLength == kUndefinedLength;
    const uint64_t end = m_cursor.Position() + itemLength;
    const size_t firstChild = m_pending.size();
    auto fail = [this, item, firstChild]() { return CloseIncomplete(item, firstChild); };
    auto complete = [this, item, firstChild]() { return CloseComplete(item, firstChild); };
    for (;;) {
        // A defined length ends where it says (it is not 0, so one element comes first).
        if (!undefined && m_cursor.Position() >= end) return complete();
        if (undefined && PeekDelimiter(encoding, 0xE00D)) return ReadDelimiterLength(0xE00D) ? complete() : fail();
        const uint64_t tagStart = m_cursor.Position();
        uint16_t group = 0, element = 0;
        if (!ReadTag(encoding, group, element)) return fail();
        CDicomTag* tag = m_file.GetNodeStore().NewTag(group, element);
        tag->SetTagOffset(tagStart);
        tag->SetParent(item);
        if (!ReadVRAndLength(encoding, tag)) return fail();

        ValueBody body;
        if (!ReadElementBody(encoding, tag, false, body)) {
            if (!tag->IsComplete()) m_pending.push_back(tag);
            return fail();
        }
        m_pending.push_back(tag);
        if (body != ValueBody::Value && m_cursor.AtEnd()) return complete();
    }
}

bool CDicomReader::ReadPixelFragments(Encoding encoding, CDicomTag* pixel) {
    pixel->SetValueOffset(m_cursor.Position());
    const OpenGuard open(*this, pixel);
    const size_t firstItem = m_pending.size();
    auto fail = [this, pixel, firstItem]() { return CloseIncomplete(pixel, firstItem); };

    // The fragments of the top-level pixel data, the last element parsed, go one after another
    // into one block as large as the rest of the file, laid out for huge pages (only the pages
    // the fragments fill are ever touched). Where that block cannot be had, or the rest is small,
    // each fragment is read like any other value.
    uint8_t* fragmentBytes = nullptr;
    uint64_t fragmentRoom = 0;
    const uint64_t rest = m_cursor.Left();
    const bool leaveInFile = m_source != nullptr && pixel->GetParent() == nullptr;
    if (!leaveInFile && pixel->GetParent() == nullptr && rest >= m_file.GetParseOptions().fragmentBlockMinimum) {
        LargeBlock block;
        if (block.Allocate(static_cast<size_t>(rest))) {
            fragmentBytes = block.Data();
            fragmentRoom = rest;
            m_file.GetNodeStore().Keep(std::move(block));
        }
    }

    // Reads one item header and value (the tag already read) and keeps it for the pixel element.
    auto readFragment = [this, encoding, pixel, leaveInFile, &fragmentBytes, &fragmentRoom](
                            uint16_t group, uint16_t element, uint64_t tagStart, uint32_t& length) -> bool {
        CDicomTag* item = ReadItemHeader(encoding, pixel, tagStart, group, element);
        if (item == nullptr) return false;
        length = item->GetValueLength();
        if (length == kUndefinedLength)
            return FailAt(item, TagText(group, element) + Format(" at offset %llu: a fragment has no undefined length", U(tagStart)));
        if (!m_cursor.Has(length)) return FailValueLength(item, length);
        if (length != 0 && leaveInFile) {
            // The top-level fragments stay in the file whatever their size.
            if (!item->DeferValue(m_source, length, false)) return FailValueLength(item, length);
        } else if (length != 0 && length <= fragmentRoom) {
            // Items have no VR, so their bytes are never swapped.
            if (!m_cursor.Read(fragmentBytes, length)) return FailValueLength(item, length);
            item->BorrowValue(fragmentBytes, length);
            fragmentBytes += length;
            fragmentRoom -= length;
        } else if (length != 0 && !ReadValue(encoding, item)) {
            return false;
        }
        m_cursor.MoveTo(item->GetValueOffset() + length);
        item->SetEndOffset(m_cursor.Position());
        m_pending.push_back(item);
        return true;
    };
    auto notAnItem = [this](uint64_t tagStart, uint16_t group, uint16_t element, const char* required) {
        return FailAt(tagStart, group, element,
                      TagText(group, element) + Format(" at offset %llu where %s is required", U(tagStart), required));
    };

    // The basic offset table comes first and must be an item; then fragments up to the sequence
    // delimiter, or as many as the defined length holds.
    const bool undefined = pixel->IsUndefinedLength();
    uint64_t total = 0;
    for (bool first = true; undefined || first || total < pixel->GetValueLength(); first = false) {
        const uint64_t tagStart = m_cursor.Position();
        uint16_t group = 0, element = 0;
        if (!ReadTag(encoding, group, element)) return fail();
        if (undefined && !first && group == 0xFFFE && element == 0xE0DD) {
            uint32_t delimiterLength;
            if (!ReadUInt32(encoding, delimiterLength)) {
                FailDelimiter(tagStart, 0xE0DD);
                return fail();
            }
            break;
        }
        if ((first || undefined) && (group != 0xFFFE || element != 0xE000)) {
            notAnItem(tagStart, group, element,
                      first ? "an item tag (FFFE,E000) for the offset table"
                            : "an item tag (FFFE,E000) or the sequence delimiter (FFFE,E0DD)");
            return fail();
        }
        uint32_t length;
        if (!readFragment(group, element, tagStart, length)) return fail();
        total += uint64_t(length) + 8;
    }
    return CloseComplete(pixel, firstItem);
}
