// Files written by the test writer that together cover the structures the parser reads: both
// VR modes and byte orders, bare data sets, sequences and items of both length kinds, UN
// sequences, native and encapsulated pixel data, palettes, ultrasound regions and several
// character sets. They seed the fuzzer and are part of the mutation sweep's corpus.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct WriterCorpusFile {
    std::string name;
    std::vector<uint8_t> bytes;
};

std::vector<WriterCorpusFile> WriterCorpus();
