#include "dicom/analysis/Check.h"

#include "dicom/dictionary/TransferSyntax.h"
#include "dicom/model/DicomHeader.h"

const char* SeverityName(CheckSeverity severity) {
    switch (severity) {
        case CheckSeverity::Info: return "info";
        case CheckSeverity::Warning: return "warning";
        case CheckSeverity::Error: return "error";
    }
    return "error";
}

bool IsDeflated(const CTagArray& elements) {
    const TransferSyntax* syntax = elements.GetTransferSyntax();
    return syntax != nullptr && syntax->deflated;
}

CheckInput CheckInputOf(const CDicomHeader& file, const uint8_t* bytes, uint64_t size) {
    CheckInput input;
    input.elements = file.GetElements().data();
    input.elementCount = file.GetElements().size();
    input.bytes = bytes;
    input.size = bytes != nullptr ? size : 0;
    input.hasPreamble = file.HasPreamble();
    input.explicitVR = file.IsExplicitVR();
    input.littleEndian = file.IsLittleEndian();
    input.trailingSize = file.GetTrailingSize();
    input.deflated = IsDeflated(file);
    return input;
}
