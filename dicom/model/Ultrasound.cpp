#include "dicom/model/Ultrasound.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#include "dicom/model/TagArray.h"

namespace {

// A table value is copied only when its length is exactly `count` units of T.
template <typename T>
HeapArray<T> CopyTable(const CDicomTag& tag, uint32_t count) {
    if (count == 0 || uint64_t(count) * sizeof(T) != tag.GetValueLength()) return nullptr;
    const size_t bytes = static_cast<size_t>(count) * sizeof(T);
    if (tag.GetValueByteCount() < bytes) return nullptr;
    HeapArray<T> table(static_cast<T*>(std::malloc(bytes)));
    if (table != nullptr && !tag.ReadValueBytes(0, reinterpret_cast<uint8_t*>(table.get()), bytes)) table.reset();
    return table;
}

// Takes a new copy of the table value in place of the field's and notes the count it was made
// for; a failed copy leaves the earlier table and count.
template <typename T>
void ReplaceTable(HeapArray<T>& field, const CDicomTag& tag, uint32_t count, uint32_t& madeFor) {
    HeapArray<T> table = CopyTable<T>(tag, count);
    if (table == nullptr) return;
    field = std::move(table);
    madeFor = count;
}

// value x factor, rounded half up and truncated toward zero, kept within the field's range.
template <typename T>
T Scaled(T value, double factor) {
    const double scaled = static_cast<double>(value) * factor + 0.5;
    if (std::isnan(scaled)) return 0;
    if (scaled >= static_cast<double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
    if (scaled <= static_cast<double>(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
    return static_cast<T>(scaled);
}

// Frees a table whose length no longer matches the count the record holds.
template <typename T>
void DropIfCountChanged(HeapArray<T>& table, uint32_t madeFor, uint32_t count) {
    if (table != nullptr && madeFor != count) table.reset();
}

}  // namespace

void ReadUltrasoundRegion(UltrasoundRegion& r, const CDicomTag& item, double aspectRatio) {
    r.item = &item;
    // The counts each table was copied for: a count element after its table
    // (or a second one) must not leave a table shorter than the count says.
    uint32_t xMadeFor = r.numberOfTableBreakPoints, yMadeFor = r.numberOfTableBreakPoints;
    uint32_t pixelMadeFor = r.numberOfTableEntries, parameterMadeFor = r.numberOfTableEntries;
    for (const CDicomTag* tag : item.GetChildren()) {
        if (tag->GetGroup() != 0x0018) continue;
        const int32_t number = tag->GetNumericValue();
        const uint32_t unsignedNumber = static_cast<uint32_t>(number);
        const int16_t short16 = static_cast<int16_t>(number);
        switch (tag->GetElement()) {
            case 0x6018: r.regionLocationMinX0 = unsignedNumber; break;
            case 0x601A: r.regionLocationMinY0 = unsignedNumber; break;
            case 0x601C: r.regionLocationMaxX1 = unsignedNumber; break;
            case 0x601E: r.regionLocationMaxY1 = unsignedNumber; break;
            case 0x6020: r.referencePixelX0 = number; break;
            case 0x6022: r.referencePixelY0 = number; break;
            case 0x6024: r.physicalUnitsXDirection = short16; break;
            case 0x6026: r.physicalUnitsYDirection = short16; break;
            case 0x602C: r.physicalDeltaX = tag->GetFloatValue(); break;
            case 0x602E: r.physicalDeltaY = tag->GetFloatValue(); break;
            case 0x6028: r.referencePixelPhysicalValueX = tag->GetFloatValue(); break;
            case 0x602A: r.referencePixelPhysicalValueY = tag->GetFloatValue(); break;
            case 0x6012: r.regionSpatialFormat = short16; break;
            case 0x6014: r.regionDataType = short16; break;
            case 0x6016: r.regionFlags = unsignedNumber; break;
            case 0x6030: r.transducerFrequency = unsignedNumber; break;
            case 0x6032: r.pulseRepetitionFrequency = unsignedNumber; break;
            case 0x6034: r.dopplerCorrectionAngle = tag->GetFloatValue(); break;
            case 0x6036: r.steeringAngle = tag->GetFloatValue(); break;
            case 0x6039: r.dopplerSampleVolumeXPosition = unsignedNumber; break;
            case 0x603B: r.dopplerSampleVolumeYPosition = unsignedNumber; break;
            case 0x603D: r.tmLinePositionX0 = number; break;
            case 0x603F: r.tmLinePositionY0 = number; break;
            case 0x6041: r.tmLinePositionX1 = number; break;
            case 0x6043: r.tmLinePositionY1 = number; break;
            case 0x6044: r.pixelComponentOrganization = short16; break;
            case 0x6046: r.pixelComponentMask = unsignedNumber; break;
            case 0x6048: r.pixelComponentRangeStart = unsignedNumber; break;
            case 0x604A: r.pixelComponentRangeStop = unsignedNumber; break;
            case 0x604C: r.pixelComponentPhysicalUnits = short16; break;
            case 0x604E: r.pixelComponentDataType = short16; break;
            case 0x6050: r.numberOfTableBreakPoints = unsignedNumber; break;
            case 0x6052: ReplaceTable(r.tableOfXBreakPoints, *tag, r.numberOfTableBreakPoints, xMadeFor); break;
            case 0x6054: ReplaceTable(r.tableOfYBreakPoints, *tag, r.numberOfTableBreakPoints, yMadeFor); break;
            case 0x6056: r.numberOfTableEntries = unsignedNumber; break;
            case 0x6058: ReplaceTable(r.tableOfPixelValues, *tag, r.numberOfTableEntries, pixelMadeFor); break;
            case 0x605A: ReplaceTable(r.tableOfParameterValues, *tag, r.numberOfTableEntries, parameterMadeFor); break;
            default: break;
        }
    }
    DropIfCountChanged(r.tableOfXBreakPoints, xMadeFor, r.numberOfTableBreakPoints);
    DropIfCountChanged(r.tableOfYBreakPoints, yMadeFor, r.numberOfTableBreakPoints);
    DropIfCountChanged(r.tableOfPixelValues, pixelMadeFor, r.numberOfTableEntries);
    DropIfCountChanged(r.tableOfParameterValues, parameterMadeFor, r.numberOfTableEntries);

    // Convert the geometry to square pixels: stretch the axis that the aspect ratio shrinks.
    const double x = aspectRatio;
    if (x == 1.0 || x == 0.0) return;
    if (x > 1.0) {
        r.physicalDeltaX /= x;
        r.regionLocationMinX0 = Scaled(r.regionLocationMinX0, x);
        r.regionLocationMaxX1 = Scaled(r.regionLocationMaxX1, x);
        r.tmLinePositionX0 = Scaled(r.tmLinePositionX0, x);
        r.tmLinePositionX1 = Scaled(r.tmLinePositionX1, x);
    } else {
        r.physicalDeltaY /= x;
        r.regionLocationMinY0 = Scaled(r.regionLocationMinY0, x);
        r.regionLocationMaxY1 = Scaled(r.regionLocationMaxY1, x);
        r.tmLinePositionY0 = Scaled(r.tmLinePositionY0, x);
        r.tmLinePositionY1 = Scaled(r.tmLinePositionY1, x);
    }
}

std::vector<std::unique_ptr<UltrasoundRegion>> UltrasoundRegionsOf(const CTagArray& dataSet) {
    std::vector<std::unique_ptr<UltrasoundRegion>> regions;
    if (dataSet.GetModality() != L"US") return regions;
    const CDicomTag* sequence = dataSet.FindElement(0x0018, 0x6011);
    if (sequence == nullptr) return regions;
    for (const CDicomTag* item : sequence->GetChildren()) {
        if (item->GetChildren().empty()) continue;
        // Running out of memory for one record skips that record.
        std::unique_ptr<UltrasoundRegion> region(new (std::nothrow) UltrasoundRegion);
        if (!region) continue;
        ReadUltrasoundRegion(*region, *item, dataSet.m_pixelAspectRatio);
        try {
            regions.push_back(std::move(region));
        } catch (const std::bad_alloc&) {
        }
    }
    return regions;
}
