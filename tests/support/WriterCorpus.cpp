#include "tests/support/WriterCorpus.h"

#include <cstring>

#include "tests/support/DicomWriter.h"

namespace {

std::vector<uint8_t> Le16(uint16_t v) { return BytesOf({v & 0xFF, v >> 8}); }
std::vector<uint8_t> Le32(uint32_t v) {
    return BytesOf({int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF), int(v >> 24)});
}
std::vector<uint8_t> Be16(uint16_t v) { return BytesOf({v >> 8, v & 0xFF}); }
std::vector<uint8_t> Be32(uint32_t v) {
    return BytesOf({int(v >> 24), int((v >> 16) & 0xFF), int((v >> 8) & 0xFF), int(v & 0xFF)});
}
std::vector<uint8_t> LeDouble(double d) {
    std::vector<uint8_t> b(8);
    std::memcpy(b.data(), &d, 8);
    return b;
}
std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}
std::vector<uint8_t> Pattern(size_t count, uint8_t seed) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7);
    return bytes;
}

// Explicit VR little endian: nested defined-length sequences, odd and short values, two native
// frames of 4 x 4 x 16 bits.
DicomWriter ExplicitLittle() {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1");
    w.Element(0x0008, 0x0005, "CS", std::string("ISO_IR 100"))
        .Element(0x0008, 0x0020, "DA", std::string("2026"))
        .Element(0x0008, 0x0060, "CS", std::string("CT"))
        .Element(0x0010, 0x0010, "PN", std::string("M\xfcller^J\xf6rg"))
        .Element(0x0010, 0x0020, "LO", std::string("ODD"))
        .Element(0x0018, 0x1063, "DS", std::string("33.3"));
    w.BeginSequence(0x0008, 0x1140, false)
        .BeginItem(false)
        .Element(0x0008, 0x1150, "UI", std::string("1.2.3"))
        .BeginSequence(0x0040, 0xA730, false)
        .BeginItem(false).Element(0x0040, 0xA160, "UT", std::string("text")).EndItem()
        .BeginItem(false).EndItem()
        .EndSequence()
        .EndItem()
        .EndSequence();
    w.Element(0x0020, 0x0013, "IS", std::string("12 "))
        .Element(0x0028, 0x0002, "US", Le16(1))
        .Element(0x0028, 0x0004, "CS", std::string("MONOCHROME2 "))
        .Element(0x0028, 0x0008, "IS", std::string("2 "))
        .Element(0x0028, 0x0010, "US", Le16(4))
        .Element(0x0028, 0x0011, "US", Le16(4))
        .Element(0x0028, 0x0034, "IS", std::string("1\\2 "))
        .Element(0x0028, 0x0100, "US", Le16(16))
        .Element(0x0028, 0x0103, "US", Le16(1))
        .Element(0x0028, 0x0106, "US", Le16(0xFFFE))
        .Element(0x0028, 0x1050, "DS", std::string("40"))
        .Element(0x0028, 0x1051, "DS", std::string("400 "))
        .Element(0x0028, 0x1052, "DS", std::string("-1024 "))
        .Element(0x0028, 0x1053, "DS", std::string("1 "))
        .Element(0x7FE0, 0x0010, "OW", Pattern(64, 1));
    return w;
}

// Implicit VR little endian: undefined-length sequences and items, a private element of
// undefined length read as a sequence, an unknown short binary value.
DicomWriter ImplicitLittle() {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2").Mode(false, true);
    w.Element(0x0008, 0x0005, "", std::string("ISO_IR 192"))
        .Element(0x0008, 0x0060, "", std::string("MR"))
        .Element(0x0010, 0x0010, "", std::string("Wang^XiaoDong=\xe7\x8e\x8b^\xe5\xb0\x8f\xe6\x9d\xb1"));
    w.BeginSequence(0x0008, 0x1115, true)
        .BeginItem(true)
        .Element(0x0008, 0x1155, "", std::string("1.2.3.4.5"))
        .BeginSequence(0x0008, 0x114A, true).BeginItem(true).EndItem().EndSequence()
        .EndItem()
        .BeginItem(false).Element(0x0020, 0x000D, "", std::string("9.8")).EndItem()
        .EndSequence();
    w.BeginSequence(0x0029, 0x1010, true).BeginItem(true).Element(0x0029, 0x1011, "", Le16(16)).EndItem().EndSequence();
    w.Element(0x0029, 0x1020, "", Le32(0x01020304))
        .Element(0x0029, 0x1021, "", std::string("ABCD"))
        .Element(0x0028, 0x0010, "", Le16(2))
        .Element(0x0028, 0x0011, "", Le16(2))
        .Element(0x0028, 0x0100, "", Le16(16))
        .Element(0x7FE0, 0x0010, "", Pattern(8, 3));
    return w;
}

// Explicit VR big endian: every swapped binary VR, a UN element of undefined length (its items
// implicit VR little endian), and OW pixel data.
DicomWriter ExplicitBig() {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.2").Mode(true, false);
    w.Element(0x0008, 0x0060, "CS", std::string("OT"))
        .Element(0x0018, 0x9219, "SS", Be16(0xFFF0))
        .Element(0x0020, 0x9161, "UL", Concat({Be32(1), Be32(0xFFFFFFFF)}))
        .Element(0x0020, 0x9162, "SL", Be32(0x80000000))
        .Element(0x0018, 0x9087, "FD", BytesOf({0x3F, 0xF8, 0, 0, 0, 0, 0, 0}))
        .Element(0x0018, 0x9089, "FL", BytesOf({0x3F, 0xC0, 0, 0, 0x40, 0x00, 0, 0}))
        .Element(0x0020, 0x9165, "AT", Concat({Be16(0x0028), Be16(0x0010)}))
        .Element(0x0028, 0x0010, "US", Be16(2))
        .Element(0x0028, 0x0011, "US", Be16(2))
        .Element(0x0028, 0x0100, "US", Be16(16))
        .BeginSequence(0x0029, 0x1001, true, "UN").Mode(false, true).BeginItem(true)
        .Element(0x0028, 0x0011, "", Le16(2))
        .EndItem().EndSequence().Mode(true, false)
        .Element(0x7FE0, 0x0010, "OW", Pattern(8, 9));
    return w;
}

// No preamble, implicit VR, under 132 bytes.
DicomWriter BareImplicitSmall() {
    DicomWriter w(false, true);
    w.Element(0x0008, 0x0005, "", std::string("ISO_IR 100")).Filler(6);
    return w;
}

// No preamble, explicit VR; (0002,0010) switches the rest to big endian.
DicomWriter BareExplicitSwitching() {
    DicomWriter w(true, true);
    w.Element(0x0002, 0x0010, "UI", std::string("1.2.840.10008.1.2.2\0", 20)).Mode(true, false).Filler(6);
    w.Element(0x0028, 0x0010, "US", Be16(300)).Element(0x0011, 0x2000, "LO", std::string(150, 'x'));
    return w;
}

// Encapsulated JPEG: offset table, fragments, bytes after the delimiter.
DicomWriter Encapsulated() {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.4.50");
    w.Filler(6)
        .Element(0x0028, 0x0004, "CS", std::string("YBR_FULL_422"))
        .Element(0x0028, 0x0010, "US", Le16(8))
        .Element(0x0028, 0x0011, "US", Le16(8));
    w.BeginFragments(Le32(0)).Fragment(Pattern(30, 4)).Fragment(Pattern(2, 5)).EndFragments();
    w.Raw(Pattern(11, 6));
    return w;
}

// An explicit UN element of undefined length whose items are implicit VR; a defined-length
// sequence holding an undefined-length item; pixel data nested in an item.
DicomWriter UnknownAndNested() {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1");
    w.Filler(6);
    w.BeginSequence(0x0033, 0x1001, true, "UN").BeginItem(true).Mode(false, true)
        .Element(0x0010, 0x0010, "", std::string("Doe^J "))
        .Element(0x0033, 0x1002, "", Le32(7))
        .Mode(true, true).EndItem().EndSequence();
    w.BeginSequence(0x0040, 0x0275, false).BeginItem(true)
        .Element(0x0040, 0x0007, "LO", std::string("Step"))
        .BeginFragments().Fragment(Pattern(4, 2)).EndFragments()
        .EndItem().EndSequence();
    w.Element(0x0033, 0x1010, "OF", Pattern(8, 1)).Element(0x0033, 0x1011, "XY", std::string("??"));
    return w;
}

// Ultrasound regions with tables and an aspect ratio of 1\2.
DicomWriter Ultrasound() {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1");
    w.Element(0x0008, 0x0060, "CS", std::string("US"));
    w.BeginSequence(0x0018, 0x6011, true)
        .BeginItem(true)
        .Element(0x0018, 0x6012, "US", Le16(1))
        .Element(0x0018, 0x6018, "UL", Le32(10)).Element(0x0018, 0x601A, "UL", Le32(100))
        .Element(0x0018, 0x601C, "UL", Le32(300)).Element(0x0018, 0x601E, "UL", Le32(400))
        .Element(0x0018, 0x602C, "FD", LeDouble(0.1)).Element(0x0018, 0x602E, "FD", LeDouble(0.1))
        .Element(0x0018, 0x603D, "SL", Le32(static_cast<uint32_t>(-3)))
        .Element(0x0018, 0x6050, "UL", Le32(2))
        .Element(0x0018, 0x6052, "UL", Concat({Le32(1), Le32(2)}))
        .Element(0x0018, 0x6054, "FD", Concat({LeDouble(0.5), LeDouble(1.5)}))
        .Element(0x0018, 0x6056, "UL", Le32(1))
        .Element(0x0018, 0x6058, "UL", Le32(9))
        .Element(0x0018, 0x605A, "FL", BytesOf({0, 0, 0xC0, 0x3F}))
        .EndItem()
        .BeginItem(true).EndItem()
        .BeginItem(false).Element(0x0018, 0x6018, "UL", Le32(5)).EndItem()
        .EndSequence();
    w.Element(0x0028, 0x0034, "IS", std::string("1\\2 ")).Filler(4);
    return w;
}

// A palette colour image: descriptors, 16-bit tables, one 8-bit frame of 2 x 2.
DicomWriter Palette() {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1");
    w.Filler(6)
        .Element(0x0028, 0x0002, "US", Le16(1))
        .Element(0x0028, 0x0004, "CS", std::string("PALETTE COLOR "))
        .Element(0x0028, 0x0010, "US", Le16(2))
        .Element(0x0028, 0x0011, "US", Le16(2))
        .Element(0x0028, 0x0100, "US", Le16(8));
    for (uint16_t c = 0; c < 3; ++c)
        w.Element(0x0028, static_cast<uint16_t>(0x1101 + c), "US", Concat({Le16(4), Le16(0), Le16(16)}));
    for (uint16_t c = 0; c < 3; ++c) w.Element(0x0028, static_cast<uint16_t>(0x1201 + c), "OW", Pattern(8, uint8_t(c)));
    w.Element(0x7FE0, 0x0010, "OB", Pattern(4, 7));
    return w;
}

// Text in code extensions: Japanese with escape sequences, Korean, GB18030.
DicomWriter CharacterSets() {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1");
    w.Element(0x0008, 0x0005, "CS", std::string("\\ISO 2022 IR 87"))
        .Element(0x0008, 0x0060, "CS", std::string("OT"))
        .Element(0x0010, 0x0010, "PN",
                 std::string("Yamada^Tarou=\x1b$B;3ED\x1b(B^\x1b$BB@O:\x1b(B=\x1b$B$d$^$@\x1b(B^\x1b$B$?$m$&\x1b(B "));
    w.BeginSequence(0x0008, 0x1110, true).BeginItem(true)
        .Element(0x0008, 0x0005, "CS", std::string("GB18030 "))
        .Element(0x0010, 0x0010, "PN", std::string("Wang^XiaoDong=\xcd\xf5^\xd0\xa1\xb6\xab="))
        .Element(0x0010, 0x4000, "LT", std::string("\x81\x30\x81\x30\xff\x80"))
        .EndItem().BeginItem(true)
        .Element(0x0008, 0x0005, "CS", std::string("\\ISO 2022 IR 149 "))
        .Element(0x0010, 0x0010, "PN", std::string("Hong^Gildong=\x1b$)C\xfb\xf3^\x1b$)C\xd1\xce\xd4\xd7"))
        .EndItem().EndSequence();
    w.Element(0x0010, 0x0020, "LO", std::string(130, 'L')).Filler(3);
    return w;
}

// Sequences nested 20 deep.
DicomWriter DeepNesting() {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1").Filler(6);
    for (int i = 0; i < 20; ++i) w.BeginSequence(0x0040, 0xA730, i % 2 == 0).BeginItem(i % 3 == 0);
    w.Element(0x0040, 0xA160, "UT", std::string("leaf"));
    for (int i = 0; i < 20; ++i) w.EndItem().EndSequence();
    return w;
}

}  // namespace

std::vector<WriterCorpusFile> WriterCorpus() {
    return {
        {"explicit-little", ExplicitLittle().Bytes()},   {"implicit-little", ImplicitLittle().Bytes()},
        {"explicit-big", ExplicitBig().Bytes()},         {"bare-implicit-small", BareImplicitSmall().Bytes()},
        {"bare-explicit-switching", BareExplicitSwitching().Bytes()},
        {"encapsulated", Encapsulated().Bytes()},        {"unknown-and-nested", UnknownAndNested().Bytes()},
        {"ultrasound", Ultrasound().Bytes()},            {"palette", Palette().Bytes()},
        {"character-sets", CharacterSets().Bytes()},     {"deep-nesting", DeepNesting().Bytes()},
    };
}
