// The redaction check of the fuzz target: what orveldump --redact prints of a file must not
// depend on any byte it leaves out.
//
// Given the input and its parse, every byte of a value that a redacted dump does not keep (each leaf
// element, fragment and item value that KeptWhenRedacted refuses) and, for a refused input,
// the four bytes where the parse failed are filled with a marker, once with marker A and once
// with marker B (lower-case letters that no character rule tells apart, byte for byte of the
// same parity). Where both fillings parse to the same structure as the input, every redacted
// output (the listing and JSON with --check problems, the failure line, the diff of the two) is
// made for each: the outputs for A and B must be equal, and no output may hold a marker as text,
// as hex or as \xNN.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CDicomFile;

namespace redaction_check {

// Empty, or what leaked and where. `file` holds the input's parse (with its partial tree when
// refused, `loaded` false).
std::string Check(const uint8_t* data, size_t size, const CDicomFile& file, bool loaded);

}  // namespace redaction_check
