#include "bench/BenchFiles.h"

#include <stdexcept>

#include "tests/support/DicomWriter.h"

namespace {

const char kExplicitLE[] = "1.2.840.10008.1.2.1";
const char kImplicitLE[] = "1.2.840.10008.1.2";
const char kJpegBaseline[] = "1.2.840.10008.1.2.4.50";
const char kUidRoot[] = "1.2.826.0.1.3680043.10.1191";

std::string Even(std::string text, char pad = ' ') {
    if (text.size() % 2) text += pad;
    return text;
}

std::string Uid(const std::string& uid) { return Even(uid, '\0'); }

std::vector<uint8_t> Little16(uint16_t value) {
    return {static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>(value >> 8)};
}

std::vector<uint8_t> Little32(uint32_t value) {
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
            static_cast<uint8_t>(value >> 24)};
}

// The test writer with a count of the nodes a parser makes of what it wrote.
class Counted {
public:
    explicit Counted(DicomWriter& writer) : m_w(writer) {}

    Counted& Element(uint16_t group, uint16_t element, const char* vr, const std::string& value) {
        m_w.Element(group, element, vr, value);
        ++m_nodes;
        return *this;
    }
    Counted& Element(uint16_t group, uint16_t element, const char* vr, const std::vector<uint8_t>& value) {
        m_w.Element(group, element, vr, value);
        ++m_nodes;
        return *this;
    }
    Counted& US(uint16_t group, uint16_t element, uint16_t value) {
        m_w.US(group, element, value);
        ++m_nodes;
        return *this;
    }
    Counted& BeginSequence(uint16_t group, uint16_t element, bool undefined) {
        m_w.BeginSequence(group, element, undefined);
        ++m_nodes;
        return *this;
    }
    Counted& EndSequence() {
        m_w.EndSequence();
        return *this;
    }
    Counted& BeginItem(bool undefined) {
        m_w.BeginItem(undefined);
        ++m_nodes;
        return *this;
    }
    Counted& EndItem() {
        m_w.EndItem();
        return *this;
    }
    // A node whose bytes the caller writes itself.
    void Add(uint64_t count) { m_nodes += count; }

    DicomWriter& Writer() { return m_w; }
    uint64_t Nodes() const { return m_nodes; }

private:
    DicomWriter& m_w;
    uint64_t m_nodes = 0;
};

// Preamble and a meta group with its group length, in explicit VR little endian; the writer is
// left in the data set's encoding.
void WriteMeta(Counted& out, const char* sopClass, const std::string& instance, const char* syntax, bool explicitVR) {
    DicomWriter meta(true, true);
    meta.Element(0x0002, 0x0001, "OB", BytesOf({0x00, 0x01}))
        .Element(0x0002, 0x0002, "UI", Uid(sopClass))
        .Element(0x0002, 0x0003, "UI", Uid(instance))
        .Element(0x0002, 0x0010, "UI", Uid(syntax))
        .Element(0x0002, 0x0012, "UI", Uid(kUidRoot))
        .Element(0x0002, 0x0013, "SH", Even("ORVEL_BENCH"));
    DicomWriter& w = out.Writer();
    w.Mode(true, true).Preamble();
    out.Element(0x0002, 0x0000, "UL", Little32(static_cast<uint32_t>(meta.Size())));
    w.Raw(meta.Bytes());
    out.Add(6);
    w.Mode(explicitVR, true);
}

// ---------------------------------------------------------------------------------------------
// Elements files

const char* const kWords[16] = {"Left",  "ventricular", "end",   "diastolic", "volume", "Right",
                                "atrial", "pressure",   "septal", "wall",     "thickness", "mitral",
                                "valve", "area",        "peak",  "velocity"};

// Latin-1 bytes in some of them, so that decoding has real work to do.
const char* const kNames[4] = {"Doe^Jane", "M\xFCller^J\xFCrgen", "O'Brien^Siobh\xE1n^^Dr.", "Nguy\xEAn^Van An"};

enum class ItemKind { Text, Name, Matrix, Number };

// The content items repeat in groups of eight: three text, two person name, two with a US list,
// one numeric measurement whose units sit two sequences further down.
ItemKind KindOf(uint32_t k) {
    switch (k % 8) {
        case 0: case 3: case 6: return ItemKind::Text;
        case 1: case 4: return ItemKind::Name;
        case 2: case 5: return ItemKind::Matrix;
        default: return ItemKind::Number;
    }
}

// Nodes of one content item without the optional observation UID.
uint64_t ItemNodes(ItemKind kind) {
    const uint64_t common = 8;  // item, relationship, value type, code sequence, its item and 3 leaves
    return kind == ItemKind::Number ? common + 8 : common + 1;
}

std::string Meaning(uint32_t k) {
    return std::string(kWords[k % 16]) + " " + kWords[(k / 16) % 16] + " " + kWords[(k / 256) % 16] +
           " measurement " + std::to_string(k);
}

void WriteCode(Counted& c, bool undefined, const std::string& value, const char* scheme, const std::string& meaning) {
    c.BeginItem(undefined)
        .Element(0x0008, 0x0100, "SH", Even(value))
        .Element(0x0008, 0x0102, "SH", Even(scheme))
        .Element(0x0008, 0x0104, "LO", Even(meaning))
        .EndItem();
}

void WriteContentItem(Counted& c, uint32_t k, bool withUid) {
    const ItemKind kind = KindOf(k);
    c.BeginItem(k % 2 == 0);
    if (kind == ItemKind::Matrix) {
        std::vector<uint8_t> matrix;
        for (uint16_t v : {uint16_t(0), uint16_t(256 + k % 256), uint16_t(192), uint16_t(0)}) {
            const std::vector<uint8_t> bytes = Little16(v);
            matrix.insert(matrix.end(), bytes.begin(), bytes.end());
        }
        c.Element(0x0018, 0x1310, "US", matrix);
    }
    const char* valueType = kind == ItemKind::Text ? "TEXT" : kind == ItemKind::Name ? "PNAME"
                          : kind == ItemKind::Matrix ? "SCOORD" : "NUM";
    c.Element(0x0040, 0xA010, "CS", Even("CONTAINS")).Element(0x0040, 0xA040, "CS", Even(valueType));
    c.BeginSequence(0x0040, 0xA043, k % 3 != 0);
    WriteCode(c, k % 3 == 1, "ORV" + std::to_string(100000 + k), "99ORVEL", Meaning(k));
    c.EndSequence();
    if (kind == ItemKind::Name) c.Element(0x0040, 0xA123, "PN", Even(kNames[(k / 8) % 4]));
    if (kind == ItemKind::Text)
        c.Element(0x0040, 0xA160, "UT",
                  Even("Finding " + std::to_string(k) + ": " + Meaning(k * 7 + 3) +
                       " at rest in the apical four chamber view, within the normal range for age and sex;"
                       " no change since the prior study"));
    if (withUid) c.Element(0x0040, 0xA171, "UI", Uid(std::string(kUidRoot) + ".3." + std::to_string(k + 1)));
    if (kind == ItemKind::Number) {
        c.BeginSequence(0x0040, 0xA300, k % 16 == 7).BeginItem(false);
        c.BeginSequence(0x0040, 0x08EA, true);
        WriteCode(c, false, "mm", "UCUM", "millimeter");
        c.EndSequence();
        c.Element(0x0040, 0xA30A, "DS", Even(std::to_string(10 + k % 90) + "." + std::to_string(k % 10) + "5"));
        c.EndItem().EndSequence();
    }
    c.EndItem();
}

void WriteElementsContent(Counted& c, bool explicitVR, const BenchScale& scale) {
    const std::string instance = std::string(kUidRoot) + ".2." + (explicitVR ? "1" : "2");
    WriteMeta(c, "1.2.840.10008.5.1.4.1.1.88.33", instance, explicitVR ? kExplicitLE : kImplicitLE, explicitVR);
    c.Element(0x0008, 0x0005, "CS", Even("ISO_IR 100"))
        .Element(0x0008, 0x0016, "UI", Uid("1.2.840.10008.5.1.4.1.1.88.33"))
        .Element(0x0008, 0x0018, "UI", Uid(instance))
        .Element(0x0008, 0x0020, "DA", std::string("20261208"))
        .Element(0x0008, 0x0030, "TM", Even("101500"))
        .Element(0x0008, 0x0060, "CS", Even("SR"))
        .Element(0x0008, 0x0070, "LO", Even("Orvel"))
        .Element(0x0010, 0x0010, "PN", Even("M\xFCller^J\xFCrgen"))
        .Element(0x0010, 0x0020, "LO", Even("ORV-BENCH"))
        .Element(0x0010, 0x0030, "DA", std::string("19700101"))
        .Element(0x0010, 0x0040, "CS", Even("O"))
        .Element(0x0020, 0x000D, "UI", Uid(std::string(kUidRoot) + ".4"))
        .Element(0x0020, 0x000E, "UI", Uid(std::string(kUidRoot) + ".5"))
        .Element(0x0020, 0x0010, "SH", Even("1"))
        .Element(0x0020, 0x0011, "IS", Even("1"))
        .Element(0x0020, 0x0013, "IS", Even("1"))
        .Element(0x0040, 0xA040, "CS", Even("CONTAINER"))
        .Element(0x0040, 0xA050, "CS", Even("SEPARATE"))
        .Element(0x0040, 0xA491, "CS", Even("COMPLETE"))
        .Element(0x0040, 0xA493, "CS", Even("VERIFIED"))
        .BeginSequence(0x0040, 0xA730, true);

    // The first items carry an observation UID as well, as many as it takes to reach the node
    // count exactly.
    uint64_t planned = c.Nodes();
    for (uint32_t k = 0; k < scale.items; ++k) planned += ItemNodes(KindOf(k));
    if (planned > scale.nodes || scale.nodes - planned > scale.items)
        throw std::invalid_argument("no item layout gives that node count");
    const uint64_t withUid = scale.nodes - planned;
    for (uint32_t k = 0; k < scale.items; ++k) WriteContentItem(c, k, k < withUid);
    c.EndSequence();
}

bool Put(FILE* out, const void* bytes, size_t count) {
    return out == nullptr || count == 0 || std::fwrite(bytes, 1, count, out) == count;
}

// ---------------------------------------------------------------------------------------------
// Pixel files

void WriteImageHeader(Counted& c, const char* sopClass, const char* syntax, const std::string& instance,
                      uint32_t frames, uint32_t rows, uint32_t columns, uint16_t bits) {
    WriteMeta(c, sopClass, instance, syntax, true);
    c.Element(0x0008, 0x0016, "UI", Uid(sopClass))
        .Element(0x0008, 0x0018, "UI", Uid(instance))
        .Element(0x0008, 0x0020, "DA", std::string("20261208"))
        .Element(0x0008, 0x0060, "CS", Even("OT"))
        .Element(0x0010, 0x0010, "PN", Even("Bench^Frames"))
        .Element(0x0010, 0x0020, "LO", Even("ORV-BENCH"))
        .Element(0x0020, 0x000D, "UI", Uid(std::string(kUidRoot) + ".4"))
        .Element(0x0020, 0x000E, "UI", Uid(std::string(kUidRoot) + ".6"))
        .Element(0x0020, 0x0013, "IS", Even("1"))
        .US(0x0028, 0x0002, 1)
        .Element(0x0028, 0x0004, "CS", Even("MONOCHROME2"))
        .Element(0x0028, 0x0008, "IS", Even(std::to_string(frames)))
        .US(0x0028, 0x0010, static_cast<uint16_t>(rows))
        .US(0x0028, 0x0011, static_cast<uint16_t>(columns))
        .US(0x0028, 0x0100, bits)
        .US(0x0028, 0x0101, bits == 16 ? 12 : 8)
        .US(0x0028, 0x0102, bits == 16 ? 11 : 7)
        .US(0x0028, 0x0103, 0);
}

}  // namespace

BenchScale FullScale() { return BenchScale{20000, 200000, 1000, 512, 512, 2000, 100 * 1024}; }
BenchScale SmallScale() { return BenchScale{200, 2100, 10, 64, 64, 20, 1024}; }

std::vector<uint8_t> ElementsFileBytes(bool explicitVR, const BenchScale& scale, BenchFileLayout* layout) {
    DicomWriter w(explicitVR, true);
    Counted c(w);
    WriteElementsContent(c, explicitVR, scale);
    if (layout != nullptr) {
        layout->nodes = c.Nodes();
        layout->size = w.Size();
    }
    return w.Bytes();
}

BenchFileLayout WriteElementsFile(FILE* out, bool explicitVR, const BenchScale& scale, bool& ok) {
    BenchFileLayout layout;
    const std::vector<uint8_t> bytes = ElementsFileBytes(explicitVR, scale, &layout);
    ok = Put(out, bytes.data(), bytes.size());
    return layout;
}

BenchFileLayout WriteFramesFile(FILE* out, const BenchScale& scale, bool& ok) {
    DicomWriter w(true, true);
    Counted c(w);
    WriteImageHeader(c, "1.2.840.10008.5.1.4.1.1.7.3", kExplicitLE, std::string(kUidRoot) + ".2.3", scale.frames,
                     scale.rows, scale.columns, 16);
    const uint64_t frameBytes = uint64_t(scale.rows) * scale.columns * 2;
    const uint64_t pixelBytes = frameBytes * scale.frames;
    if (pixelBytes >= 0xFFFFFFFFull) throw std::invalid_argument("pixel data too large for one value");
    w.Header(0x7FE0, 0x0010, "OW", static_cast<uint32_t>(pixelBytes));
    c.Add(1);
    ok = Put(out, w.Bytes().data(), w.Size());

    // Each frame a different 12-bit ramp, so no two frames are alike.
    std::vector<uint8_t> frame(out != nullptr ? frameBytes : 0);
    for (uint32_t f = 0; out != nullptr && ok && f < scale.frames; ++f) {
        size_t at = 0;
        for (uint32_t y = 0; y < scale.rows; ++y)
            for (uint32_t x = 0; x < scale.columns; ++x) {
                const uint16_t value = static_cast<uint16_t>((3 * x + 5 * y + 7 * f) & 0x0FFF);
                frame[at++] = static_cast<uint8_t>(value & 0xFF);
                frame[at++] = static_cast<uint8_t>(value >> 8);
            }
        ok = Put(out, frame.data(), frame.size());
    }
    return BenchFileLayout{c.Nodes(), w.Size() + pixelBytes};
}

BenchFileLayout WriteFragmentsFile(FILE* out, const BenchScale& scale, bool& ok) {
    DicomWriter w(true, true);
    Counted c(w);
    WriteImageHeader(c, "1.2.840.10008.5.1.4.1.1.7", kJpegBaseline, std::string(kUidRoot) + ".2.4", scale.fragments,
                     512, 512, 8);
    // One fragment per frame; the offset table gives where each starts, counted from the first.
    std::vector<uint8_t> offsets;
    for (uint32_t i = 0; i < scale.fragments; ++i) {
        const std::vector<uint8_t> bytes = Little32(i * (scale.fragmentBytes + 8));
        offsets.insert(offsets.end(), bytes.begin(), bytes.end());
    }
    w.Header(0x7FE0, 0x0010, "OB", 0xFFFFFFFFu);
    w.Tag(0xFFFE, 0xE000).U32(static_cast<uint32_t>(offsets.size())).Raw(offsets);
    c.Add(2);
    ok = Put(out, w.Bytes().data(), w.Size());
    uint64_t size = w.Size();

    // Bytes shaped like a JPEG stream (start and end markers); nobody decodes them.
    std::vector<uint8_t> fragment(8 + scale.fragmentBytes);
    for (uint32_t i = 0; i < scale.fragments; ++i) {
        DicomWriter header(true, true);
        header.Tag(0xFFFE, 0xE000).U32(scale.fragmentBytes);
        std::copy(header.Bytes().begin(), header.Bytes().end(), fragment.begin());
        for (uint32_t j = 0; j < scale.fragmentBytes; ++j) fragment[8 + j] = static_cast<uint8_t>((i * 131 + j * 7) & 0x7F);
        fragment[8] = 0xFF;
        fragment[9] = 0xD8;
        fragment[8 + scale.fragmentBytes - 2] = 0xFF;
        fragment[8 + scale.fragmentBytes - 1] = 0xD9;
        if (ok) ok = Put(out, fragment.data(), fragment.size());
        size += fragment.size();
    }
    c.Add(scale.fragments);
    DicomWriter end(true, true);
    end.Tag(0xFFFE, 0xE0DD).U32(0);
    if (ok) ok = Put(out, end.Bytes().data(), end.Size());
    return BenchFileLayout{c.Nodes(), size + end.Size()};
}

namespace {
BenchFileLayout WriteExplicit(FILE* out, const BenchScale& scale, bool& ok) { return WriteElementsFile(out, true, scale, ok); }
BenchFileLayout WriteImplicit(FILE* out, const BenchScale& scale, bool& ok) { return WriteElementsFile(out, false, scale, ok); }
}  // namespace

const std::vector<BenchFileKind>& BenchFileKinds() {
    static const std::vector<BenchFileKind> kinds = {
        {"elements-explicit.dcm", WriteExplicit},
        {"elements-implicit.dcm", WriteImplicit},
        {"frames-native.dcm", WriteFramesFile},
        {"fragments.dcm", WriteFragmentsFile},
    };
    return kinds;
}
