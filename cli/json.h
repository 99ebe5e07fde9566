// orveldump --json: one object per file and line.
#pragma once

#include <string>

#include "cli/view.h"

class CDicomFile;
class CDicomTag;
class Output;
struct ParseFailure;

// A loaded file; `extra` is appended to the object as it is (members such as "problems"). With
// a tag filter, "elements" holds only the shown nodes.
void PrintJson(Output& out, const std::string& path, const CDicomFile& file, const DumpView& view = {},
               const std::string& extra = "");
// A refused file: what was known of it, the failure and the partial tree (failure may be null).
void PrintJsonRefused(Output& out, const std::string& path, const ParseFailure* failure, const DumpView& view = {},
                      const std::string& extra = "");

// `, "storedLength": N` where the file stores another value length than the node's "size" (an
// odd length the model padded, a date it cut); nothing otherwise.
void PrintStoredLength(Output& out, const CDicomTag& tag);
// The members `, "fileSize", "hasPreamble", "explicitVR", "littleEndian", "trailingBytes"` of a
// loaded file's object, and those a refused file's object has (all but the last, null where not
// known).
void PrintJsonFacts(Output& out, const CDicomFile& file);
void PrintJsonFacts(Output& out, const ParseFailure& failure);
// The member `, "failure": {"offset", "path", "reason", "firstReason"}` of a refused file's object.
void PrintJsonFailure(Output& out, const ParseFailure& failure, bool redact);
