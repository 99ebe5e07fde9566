#include "cli/arguments.h"

extern const char kUsage[] =
    "usage: orveldump [--check] [--json | --quiet | --regions] FILE...\n"
    "\n"
    "Parses each DICOM file and prints its elements: tag, VR, tag offset, data offset,\n"
    "size (FFFFFFFF for an undefined length) and name, nested by indentation.\n"
    "\n"
    "  --json    one JSON object per file and line, for scripts\n"
    "  --quiet   load only; print nothing but errors\n"
    "  --regions the calibrated regions of ultrasound files, in square-pixel geometry\n"
    "  --check   also check each file against the standard's encoding rules, reading its\n"
    "            bytes as stored: the listing prints each problem under the element it\n"
    "            concerns (\"! offset (hex) severity rule: message\") and a count per file;\n"
    "            with --json each file's object gains \"problems\": [{\"rule\", \"severity\",\n"
    "            \"offset\", \"path\", \"message\"}, ...] in file order. Rules: odd-length,\n"
    "            vr-mismatch, unknown-vr, bad-length-for-vr, value-too-long, bad-character,\n"
    "            padding, group-length, tag-order, private-creator, charset-missing,\n"
    "            charset-unknown, trailing-bytes, pixel-length, offset-table, meta-missing,\n"
    "            meta-mismatch, un-sequence, no-preamble; severities error (readers may\n"
    "            misread the file), warning (forbidden, readers usually cope), info\n"
    "            (allowed). With --quiet only the exit status tells. A refused file's\n"
    "            partial tree is checked too (its exit status stays 1).\n"
    "  --help    this text\n"
    "\n"
    "A refused file (\"Invalid DICOM file\" on stderr) is described where and why it was\n"
    "refused. The listing prints the elements read whole before the failure, in place, and\n"
    "the sequences, items and pixel elements that were open at the failure, each marked\n"
    "\"(incomplete)\" and holding what it had read; then one line with the offset of the\n"
    "failure (decimal and hex), the path to it and the reason. The offset is the first byte\n"
    "of the innermost element, item, fragment or delimiter that broke a rule, or where the\n"
    "next tag would have started; \"none\" where no single place is to blame. The path\n"
    "names the open containers from the top level down, then the element that broke the\n"
    "rule, each as its tag and its 0-based position among its parent's children; that\n"
    "element is not in the tree. A bare data set that looked explicit VR and was read again\n"
    "as implicit VR reports the implicit attempt, and the explicit one's reason too.\n"
    "With --json the refused file's object is\n"
    "  {\"file\", \"loaded\": false, \"error\": \"Invalid DICOM file\", \"fileSize\",\n"
    "   \"hasPreamble\", \"explicitVR\", \"littleEndian\" (null where not known),\n"
    "   \"failure\": {\"offset\": N or null, \"path\": [{\"index\": i, \"tag\": \"GGGG,EEEE\"}...],\n"
    "               \"reason\": \"...\", \"firstReason\": \"...\" or null},\n"
    "   \"elements\": [the partial tree; an open container has \"complete\": false]}\n"
    "With --quiet the one-line reason follows \"Invalid DICOM file\" on stderr.\n"
    "\n"
    "Exit status: 0 when every file loaded, 1 when any file was refused or could not be\n"
    "opened, 2 on a usage error; with --check, 3 when every file loaded but a warning or\n"
    "an error was found.\n";

ParseResult ParseArguments(int argc, char** argv, Arguments& arguments, std::string& error) {
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "--help" || arg == "-h")) {
            return ParseResult::Help;
        } else if (options && arg == "--json") {
            arguments.mode = Mode::Json;
        } else if (options && arg == "--quiet") {
            arguments.mode = Mode::Quiet;
        } else if (options && arg == "--regions") {
            arguments.mode = Mode::Regions;
        } else if (options && arg == "--check") {
            arguments.check = true;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            error = "orveldump: unknown option " + arg + "\n\n";
            return ParseResult::Usage;
        } else {
            arguments.paths.push_back(arg);
        }
    }
    if (arguments.paths.empty() || (arguments.check && arguments.mode == Mode::Regions)) return ParseResult::Usage;
    return ParseResult::Run;
}
