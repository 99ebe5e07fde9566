// orveldump --at OFFSET: the chain of nodes whose byte ranges hold one byte.
#pragma once

#include <cstdint>
#include <string>

class CDicomFile;
class Output;
struct ParseFailure;

// For a refused file (`loaded` false) the chain is found in the partial tree of its failure
// record; without a record (a file that could not be read) the chain is empty.
// With `redact`, VR codes and the failure line as --redact prints them.
void PrintAtJson(Output& out, const std::string& path, uint64_t offset, const CDicomFile& file, bool loaded,
                 bool redact = false);
void PrintAtListing(const std::string& path, uint64_t offset, const CDicomFile& file, bool loaded,
                    bool redact = false);
