// Writes samples/sample.dcm: a small explicit-VR little-endian CT-like file with a nested
// sequence and a 64 x 64 8-bit native image, made with the test writer so that every byte is
// ours. Usage: make_sample OUTPUT
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/DicomWriter.h"

namespace {

std::string Even(std::string text, char pad = ' ') {
    if (text.size() % 2) text += pad;
    return text;
}

std::string Uid(const std::string& uid) { return Even(uid, '\0'); }

}  // namespace

std::vector<uint8_t> SampleBytes() {
    DicomWriter w;
    w.Preamble();
    w.Element(0x0002, 0x0000, "UL", BytesOf({0, 0, 0, 0}));  // patched below
    const size_t metaStart = w.Size();
    w.Element(0x0002, 0x0001, "OB", BytesOf({0x00, 0x01}))
        .Element(0x0002, 0x0002, "UI", Uid("1.2.840.10008.5.1.4.1.1.7"))
        .Element(0x0002, 0x0003, "UI", Uid("1.2.826.0.1.3680043.10.1191.1.1"))
        .Element(0x0002, 0x0010, "UI", Uid("1.2.840.10008.1.2.1"))
        .Element(0x0002, 0x0012, "UI", Uid("1.2.826.0.1.3680043.10.1191"))
        .Element(0x0002, 0x0013, "SH", Even("ORVEL_SAMPLE"));
    const uint32_t metaLength = static_cast<uint32_t>(w.Size() - metaStart);

    w.Element(0x0008, 0x0005, "CS", Even("ISO_IR 100"))
        .Element(0x0008, 0x0008, "CS", Even("ORIGINAL\\PRIMARY"))
        .Element(0x0008, 0x0016, "UI", Uid("1.2.840.10008.5.1.4.1.1.7"))
        .Element(0x0008, 0x0018, "UI", Uid("1.2.826.0.1.3680043.10.1191.1.1"))
        .Element(0x0008, 0x0020, "DA", std::string("20261208"))
        .Element(0x0008, 0x0030, "TM", Even("101500"))
        .Element(0x0008, 0x0060, "CS", Even("OT"))
        .Element(0x0008, 0x0070, "LO", Even("Orvel"))
        .BeginSequence(0x0008, 0x1140, true)
        .BeginItem(true)
        .Element(0x0008, 0x1150, "UI", Uid("1.2.840.10008.5.1.4.1.1.2"))
        .Element(0x0008, 0x1155, "UI", Uid("1.2.826.0.1.3680043.10.1191.1.0"))
        .EndItem()
        .BeginItem(false)
        .Element(0x0008, 0x1150, "UI", Uid("1.2.840.10008.5.1.4.1.1.4"))
        .Element(0x0008, 0x1155, "UI", Uid("1.2.826.0.1.3680043.10.1191.1.2"))
        .EndItem()
        .EndSequence()
        .Element(0x0010, 0x0010, "PN", Even("Sample^Patient"))
        .Element(0x0010, 0x0020, "LO", Even("ORV-0001"))
        .Element(0x0010, 0x0030, "DA", std::string("19700101"))
        .Element(0x0010, 0x0040, "CS", Even("O"))
        .Element(0x0018, 0x0050, "DS", Even("1.25"))
        .Element(0x0018, 0x6028, "FD", BytesOf({0, 0, 0, 0, 0, 0, 0xF8, 0x3F}))
        .Element(0x0020, 0x000D, "UI", Uid("1.2.826.0.1.3680043.10.1191.2"))
        .Element(0x0020, 0x0013, "IS", Even("1"))
        .Element(0x0020, 0x0032, "DS", Even("-32\\-32\\0"))
        .US(0x0028, 0x0002, 1)
        .Element(0x0028, 0x0004, "CS", Even("MONOCHROME2"))
        .US(0x0028, 0x0010, 64)
        .US(0x0028, 0x0011, 64)
        .Element(0x0028, 0x0030, "DS", Even("0.5\\0.5"))
        .US(0x0028, 0x0100, 8)
        .US(0x0028, 0x0101, 8)
        .US(0x0028, 0x0102, 7)
        .US(0x0028, 0x0103, 0);
    std::vector<uint8_t> pixels;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) pixels.push_back(static_cast<uint8_t>((x * 4) ^ (y * 2)));
    w.Element(0x7FE0, 0x0010, "OB", pixels);

    std::vector<uint8_t> bytes = w.Bytes();
    for (int i = 0; i < 4; ++i) bytes[140 + i] = static_cast<uint8_t>(metaLength >> (8 * i));
    return bytes;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample OUTPUT\n");
        return 2;
    }
    const std::vector<uint8_t> bytes = SampleBytes();
    FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        std::fprintf(stderr, "make_sample: cannot write %s\n", argv[1]);
        return 1;
    }
    std::fclose(file);
    return 0;
}
