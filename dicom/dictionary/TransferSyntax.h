// The transfer syntaxes the program tells apart: one row per UID with everything the parser
// needs to know about it.
#pragma once

#include <string>

struct TransferSyntax {
    const char* uid;
    bool explicitVR;
    bool littleEndian;
    bool encapsulated;         // pixel data in fragments
    bool deflated;             // the data set after the meta group is deflate-compressed
};

// The row of a UID, compared exactly (the caller trims or cuts the value first); null for a UID
// the program does not know.
const TransferSyntax* FindTransferSyntax(const char* uid);
const TransferSyntax* FindTransferSyntax(const std::wstring& uid);

// Explicit VR and byte order for a Transfer Syntax UID as stored (up to its first NUL): the
// table's for a known UID, else explicit little endian for any UID under 1.2.840.10008 and
// implicit little endian for anything else.
void EncodingOfTransferSyntax(const char* uid, bool& explicitVR, bool& littleEndian);
