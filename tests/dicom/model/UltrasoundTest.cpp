// Ultrasound regions read from built files, with the aspect correction.
#include <gtest/gtest.h>

#include <cstring>

#include "dicom/read/DicomFile.h"
#include "tests/support/DicomWriter.h"
#include "tests/support/Load.h"

namespace {

std::vector<uint8_t> Le32(uint32_t v) { return BytesOf({int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF), int(v >> 24)}); }
std::vector<uint8_t> Le16(uint16_t v) { return BytesOf({v & 0xFF, v >> 8}); }
std::vector<uint8_t> Double(double d) {
    std::vector<uint8_t> b(8);
    std::memcpy(b.data(), &d, 8);
    return b;
}

// An ultrasound file with the given aspect ratio and one call that writes each region item.
template <typename Items>
DicomWriter UltrasoundFile(const std::string& modality, const std::string& aspect, Items items) {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1").Element(0x0008, 0x0060, "CS", modality);
    w.BeginSequence(0x0018, 0x6011, true);
    items(w);
    w.EndSequence();
    if (!aspect.empty()) w.Element(0x0028, 0x0034, "IS", aspect);
    return w;
}

}  // namespace

TEST(Ultrasound, RegionFieldsAndTables) {
    DicomWriter w = UltrasoundFile("US", "", [](DicomWriter& d) {
        d.BeginItem(true)
            .Element(0x0018, 0x6018, "UL", Le32(10)).Element(0x0018, 0x601A, "UL", Le32(20))
            .Element(0x0018, 0x601C, "UL", Le32(300)).Element(0x0018, 0x601E, "UL", Le32(400))
            .Element(0x0018, 0x6024, "US", Le16(3)).Element(0x0018, 0x602C, "FD", Double(0.1))
            .Element(0x0018, 0x603D, "SL", Le32(static_cast<uint32_t>(-3)))
            .Element(0x0018, 0x6054, "FD", Double(1.0))           // before its count: dropped
            .Element(0x0018, 0x6050, "UL", Le32(3))
            .Element(0x0018, 0x6052, "UL", [] { auto v = Le32(1); auto b = Le32(2), c = Le32(3); v.insert(v.end(), b.begin(), b.end()); v.insert(v.end(), c.begin(), c.end()); return v; }())
            .Element(0x0018, 0x6056, "UL", Le32(2))
            .Element(0x0018, 0x6058, "UL", Le32(7))               // 4 bytes for 2 entries: dropped
            .Element(0x0020, 0x6018, "UL", Le32(99))              // other groups are ignored
            .EndItem();
        d.BeginItem(true).EndItem();                              // no elements: skipped
        d.BeginItem(true).Element(0x0018, 0x6018, "UL", Le32(5)).EndItem();
    });
    w.Filler();
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    const auto& regions = file.GetUltrasoundRegions();
    ASSERT_EQ(regions.size(), 2u);
    const UltrasoundRegion& r = *regions[0];
    EXPECT_EQ(r.item, file.FindElement(0x0018, 0x6011)->GetChildren()[0]);
    EXPECT_EQ(r.regionLocationMinX0, 10u);
    EXPECT_EQ(r.regionLocationMaxY1, 400u);
    EXPECT_EQ(r.physicalUnitsXDirection, 3);
    EXPECT_DOUBLE_EQ(r.physicalDeltaX, 0.1);
    EXPECT_EQ(r.tmLinePositionX0, -3);
    EXPECT_EQ(r.numberOfTableBreakPoints, 3u);
    ASSERT_NE(r.tableOfXBreakPoints, nullptr);
    EXPECT_EQ(r.tableOfXBreakPoints[2], 3u);
    EXPECT_EQ(r.tableOfYBreakPoints, nullptr);
    EXPECT_EQ(r.tableOfPixelValues, nullptr);
    EXPECT_EQ(regions[1]->regionLocationMinX0, 5u);
}

TEST(Ultrasound, AspectCorrectionStretchesTheShrunkAxis) {
    auto items = [](DicomWriter& d) {
        d.BeginItem(true)
            .Element(0x0018, 0x6018, "UL", Le32(101)).Element(0x0018, 0x601A, "UL", Le32(100))
            .Element(0x0018, 0x602C, "FD", Double(0.1)).Element(0x0018, 0x602E, "FD", Double(0.1))
            .Element(0x0018, 0x603D, "SL", Le32(static_cast<uint32_t>(-3)))
            .EndItem();
    };
    CDicomFile file;
    DicomWriter half = UltrasoundFile("US", "1\\2 ", items);
    ASSERT_TRUE(Load(half.Filler(), file));
    ASSERT_EQ(file.GetUltrasoundRegions().size(), 1u);
    const UltrasoundRegion* r = file.GetUltrasoundRegions()[0].get();
    EXPECT_EQ(r->regionLocationMinY0, 50u);
    EXPECT_DOUBLE_EQ(r->physicalDeltaY, 0.2);
    EXPECT_EQ(r->regionLocationMinX0, 101u);
    EXPECT_DOUBLE_EQ(r->physicalDeltaX, 0.1);

    DicomWriter doubled = UltrasoundFile("US", "2\\1 ", items);
    ASSERT_TRUE(Load(doubled.Filler(), file));
    r = file.GetUltrasoundRegions()[0].get();
    EXPECT_EQ(r->regionLocationMinX0, 202u);
    EXPECT_EQ(r->tmLinePositionX0, -5);  // -6 + 0.5, truncated toward zero
    EXPECT_DOUBLE_EQ(r->physicalDeltaX, 0.05);
    EXPECT_EQ(r->regionLocationMinY0, 100u);
}

TEST(Ultrasound, OnlyModalityUSExactlyGetsRegions) {
    auto items = [](DicomWriter& d) { d.BeginItem(true).Element(0x0018, 0x6018, "UL", Le32(1)).EndItem(); };
    CDicomFile file;
    for (const char* modality : {"US", "us", "CT"}) {
        DicomWriter w = UltrasoundFile(modality, "", items);
        ASSERT_TRUE(Load(w.Filler(), file)) << modality;
        EXPECT_EQ(file.GetUltrasoundRegions().size(), std::strcmp(modality, "US") == 0 ? 1u : 0u) << modality;
    }
}

TEST(PixelModule, AspectRatioAndSignedDisplay) {
    struct Case {
        const char* aspect;
        double expected;
    } aspects[] = {{"1\\2 ", 0.5}, {"1\\100 ", 0.0}, {"\\2", 0.0}, {"1/2 ", 0.0}, {"3\\2 ", 1.5}, {"0\\2 ", 0.0}};
    for (const Case& c : aspects) {
        DicomWriter w;
        w.Preamble().Meta("1.2.840.10008.1.2.4.70 ").Filler().Element(0x0028, 0x0034, "IS", std::string(c.aspect));
        CDicomFile file;
        ASSERT_TRUE(Load(w, file)) << c.aspect;
        EXPECT_DOUBLE_EQ(file.m_pixelAspectRatio, c.expected) << c.aspect;
    }
    DicomWriter mpeg;
    mpeg.Preamble().Meta("1.2.840.10008.1.2.4.100").Filler().US(0x0028, 0x0103, 1)
        .US(0x0028, 0x0106, 0xFFFF);
    CDicomFile file;
    ASSERT_TRUE(Load(mpeg, file));
    EXPECT_TRUE(file.IsUncompressed());
    EXPECT_EQ(file.FindElement(0x0028, 0x0106)->GetVRText(), L"SS");
    EXPECT_EQ(file.FindElement(0x0028, 0x0106)->GetValueText(L""), L"-1 ");
}

TEST(PixelModule, PhotometricWithoutTheElementFollowsSamplesPerPixel) {
    DicomWriter w;
    w.Preamble().Meta("1.2.840.10008.1.2.1").Filler().US(0x0028, 0x0002, 3);
    CDicomFile file;
    ASSERT_TRUE(Load(w, file));
    EXPECT_TRUE(file.IsPhotometric(L"RGB"));
    EXPECT_FALSE(file.IsPhotometric(L"ARGB"));
    EXPECT_FALSE(file.IsPhotometric(L"YBR_FULL"));
}

TEST(PixelModule, PaletteTablesMustAgree) {
    auto palette = [](int redBytes, int greenEntries) {
        DicomWriter w;
        w.Preamble().Meta("1.2.840.10008.1.2.1").Filler().US(0x0028, 0x0002, 1)
            .Element(0x0028, 0x0004, "CS", std::string("PALETTE COLOR "));
        for (int colour = 0; colour < 3; ++colour) {
            const int entries = colour == 1 ? greenEntries : 256;
            std::vector<uint8_t> descriptor = BytesOf({entries & 0xFF, entries >> 8, 0, 0, 16, 0});
            w.Element(0x0028, static_cast<uint16_t>(0x1101 + colour), "US", descriptor);
        }
        for (int colour = 0; colour < 3; ++colour)
            w.Element(0x0028, static_cast<uint16_t>(0x1201 + colour), "OW",
                      std::vector<uint8_t>(colour == 0 ? redBytes : 512, 1));
        return w;
    };
    CDicomFile file;
    ASSERT_TRUE(Load(palette(512, 256), file));
    EXPECT_EQ(file.m_paletteBits[0], 16);
    ASSERT_TRUE(Load(palette(256, 256), file));
    EXPECT_EQ(file.m_paletteBits[0], 8);
    EXPECT_FALSE(Load(palette(6, 256), file));    // 0 bits per entry: not 8 or 16
    EXPECT_FALSE(Load(palette(512, 128), file));  // counts disagree
}

// Found by fuzzing: a second (0018,6050) after the X table raised the count to 0xFFFFFFFF
// while the table held one entry, so a reader walking the table by the count ran off its end.
// A table is kept only when its length matches the count the record ends with.
TEST(Ultrasound, ACountChangedAfterItsTableDropsTheTable) {
    auto items = [](DicomWriter& d) {
        d.BeginItem(true)
            .Element(0x0018, 0x6050, "UL", Le32(1)).Element(0x0018, 0x6052, "UL", Le32(7))
            .Element(0x0018, 0x6050, "UL", Le32(0xFFFFFFFFu))
            .Element(0x0018, 0x6056, "UL", Le32(2))
            .Element(0x0018, 0x6058, "UL", BytesOf({1, 0, 0, 0, 2, 0, 0, 0}))
            .EndItem();
        // The same count again: the table stays.
        d.BeginItem(true)
            .Element(0x0018, 0x6050, "UL", Le32(1)).Element(0x0018, 0x6052, "UL", Le32(7))
            .Element(0x0018, 0x6050, "UL", Le32(1))
            .EndItem();
    };
    CDicomFile file;
    DicomWriter w = UltrasoundFile("US", "", items);
    ASSERT_TRUE(Load(w.Filler(), file));
    ASSERT_EQ(file.GetUltrasoundRegions().size(), 2u);
    const UltrasoundRegion* changed = file.GetUltrasoundRegions()[0].get();
    EXPECT_EQ(changed->numberOfTableBreakPoints, 0xFFFFFFFFu);
    EXPECT_EQ(changed->tableOfXBreakPoints, nullptr);
    ASSERT_NE(changed->tableOfPixelValues, nullptr);  // its count did not change
    EXPECT_EQ(changed->tableOfPixelValues[1], 2u);
    const UltrasoundRegion* same = file.GetUltrasoundRegions()[1].get();
    ASSERT_NE(same->tableOfXBreakPoints, nullptr);
    EXPECT_EQ(same->tableOfXBreakPoints[0], 7u);
}

// Found by fuzzing, the same fault by another road: after a table of 2, a new count and a
// second table that does not fit it (so it is not copied) left the first table with the new count.
TEST(Ultrasound, ATableThatDoesNotFitTheNewCountLeavesNoStaleTable) {
    auto items = [](DicomWriter& d) {
        d.BeginItem(true)
            .Element(0x0018, 0x6050, "UL", Le32(2)).Element(0x0018, 0x6052, "UL", BytesOf({1, 0, 0, 0, 2, 0, 0, 0}))
            .Element(0x0018, 0x6050, "UL", Le32(1381302274u))
            .Element(0x0018, 0x6052, "UL", BytesOf({1, 0, 0, 0, 2, 0, 0, 0}))
            .EndItem();
    };
    CDicomFile file;
    DicomWriter w = UltrasoundFile("US", "", items);
    ASSERT_TRUE(Load(w.Filler(), file));
    ASSERT_EQ(file.GetUltrasoundRegions().size(), 1u);
    EXPECT_EQ(file.GetUltrasoundRegions()[0]->numberOfTableBreakPoints, 1381302274u);
    EXPECT_EQ(file.GetUltrasoundRegions()[0]->tableOfXBreakPoints, nullptr);
}
