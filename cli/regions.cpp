#include "cli/regions.h"

#include <cstdio>
#include <vector>

#include "cli/sink.h"
#include "dicom/read/DicomFile.h"

namespace {

template <typename T>
std::string TableText(const T* table, uint32_t count) {
    if (table == nullptr) return "none";
    std::string text;
    char buffer[64];
    for (uint32_t i = 0; i < count; ++i) {
        std::snprintf(buffer, sizeof buffer, "%s%.10g", i ? " " : "", static_cast<double>(table[i]));
        text += buffer;
    }
    return text;
}

}  // namespace

void PrintRegions(const std::string& path, const CDicomFile& file) {
    const auto& regions = file.GetUltrasoundRegions();
    std::string out = path + ": " + std::to_string(regions.size()) + " ultrasound region" +
                      (regions.size() == 1 ? "" : "s") + "\n";
    char line[256];
    for (size_t k = 0; k < regions.size(); ++k) {
        const UltrasoundRegion& r = *regions[k];
        std::snprintf(line, sizeof line, "region %zu (item at %llu)\n", k + 1,
                      static_cast<unsigned long long>(r.item ? r.item->GetTagOffset() : 0));
        out += line;
        auto field = [&out, &line](const char* name, const std::string& value) {
            std::snprintf(line, sizeof line, "  %-36s %s\n", name, value.c_str());
            out += line;
        };
        auto number = [](double value) {
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%.10g", value);
            return std::string(buffer);
        };
        field("region location (x0, y0, x1, y1)", std::to_string(r.regionLocationMinX0) + ", " +
              std::to_string(r.regionLocationMinY0) + ", " + std::to_string(r.regionLocationMaxX1) + ", " +
              std::to_string(r.regionLocationMaxY1));
        field("reference pixel (x0, y0)", std::to_string(r.referencePixelX0) + ", " + std::to_string(r.referencePixelY0));
        field("physical units (x, y)", std::to_string(r.physicalUnitsXDirection) + ", " +
              std::to_string(r.physicalUnitsYDirection));
        field("physical delta (x, y)", number(r.physicalDeltaX) + ", " + number(r.physicalDeltaY));
        field("reference pixel physical value (x, y)", number(r.referencePixelPhysicalValueX) + ", " +
              number(r.referencePixelPhysicalValueY));
        field("spatial format, data type, flags", std::to_string(r.regionSpatialFormat) + ", " +
              std::to_string(r.regionDataType) + ", " + std::to_string(r.regionFlags));
        field("transducer, pulse repetition frequency", std::to_string(r.transducerFrequency) + ", " +
              std::to_string(r.pulseRepetitionFrequency));
        field("doppler correction, steering angle", number(r.dopplerCorrectionAngle) + ", " + number(r.steeringAngle));
        field("doppler sample volume (x, y)", std::to_string(r.dopplerSampleVolumeXPosition) + ", " +
              std::to_string(r.dopplerSampleVolumeYPosition));
        field("TM-line (x0, y0, x1, y1)", std::to_string(r.tmLinePositionX0) + ", " + std::to_string(r.tmLinePositionY0) +
              ", " + std::to_string(r.tmLinePositionX1) + ", " + std::to_string(r.tmLinePositionY1));
        field("pixel component organization, mask", std::to_string(r.pixelComponentOrganization) + ", " +
              std::to_string(r.pixelComponentMask));
        field("pixel component range", std::to_string(r.pixelComponentRangeStart) + " .. " +
              std::to_string(r.pixelComponentRangeStop));
        field("pixel component units, data type", std::to_string(r.pixelComponentPhysicalUnits) + ", " +
              std::to_string(r.pixelComponentDataType));
        field("table break points", std::to_string(r.numberOfTableBreakPoints));
        field("  x", TableText(r.tableOfXBreakPoints.get(), r.numberOfTableBreakPoints));
        field("  y", TableText(r.tableOfYBreakPoints.get(), r.numberOfTableBreakPoints));
        field("table entries", std::to_string(r.numberOfTableEntries));
        field("  pixel values", TableText(r.tableOfPixelValues.get(), r.numberOfTableEntries));
        field("  parameter values", TableText(r.tableOfParameterValues.get(), r.numberOfTableEntries));
    }
    WriteOut(out);
}

