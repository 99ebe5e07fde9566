// The parse entry points of CDicomHeader: open or measure the stream, run one CDicomReader
// over it, and finish what the whole data set decides (the element count, the pixel module,
// the palette, the ultrasound regions).
#include "dicom/model/DicomHeader.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "dicom/io/FileStream.h"
#include "dicom/read/DicomReader.h"

namespace {
// The system's text for an error number; the fixed text where a read came back short without one.
std::string ReadErrorText(int error) {
    return error > 0 ? std::strerror(error) : "the file became shorter while it was read";
}
}  // namespace

bool CDicomHeader::ParseFile(const std::wstring& path) {
    errno = 0;
    FILE* stream = OpenFileForReading(path);
    if (stream == nullptr) return RefuseBefore("the file cannot be opened", errno);
    // The reader keeps a read-ahead block of its own: a second buffer in the stream would only
    // cost a status call to size it and a copy of every byte.
    std::setvbuf(stream, nullptr, _IONBF, 0);
    FILE* owner = stream;
    const bool parsed = Parse(stream, &owner, true);
    if (owner != nullptr) std::fclose(owner);
    return parsed;
}

bool CDicomHeader::ParseStream(FILE* stream) { return Parse(stream, nullptr); }

bool CDicomHeader::ParseOwnedStream(FILE* stream) {
    // Parse clears `owner` when it hands the stream to the value source.
    FILE* owner = stream;
    const bool parsed = Parse(stream, &owner);
    if (owner != nullptr) std::fclose(owner);
    return parsed;
}

namespace {
// "2 GiB", "512 MiB" or "1000 bytes", for the size limit in a reason.
std::string SizeText(int64_t size) {
    if (size > 0 && size % (int64_t(1) << 30) == 0) return std::to_string(size >> 30) + " GiB";
    if (size > 0 && size % (int64_t(1) << 20) == 0) return std::to_string(size >> 20) + " MiB";
    return std::to_string(size) + " bytes";
}
}  // namespace

bool CDicomHeader::Parse(FILE* stream, FILE** owner, bool fresh) {
    Reset();
    m_failure.reset();
    try {
        errno = 0;
        bool moved = true;
        const int64_t size = StreamSize(stream, fresh ? &moved : nullptr);
        if (size < 0 && errno == EOVERFLOW) {
            // Where file offsets have 32 bits, a file of 2 GiB or more cannot even be measured.
            RefuseBefore("the file is too large to measure; files of 2 GiB or more are not read");
            m_failure->offset = 0;
            return false;
        }
        if (size < 0 || (moved && !SeekStream(stream, 0))) return RefuseBefore("the size of the file cannot be read", errno);
        if (size >= m_options.maxFileSize) {
            const std::string reason = "the file is " + std::to_string(size) + " bytes long; files of " +
                                       SizeText(m_options.maxFileSize) + " or more are not read";
            RefuseBefore(reason.c_str());
            m_failure->offset = 0;
            m_failure->fileSize = size;
            return false;
        }
        m_fileSize = size;
        m_nodeStore.PlanFor(static_cast<uint64_t>(size));
        // Values left in the file are read through the reader while it runs, then from the stream.
        if (owner != nullptr && m_options.deferValuesAbove != 0)
            m_valueSource.reset(new CValueSource(static_cast<uint64_t>(size)));
        {
            CDicomReader reader(*this, stream);
            const bool read = reader.ReadPreambleAndMeta();
            if (!read) {
                m_failure = reader.TakeFailure();
                // Bytes the size promised did not come: that, not their content, is why.
                if (m_failure != nullptr && reader.ReadError() != 0) m_failure->ioError = ReadErrorText(reader.ReadError());
            }
            // A refused file's values are read from its partial tree, if it kept one.
            CValueSource* source = read ? GetValueSource() : m_failure != nullptr ? m_failure->tree.GetValueSource() : nullptr;
            if (source != nullptr && source->GetValueCount() != 0 && owner != nullptr && *owner != nullptr) {
                source->ReadFromStream(stream);
                *owner = nullptr;
            } else if (source != nullptr) {
                source->Close();
            }
            if (!read) {
                Reset();
                return false;
            }
        }
        if (m_elements.size() < 6) {
            RefuseWhole("only " + std::to_string(m_elements.size()) + " top-level element" +
                        (m_elements.size() == 1 ? "" : "s") + " (meta elements included); at least 6 are required");
            return false;
        }
        FillPixelModule();
        if (IsPhotometric(L"PALETTE COLOR") && !ReadPaletteTables()) {
            RefuseWhole("the palette descriptors and data of a PALETTE COLOR image do not agree");
            return false;
        }
        if (IsUltrasound()) BuildUltrasoundRegions();
        return true;
    } catch (const std::bad_alloc&) {
        // Running out of memory anywhere in the parse refuses the file like any other failure.
        m_failure.reset();
        return RefuseBefore("not enough memory to read the file");
    }
}

bool CDicomHeader::RefuseBefore(const char* reason, int error) {
    Reset();
    m_failure.reset(new ParseFailure());
    m_failure->reason = reason;
    if (error != 0) m_failure->ioError = std::strerror(error);
    return false;
}

void CDicomHeader::RefuseWhole(const std::string& reason) {
    m_failure.reset(new ParseFailure());
    m_failure->reason = DeflateNote(*this) + reason;
    m_failure->fileSize = m_fileSize;
    m_failure->hasPreamble = m_hasPreamble != 0;
    m_failure->explicitVR = m_explicitVR != 0;
    m_failure->littleEndian = m_littleEndian != 0;
    if (m_options.keepPartialTree) m_failure->tree.TakeTree(*this);
    Reset();
}

