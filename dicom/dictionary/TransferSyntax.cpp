#include "dicom/dictionary/TransferSyntax.h"

#include <cstring>

namespace {

const TransferSyntax kSyntaxes[] = {
    {"1.2.840.10008.1.2", false, true, false, false},
    {"1.2.840.10008.1.2.1", true, true, false, false},
    {"1.2.840.10008.1.2.1.99", true, true, false, true},
    {"1.2.840.10008.1.2.2", true, false, false, false},
    {"1.2.840.10008.1.20", false, true, false, false},
    // JPIP referenced deflate.
    {"1.2.840.10008.1.2.4.95", true, true, false, true},
    {"1.2.840.10008.1.2.4.50", true, true, true, false},
    {"1.2.840.10008.1.2.4.51", true, true, true, false},
    {"1.2.840.10008.1.2.4.52", true, true, true, false},
    {"1.2.840.10008.1.2.4.53", true, true, true, false},
    {"1.2.840.10008.1.2.4.54", true, true, true, false},
    {"1.2.840.10008.1.2.4.55", true, true, true, false},
    {"1.2.840.10008.1.2.4.56", true, true, true, false},
    {"1.2.840.10008.1.2.4.60", true, true, true, false},
    {"1.2.840.10008.1.2.4.61", true, true, true, false},
    {"1.2.840.10008.1.2.4.62", true, true, true, false},
    {"1.2.840.10008.1.2.4.63", true, true, true, false},
    {"1.2.840.10008.1.2.4.64", true, true, true, false},
    {"1.2.840.10008.1.2.4.57", true, true, true, false},
    {"1.2.840.10008.1.2.4.58", true, true, true, false},
    {"1.2.840.10008.1.2.4.59", true, true, true, false},
    {"1.2.840.10008.1.2.4.65", true, true, true, false},
    {"1.2.840.10008.1.2.4.66", true, true, true, false},
    {"1.2.840.10008.1.2.4.70", true, true, true, false},
    {"1.2.840.10008.1.2.4.80", true, true, true, false},
    {"1.2.840.10008.1.2.4.81", true, true, true, false},
    {"1.2.840.10008.1.2.4.90", true, true, true, false},
    {"1.2.840.10008.1.2.4.91", true, true, true, false},
    {"1.2.840.10008.1.2.5", true, true, true, false},
};

}  // namespace

const TransferSyntax* FindTransferSyntax(const char* uid) {
    for (const TransferSyntax& syntax : kSyntaxes)
        if (std::strcmp(uid, syntax.uid) == 0) return &syntax;
    return nullptr;
}

const TransferSyntax* FindTransferSyntax(const std::wstring& uid) {
    // UIDs are ASCII; a text with anything else matches no row.
    char narrow[65];
    if (uid.size() >= sizeof narrow) return nullptr;
    for (size_t i = 0; i < uid.size(); ++i) {
        if (uid[i] <= 0 || uid[i] > 0x7E) return nullptr;
        narrow[i] = static_cast<char>(uid[i]);
    }
    narrow[uid.size()] = '\0';
    return FindTransferSyntax(narrow);
}

void EncodingOfTransferSyntax(const char* uid, bool& explicitVR, bool& littleEndian) {
    if (const TransferSyntax* syntax = FindTransferSyntax(uid)) {
        explicitVR = syntax->explicitVR;
        littleEndian = syntax->littleEndian;
        return;
    }
    explicitVR = std::strstr(uid, "1.2.840.10008") != nullptr;
    littleEndian = true;
}
