#include "cli/arguments.h"

extern const char kShortUsage[] =
    "usage: orveldump [--json | --quiet | --regions] [--check] [--redact] FILE...\n"
    "       orveldump [--json] [--redact] --tag TAG [--tag TAG]... FILE...\n"
    "       orveldump [--json] [--redact] --at OFFSET FILE...\n"
    "       orveldump [--json | --quiet] [--redact] --diff FILE_A FILE_B\n"
    "       orveldump [MODE] [-r [--follow]] [--files-from LIST [-0]] [-j N] [--summary]\n"
    "                 [--summary-file F] [--progress | --no-progress] [FILE | DIR]...\n"
    "       orveldump [--json] [--summary-file F] --merge-summaries SUMMARY...\n"
    "       orveldump --html [--redact] [--html-budget SIZE] [-o OUT] FILE...\n"
    "Run orveldump --help for what each flag does.\n";

extern const char kUsage[] =
    "usage: orveldump [--json | --quiet | --regions] [--check] [--redact] FILE...\n"
    "       orveldump [--json] [--redact] --tag TAG [--tag TAG]... FILE...\n"
    "       orveldump [--json] [--redact] --at OFFSET FILE...\n"
    "       orveldump [--json | --quiet] [--redact] --diff FILE_A FILE_B\n"
    "       orveldump [MODE] [-r [--follow]] [--files-from LIST [-0]] [-j N] [--summary]\n"
    "                 [--summary-file F] [--progress | --no-progress] [FILE | DIR]...\n"
    "       orveldump [--json] [--summary-file F] --merge-summaries SUMMARY...\n"
    "       orveldump --html [--redact] [--html-budget SIZE] [-o OUT] FILE...\n"
    "       orveldump --help | --version\n"
    "\n"
    "Parses each DICOM file and prints its elements: tag, VR, tag offset, data offset,\n"
    "size (FFFFFFFF for an undefined length) and name, nested by indentation.\n"
    "  orveldump scan.dcm\n"
    "Files of any size are read (offsets are 64-bit). Pixel data and values of more than\n"
    "1 KiB stay in the file: they are read only as far as a value text needs them (none\n"
    "for pixel data and long text, all of a long list of numbers), so memory does not\n"
    "grow with them. --check and --diff read the whole file's bytes as stored.\n"
    "\n"
    "  --json    one JSON object per file and line, for scripts; each element is\n"
    "            {\"tag\", \"name\", \"vr\", \"tagOffset\", \"dataOffset\", \"size\", \"lastByte\",\n"
    "            \"value\", \"children\"}, with \"storedLength\" where the file stores another\n"
    "            length than \"size\" (an odd length, which the value is padded from; a date,\n"
    "            which is made 8 or 10 bytes long)\n"
    "            orveldump --json scan.dcm | jq .elements\n"
    "  --quiet   load only; print nothing but errors (with --diff: nothing, the exit\n"
    "            status tells)\n"
    "            orveldump --quiet *.dcm || echo some file was refused\n"
    "  --regions the calibrated regions of ultrasound files, in square-pixel geometry\n"
    "            orveldump --regions echo.dcm\n"
    "  --check   also check each file against the standard's encoding rules, reading its\n"
    "            bytes as stored: the listing prints each problem under the element it\n"
    "            concerns (\"! offset (hex) severity rule: message\") and a count per file;\n"
    "            with --json each file's object gains \"problems\": [{\"rule\", \"severity\",\n"
    "            \"offset\", \"path\", \"message\"}, ...] in file order (\"problems\": null and\n"
    "            \"checkError\": \"why\" when the file's bytes cannot be read again). Severity:\n"
    "            error where a reader may misread the file (the structure breaks, a length\n"
    "            lies, a VR is no VR), warning for what is forbidden but readable, info for\n"
    "            what is allowed but worth knowing. The rules and their severities:\n"
    "              odd-length             warning  a defined length is odd\n"
    "              vr-mismatch            warning  explicit VR other than the dictionary's\n"
    "              unknown-vr             error    explicit VR that is no VR\n"
    "              bad-length-for-vr      error    a length not a multiple of the VR's unit\n"
    "              value-too-long         warning  a value longer than its VR allows\n"
    "              bad-character          warning  a value malformed for its VR\n"
    "              padding                warning  a text padded with the wrong byte\n"
    "              group-length           error    the meta group's length unlike its bytes\n"
    "                                     warning  any other group length unlike its bytes\n"
    "              tag-order              warning  a tag lower than the one before it;\n"
    "                                     error    a tag repeated in its data set\n"
    "              item-outside-sequence  error    an item or delimiter among elements\n"
    "              not-an-item            error    another tag where a sequence's item goes\n"
    "              private-creator        warning  a private element without its creator, in\n"
    "                                              gggg,0001-000F, or an empty creator\n"
    "              charset-missing        warning  bytes above 0x7F without a character set\n"
    "              charset-unknown        warning  a character set term the standard lacks\n"
    "              trailing-bytes         warning  bytes after the pixel data, no elements\n"
    "                                     info     the same, starting with padding or a\n"
    "                                              signature element\n"
    "              pixel-length           error    native pixel data shorter than the image\n"
    "                                     warning  native pixel data longer than the image\n"
    "              pixel-vr               warning  native pixel data of more than 8 bits as\n"
    "                                              OB, or encapsulated pixel data as OW\n"
    "                                     error    the former in big endian\n"
    "              offset-table           error    a basic offset table entry that is no item\n"
    "              meta-missing           error    no transfer syntax (0002,0010)\n"
    "                                     warning  another required meta element missing\n"
    "              meta-version           warning  (0002,0001) other than 00 01\n"
    "              meta-mismatch          warning  SOP class or instance unlike the meta's\n"
    "              meta-misplaced         warning  a group 0002 element in the data set or in\n"
    "                                              an item\n"
    "              un-sequence            info     undefined-length UN read as a sequence\n"
    "              no-preamble            info     a bare data set\n"
    "              not-checked            info     a deflated data set: only the meta group\n"
    "                                              is checked\n"
    "            Elements after the top-level pixel data, which the listing does not show,\n"
    "            are read for the check alone; their problems come last, naming the tag.\n"
    "            With --quiet only the exit status tells. A refused file's\n"
    "            partial tree is checked too (its exit status stays 1).\n"
    "            orveldump --check --json scan.dcm\n"
    "  --at OFFSET\n"
    "            the chain of nodes (element, item, fragment) whose bytes hold the byte at\n"
    "            OFFSET (decimal, or hex with 0x), from the top-level element down to the\n"
    "            innermost, each with its index among its parent's children, tag, VR, tag\n"
    "            offset, last byte and name; a delimiter's bytes belong to its item or\n"
    "            sequence. The listing names the path in words, or says where the byte lies\n"
    "            when no element holds it (preamble, trailing bytes, past the end). With\n"
    "            --json one object per file:\n"
    "              {\"file\", \"offset\": N, \"path\": [{\"index\", \"tag\": \"GGGG,EEEE\", \"vr\",\n"
    "               \"tagOffset\", \"lastByte\", \"name\"}, ...]}   ([] when no element holds it)\n"
    "            A refused file is searched in its partial tree.\n"
    "            orveldump --at 0x2A6 scan.dcm\n"
    "  --tag TAG only the elements TAG names, at any depth, each with what it holds and its\n"
    "            path (index and tag of each container above it, in words); TAG is GGGG,EEEE\n"
    "            in hex or a keyword of the dictionary such as PatientName (each word of the\n"
    "            name capitalised and joined, without \"'s\" and punctuation). Repeat it for\n"
    "            more tags. With --json \"elements\" keeps only the matches (whole) and the\n"
    "            sequences and items above them.\n"
    "            orveldump --tag PatientName --tag 0028,0010 scan.dcm\n"
    "  --redact  prints every value as an empty text except those that describe the encoding\n"
    "            and carry no patient data; tags, VRs, offsets, sizes and nesting stay. Kept,\n"
    "            each by its tag, its VR as stored and its content: group lengths\n"
    "            (gggg,0000) as UL; (0002,0001) as OB of 2 bytes; the transfer syntax\n"
    "            (0002,0010) and the SOP classes (0002,0002), (0008,0016), (0008,1150),\n"
    "            (0004,1510) as UI; Specific Character Set (0008,0005) and Modality\n"
    "            (0008,0060) as CS; group 0028 (the image pixel module) for tags the\n"
    "            dictionary gives only the VRs US SS UL SL FL FD OB OW CS DS IS AT, stored as\n"
    "            one of them (not an unknown tag, not LUT Explanation stored as CS). A UI only\n"
    "            when digits and dots as stored, a CS only when upper-case letters, digits,\n"
    "            space, \"_\" (values split by \"\\\"), a DS or IS only number characters.\n"
    "            Everything else (names, IDs, dates, times, instance UIDs, free text, private\n"
    "            values, pixel data) prints as \"\". Every text from a value goes through\n"
    "            the same decision: --check messages quote a value only when it is kept\n"
    "            (else \"\"; a byte in hex reads 0x?\?, a number read from a value ?, a\n"
    "            message of a rule not known to quote safely is withheld); the failure\n"
    "            record's reason and path print a tag the parse read where it failed as\n"
    "            (????,???\?) unless it is a tag of the partial tree or an item tag (its\n"
    "            length and the bytes left after it then read ?), and the first bytes of\n"
    "            a file that is no DICOM as ?\? ?\? ?\? ??; the first reason (the reading\n"
    "            in the other VR mode) is withheld; --diff's transfer-syntax line prints\n"
    "            only a kept (0002,0010); a VR that is no VR of the standard prints ??.\n"
    "            Combines with every mode but --regions (a usage error: --regions prints\n"
    "            nothing but values).\n"
    "            orveldump --redact --json problem.dcm > shareable.json\n"
    "  --diff FILE_A FILE_B\n"
    "            compares two files by structure and encoding: the trees are aligned by tag\n"
    "            within each data set and item (the n-th occurrence of a tag with the n-th;\n"
    "            items and fragments by index). Reported, with the path and each file's\n"
    "            offsets: only-in-a, only-in-b, and for elements in both vr, length (as\n"
    "            stored: 3 against 4 differs; not of sequences, items or encapsulated pixel\n"
    "            data, whose lengths follow from their children), value (the value texts, and\n"
    "            the bytes as stored where both files have one byte order), encoding\n"
    "            (defined against undefined length, padding of a text value; for the data\n"
    "            set as a whole explicit or implicit VR and byte order, with an empty path);\n"
    "            and file (preamble, transfer syntax, trailing bytes). The fragments of\n"
    "            encapsulated pixel data and the offset table before them are values: length\n"
    "            and bytes (value) are compared, and a value found in the bytes names the\n"
    "            offset of the first byte that differs in each file. With --json:\n"
    "              {\"a\", \"b\", \"aLoaded\", \"bLoaded\", \"differences\": [{\"path\":\n"
    "               [{\"index\", \"tag\"}...], \"kind\", \"aspect\" (encoding and file only),\n"
    "               \"a\": {...} or null, \"b\": {...} or null}, ...]}\n"
    "            each side {\"tag\", \"name\", \"vr\", \"tagOffset\", \"lastByte\", \"size\",\n"
    "            \"storedLength\" (as for --json), \"value\", \"firstDifference\" (the offset,\n"
    "            where the bytes tell), \"encoding\" (encoding only)}.\n"
    "            the path in A's tree (B's for only-in-b). A refused file is compared over\n"
    "            its partial tree. Exit status 0 when the files agree, 3 when they differ, 1\n"
    "            when either is refused; a file that cannot be read (missing, a directory,\n"
    "            no permission) is not compared: its reason on stderr, status 1.\n"
    "            orveldump --diff --redact before.dcm after.dcm\n"
    "\n"
    "Over many files (every mode but --diff):\n"
    "  -r, --recursive\n"
    "            walk each DIR: its files in name order (byte order), depth first; symbolic\n"
    "            links in the walk are skipped. Without -r a DIR is an error (\"Is a\n"
    "            directory\"). A path that cannot be read gets the system's reason (\"No such\n"
    "            file or directory\", \"Permission denied\") in the listing (\"FILE: cannot be\n"
    "            read: reason\"), on stderr and in --json: {\"file\", \"loaded\": false,\n"
    "            \"ioError\": \"reason\"}; it counts as a refused file for the exit status.\n"
    "            orveldump --quiet -r /archive\n"
    "  --follow  with -r, follow symbolic links; a link that leads back into a directory\n"
    "            being walked, or a chain of links that loops, is an I/O error (\"Too many\n"
    "            levels of symbolic links\"), and so is a dangling link\n"
    "            orveldump -r --follow --quiet /archive\n"
    "  --files-from LIST\n"
    "            also read the paths in LIST (\"-\": standard input), one a line, or with -0\n"
    "            NUL-separated as find -print0 writes them\n"
    "            find /archive -name '*.dcm' -print0 | orveldump --quiet -0 --files-from -\n"
    "  -j N, --jobs N\n"
    "            read N files at a time in N processes (default: the number of cores; -j 1\n"
    "            reads one after the other); the output is in input order, byte for byte\n"
    "            what -j 1 prints. (On Windows files are read one after the other.)\n"
    "            orveldump -j 4 --check --json -r /archive > archive.jsonl\n"
    "  --progress, --no-progress\n"
    "            a one-line progress display on stderr (files done of all, bytes, files per\n"
    "            second, refused so far, time left) once a run has taken a second; shown by\n"
    "            default only when stderr is a terminal\n"
    "  --summary at the end, a table: files, loaded, refused (by kind of reason, the\n"
    "            numbers left out, with an example path each), not DICOM (refused before any\n"
    "            element, without a preamble, or empty), I/O errors (by reason); files by\n"
    "            transfer syntax and SOP class UID (each with the registry's name, where\n"
    "            it has one) and by modality; with --check the problems\n"
    "            and files per rule and severity, with an example file and offset; the\n"
    "            five largest and slowest files. With --json it is the last line, one\n"
    "            object {\"summary\": {\"files\", \"bytes\", \"loaded\", \"refused\", \"notDicom\",\n"
    "            \"ioErrors\", \"refusedBy\", \"ioErrorsBy\", \"transferSyntaxes\", \"sopClasses\",\n"
    "            \"modalities\": [{\"value\", \"files\", \"example\"}...] (the items of\n"
    "            \"transferSyntaxes\" and \"sopClasses\" also \"name\": text or null),\n"
    "            \"checked\",\n"
    "            \"problems\": [{\"rule\", \"severity\", \"problems\", \"files\", \"example\":\n"
    "            {\"file\", \"offset\"}}...], \"largest\": [{\"file\", \"bytes\"}...],\n"
    "            \"slowest\": [{\"file\", \"seconds\"}...]}}\n"
    "            orveldump --quiet --summary -r /archive\n"
    "  --summary-file F\n"
    "            write the summary's JSON object to F instead (implies --summary)\n"
    "            orveldump --json --summary-file part1.json -r /archive/1 > part1.jsonl\n"
    "  --merge-summaries SUMMARY...\n"
    "            add up the summaries in the files named (each line {\"summary\": ...}, also\n"
    "            among --json output) into the table, or with --json the object, one run\n"
    "            over all their files would print; exit status 1 when one cannot be read\n"
    "            orveldump --merge-summaries part*.json\n"
    "An archive across machines, with GNU parallel (-k keeps the order of the parts):\n"
    "  find /archive -type f -print0 | parallel -0 -X -k --sshloginfile hosts \\\n"
    "      orveldump --check --json --summary > archive.jsonl\n"
    "  orveldump --merge-summaries archive.jsonl\n"
    "The JSON Schemas of every --json object are in share/orveldump/schemas.\n"
    "Ctrl-C ends a run after the file being printed, with the summary so far when asked\n"
    "(exit status 130). When the reader of the output goes away (| head), the run ends\n"
    "quietly; a write error (a full disk) ends it with a message; both with status 1.\n"
    "\n"
    "  --html    one self-contained HTML page per file, to open offline in a browser and\n"
    "            attach to a ticket: the file's facts, the element tree, the seven properties\n"
    "            of the selected node and a hex view, linked both ways (a click on a node\n"
    "            lights its bytes, a click on a byte selects the innermost node that holds\n"
    "            it, as --at finds it), with the --check problems and, for a refused file,\n"
    "            the failure and the partial tree. Every byte is in the page except the\n"
    "            middle of bulk values (pixel data, fragments, values over 4 KiB, trailing\n"
    "            or unread bytes), of which 256 bytes at each end are kept. Deep links:\n"
    "            report.html#offset=0x2A6, report.html#tag=0010,0010. With --redact the page\n"
    "            holds no byte or text of a value left out (its bytes are zeros shown as\n"
    "            filler) and not the file's name. The exit status is that of a dump (3 for\n"
    "            problems only with --check too). The page's model is JSON in the page:\n"
    "            --json's file keys plus \"redacted\", \"names\", \"nodeColumns\", \"nodes\",\n"
    "            \"problemNodes\" and \"bytes\" (man orveldump says what each holds).\n"
    "            orveldump --html scan.dcm > report.html\n"
    "  -o OUT, --output OUT\n"
    "            with --html: write the page to the file OUT; with several FILEs (or when\n"
    "            OUT is a folder) one page each in the folder OUT, named FILE's base name\n"
    "            and .html\n"
    "            orveldump --html --redact -o reports/ a.dcm b.dcm\n"
    "  --html-budget SIZE\n"
    "            the size a page should keep within (bytes, or with K, M or G for KiB, MiB,\n"
    "            GiB; default 16M): over it, the windows of bulk values shrink first, then\n"
    "            ever shorter values are left out; what was left out is said on stderr and\n"
    "            in the page. The structure (every node and header) is always in the page.\n"
    "            orveldump --html --html-budget 2M -o small.html big.dcm\n"
    "  --help    this text\n"
    "  --version the program's version\n"
    "\n"
    "--check, --tag, --at and --diff are modes of their own and do not combine with each\n"
    "other (nor --regions with any of them); --redact combines with all but --regions.\n"
    "Of --json, --quiet and --regions the last one given counts.\n"
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
    "opened (or became shorter while --check or --diff read it), 2 on a usage error; with\n"
    "--check, 3 when every file loaded but a warning or an error was found; with --diff,\n"
    "3 when the files differ.\n";

namespace {

// Decimal, or hex after 0x; false for anything else or a value past 64 bits.
bool ParseOffset(const std::string& text, uint64_t& offset) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const size_t start = hex ? 2 : 0;
    if (text.size() == start) return false;
    const uint64_t base = hex ? 16 : 10;
    uint64_t value = 0;
    for (size_t i = start; i < text.size(); ++i) {
        const char c = text[i];
        uint64_t digit;
        if (c >= '0' && c <= '9') digit = static_cast<uint64_t>(c - '0');
        else if (hex && c >= 'a' && c <= 'f') digit = static_cast<uint64_t>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F') digit = static_cast<uint64_t>(c - 'A' + 10);
        else return false;
        if (value > (UINT64_MAX - digit) / base) return false;
        value = value * base + digit;
    }
    offset = value;
    return true;
}

bool ParseJobs(const std::string& text, unsigned& jobs) {
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    jobs = static_cast<unsigned>(std::stoul(text));
    return jobs > 0;
}

// The reason the flags of a run over many files do not go together, or empty.
std::string ArchiveConflict(const Arguments& a) {
    if (a.follow && !a.recursive) return "--follow needs -r (it follows the links met in a walk)";
    if (a.nul && a.filesFrom.empty()) return "-0 needs --files-from (it says how the list is separated)";
    if (a.mergeSummaries) {
        if (a.check || a.diff || a.at.has_value() || !a.tags.empty() || a.recursive || !a.filesFrom.empty() ||
            a.mode == Mode::Quiet || a.mode == Mode::Regions)
            return "--merge-summaries reads summaries only (with --json or --summary-file at most)";
        if (a.paths.empty()) return "--merge-summaries needs the summaries to merge";
    }
    if (a.diff && (a.recursive || !a.filesFrom.empty() || a.summary))
        return "--diff compares two files; -r, --files-from and --summary do not combine with it";
    if (a.html && (a.recursive || !a.filesFrom.empty() || a.summary || a.mergeSummaries))
        return "--html writes a page for each FILE named; -r, --files-from, --summary and --merge-summaries "
               "do not combine with it";
    return std::string();
}

// A size in bytes, or with K, M or G after it for KiB, MiB or GiB.
bool ParseSize(const std::string& text, uint64_t& size) {
    std::string digits = text;
    int shift = 0;
    if (!digits.empty()) {
        const char unit = static_cast<char>(digits.back() | 0x20);
        shift = unit == 'k' ? 10 : unit == 'm' ? 20 : unit == 'g' ? 30 : 0;
        if (shift != 0) digits.pop_back();
    }
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return false;
    uint64_t value = 0;
    if (!ParseOffset(digits, value) || value > (UINT64_MAX >> shift)) return false;
    size = value << shift;
    return true;
}

// The reason the flags do not go together, or empty.
std::string Conflict(const Arguments& a) {
    std::vector<const char*> modes;
    if (a.check) modes.push_back("--check");
    if (!a.tags.empty()) modes.push_back("--tag");
    if (a.at.has_value()) modes.push_back("--at");
    if (a.diff) modes.push_back("--diff");
    if (modes.size() > 1) return std::string(modes[0]) + " and " + modes[1] + " do not combine";
    const char* special = modes.empty() ? nullptr : modes[0];
    if (a.mode == Mode::Regions && special != nullptr) return std::string("--regions and ") + special + " do not combine";
    if (a.mode == Mode::Regions && a.redact)
        return "--regions and --redact do not combine (every number --regions prints is a value --redact leaves out)";
    if (const std::string archive = ArchiveConflict(a); !archive.empty()) return archive;
    if (a.mergeSummaries) return std::string();
    if (a.mode == Mode::Quiet && (!a.tags.empty() || a.at.has_value()))
        return std::string("--quiet and ") + special + " do not combine (nothing would be printed)";
    if (a.html) {
        if (a.mode != Mode::Listing) return "--html and --json, --quiet or --regions do not combine";
        if (!a.tags.empty() || a.at.has_value() || a.diff)
            return std::string("--html and ") + special + " do not combine";
    } else if (!a.output.empty() || a.htmlBudget.has_value()) {
        return std::string(a.output.empty() ? "--html-budget" : "-o") + " needs --html";
    }
    if (a.diff && a.paths.size() != 2)
        return "--diff compares two files; " + std::to_string(a.paths.size()) + " given";
    if (a.paths.empty() && a.filesFrom.empty()) return "no FILE given";
    return std::string();
}

}  // namespace

ParseResult ParseArguments(int argc, char** argv, Arguments& arguments, std::string& error) {
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        // A flag that takes a value: the next argument, or what follows "=".
        auto value = [&](const char* flag, std::string& text) {
            const std::string prefix = std::string(flag) + "=";
            if (arg.compare(0, prefix.size(), prefix) == 0) {
                text = arg.substr(prefix.size());
                return true;
            }
            if (arg != flag) return false;
            if (i + 1 >= argc) {
                error = std::string(flag) + " needs a value";
                text.clear();
                return true;
            }
            text = argv[++i];
            return true;
        };
        std::string text;
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "--help" || arg == "-h")) {
            return ParseResult::Help;
        } else if (options && arg == "--version") {
            return ParseResult::Version;
        } else if (options && arg == "--json") {
            arguments.mode = Mode::Json;
        } else if (options && arg == "--quiet") {
            arguments.mode = Mode::Quiet;
        } else if (options && arg == "--regions") {
            arguments.mode = Mode::Regions;
        } else if (options && arg == "--check") {
            arguments.check = true;
        } else if (options && arg == "--redact") {
            arguments.redact = true;
        } else if (options && arg == "--diff") {
            arguments.diff = true;
        } else if (options && value("--at", text)) {
            if (!error.empty()) return ParseResult::Usage;
            uint64_t offset = 0;
            if (!ParseOffset(text, offset)) {
                error = "--at " + text + ": not an offset (decimal, or hex after 0x)";
                return ParseResult::Usage;
            }
            if (arguments.at.has_value() && *arguments.at != offset) {
                error = "--at is given twice; give one offset";
                return ParseResult::Usage;
            }
            arguments.at = offset;
        } else if (options && arg == "--html") {
            arguments.html = true;
        } else if (options && (value("-o", text) || value("--output", text))) {
            if (!error.empty()) return ParseResult::Usage;
            if (text.empty()) {
                error = "-o needs a file or folder name";
                return ParseResult::Usage;
            }
            arguments.output = text;
        } else if (options && value("--html-budget", text)) {
            if (!error.empty()) return ParseResult::Usage;
            uint64_t budget = 0;
            if (!ParseSize(text, budget)) {
                error = "--html-budget " + text + ": not a size (bytes, or a number with K, M or G)";
                return ParseResult::Usage;
            }
            arguments.htmlBudget = budget;
        } else if (options && value("--tag", text)) {
            if (!error.empty()) return ParseResult::Usage;
            TagSpec spec{};
            if (!ParseTagSpec(text, spec, error)) return ParseResult::Usage;
            arguments.tags.push_back(spec);
        } else if (options && (arg == "-r" || arg == "--recursive")) {
            arguments.recursive = true;
        } else if (options && arg == "--follow") {
            arguments.follow = true;
        } else if (options && arg == "-0") {
            arguments.nul = true;
        } else if (options && arg == "--summary") {
            arguments.summary = true;
        } else if (options && (arg == "--progress" || arg == "--no-progress")) {
            arguments.progress = arg == "--progress" ? 1 : -1;
        } else if (options && arg == "--merge-summaries") {
            arguments.mergeSummaries = true;
        } else if (options && value("--files-from", text)) {
            if (!error.empty()) return ParseResult::Usage;
            arguments.filesFrom = text;
        } else if (options && value("--summary-file", text)) {
            if (!error.empty()) return ParseResult::Usage;
            arguments.summaryFile = text;
            arguments.summary = true;
        } else if (options && (value("--jobs", text) || value("-j", text) ||
                               (arg.size() > 2 && arg.compare(0, 2, "-j") == 0 && (text = arg.substr(2), true)))) {
            if (!error.empty()) return ParseResult::Usage;
            if (!ParseJobs(text, arguments.jobs)) {
                error = "--jobs " + text + ": not a number of processes (1 or more)";
                return ParseResult::Usage;
            }
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return ParseResult::Usage;
        } else {
            arguments.paths.push_back(arg);
        }
    }
    error = Conflict(arguments);
    return error.empty() ? ParseResult::Run : ParseResult::Usage;
}
