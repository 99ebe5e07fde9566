// Calibrated regions of ultrasound images, read from the Sequence of Ultrasound Regions.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "dicom/io/HeapBlock.h"

class CDicomTag;
class CTagArray;

// One region, its geometry converted to square pixels. Zero-filled when created.
struct UltrasoundRegion {
    const CDicomTag* item = nullptr;          // the sequence item it was read from (not owned)
    uint32_t regionLocationMinX0 = 0;
    uint32_t regionLocationMinY0 = 0;
    uint32_t regionLocationMaxX1 = 0;
    uint32_t regionLocationMaxY1 = 0;
    int32_t referencePixelX0 = 0;
    int32_t referencePixelY0 = 0;
    int16_t physicalUnitsXDirection = 0;
    int16_t physicalUnitsYDirection = 0;
    double physicalDeltaX = 0.0;
    double physicalDeltaY = 0.0;
    double referencePixelPhysicalValueX = 0.0;
    double referencePixelPhysicalValueY = 0.0;
    int16_t regionSpatialFormat = 0;
    int16_t regionDataType = 0;
    uint32_t regionFlags = 0;
    uint32_t transducerFrequency = 0;
    uint32_t pulseRepetitionFrequency = 0;
    double dopplerCorrectionAngle = 0.0;
    double steeringAngle = 0.0;
    uint32_t dopplerSampleVolumeXPosition = 0;
    uint32_t dopplerSampleVolumeYPosition = 0;
    int32_t tmLinePositionX0 = 0;
    int32_t tmLinePositionY0 = 0;
    int32_t tmLinePositionX1 = 0;
    int32_t tmLinePositionY1 = 0;
    int16_t pixelComponentOrganization = 0;
    uint32_t pixelComponentMask = 0;
    uint32_t pixelComponentRangeStart = 0;
    uint32_t pixelComponentRangeStop = 0;
    int16_t pixelComponentPhysicalUnits = 0;
    int16_t pixelComponentDataType = 0;
    uint32_t numberOfTableBreakPoints = 0;
    HeapArray<uint32_t> tableOfXBreakPoints;    // numberOfTableBreakPoints values, or none
    HeapArray<double> tableOfYBreakPoints;
    uint32_t numberOfTableEntries = 0;
    HeapArray<uint32_t> tableOfPixelValues;     // numberOfTableEntries values, or none
    HeapArray<float> tableOfParameterValues;

    UltrasoundRegion() = default;
    UltrasoundRegion(const UltrasoundRegion&) = delete;
    UltrasoundRegion& operator=(const UltrasoundRegion&) = delete;
    ~UltrasoundRegion() = default;
};

// Fills a zeroed record from one item of the Sequence of Ultrasound Regions and converts its
// geometry by the pixel aspect ratio (vertical / horizontal).
void ReadUltrasoundRegion(UltrasoundRegion& region, const CDicomTag& item, double aspectRatio);

// The regions of a data set: one record for each non-empty item of its Sequence of Ultrasound
// Regions (0018,6011), in order, when its modality is US; none otherwise.
std::vector<std::unique_ptr<UltrasoundRegion>> UltrasoundRegionsOf(const CTagArray& dataSet);
