#include "dicom/Ultrasound.h"

#include <cstdlib>

#include "dicom/DicomHeader.h"

UltrasoundRegion::~UltrasoundRegion() {
    std::free(tableOfXBreakPoints);
    std::free(tableOfYBreakPoints);
    std::free(tableOfPixelValues);
    std::free(tableOfParameterValues);
}

void CDicomHeader::ClearUltrasoundRegions() {
    for (UltrasoundRegion* region : m_ultrasoundRegions) delete region;
    m_ultrasoundRegions.clear();
}

void CDicomHeader::BuildUltrasoundRegions() {
    ClearUltrasoundRegions();
    // Reading the region records arrives with the value display work; until then the list of a
    // loaded ultrasound file stays empty.
}
