// orveldump --regions: the calibrated regions of ultrasound files.
#pragma once

#include <string>

class CDicomFile;

void PrintRegions(const std::string& path, const CDicomFile& file);
