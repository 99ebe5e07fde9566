// --summary: what a run over many files found, as a table or one JSON object; partial summaries
// (from runs over parts of an archive) add up to the one a single run would give.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

enum class Outcome : uint8_t { Loaded, Refused, NotDicom, IoError };

// What one file contributes.
struct FileRecord {
    struct RuleHits {
        std::string rule;
        std::string severity;
        uint64_t problems = 0;
        uint64_t firstOffset = 0;
    };
    std::string path;
    Outcome outcome = Outcome::Loaded;
    std::string reason;  // refused: the kind of reason; I/O error: the system's reason
    uint64_t bytes = 0;
    double seconds = 0;
    std::string transferSyntax, sopClass, modality;  // of a loaded file, as stored (trimmed)
    bool checked = false;                            // --check ran over the file
    std::vector<RuleHits> rules;                     // in the order the rules first hit
    int status = 0;                                  // the file's exit status: 0, or 1
    bool serious = false;                            // --check found a warning or an error

    // The record as bytes and back (between the processes of -j).
    std::string Serialize() const;
    bool Deserialize(const std::string& bytes);
};

// The kind of a refusal: the reason with its numbers (offsets, lengths, tags, bytes) left out,
// so that files refused for the same cause count together.
std::string ReasonKind(const std::string& reason);

class Summary {
public:
    void Add(const FileRecord& record);
    // Adds another summary; `other` counts as coming after every file of this one.
    void Merge(const Summary& other);

    std::string Table() const;
    // {"summary": {...}} on one line, with a newline.
    std::string Json() const;
    // The summaries in a text (lines {"summary": ...}, alone or among --json output), added in
    // order. False, with the reason, when there is none or one is not a summary.
    static bool Parse(const std::string& text, Summary& summary, std::string& error);

    uint64_t Files() const { return m_files; }

    struct Count {
        uint64_t files = 0;
        std::string example;  // the first file, in input order
    };
    struct RuleCount {
        uint64_t problems = 0;
        uint64_t files = 0;
        std::string example;
        uint64_t offset = 0;  // of the example's first problem of the rule
    };
    struct Ranked {
        std::string file;
        double value;
    };

private:
    static bool ParseLine(const std::string& line, Summary& summary);
    static void AddCount(std::map<std::string, Count>& counts, const std::string& key, const Count& count);
    static void AddRanked(std::vector<Ranked>& ranks, const std::vector<Ranked>& more);

    uint64_t m_files = 0, m_bytes = 0, m_loaded = 0, m_refused = 0, m_notDicom = 0, m_ioErrors = 0;
    bool m_checked = false;
    std::map<std::string, Count> m_refusedBy, m_ioErrorsBy, m_transferSyntaxes, m_sopClasses, m_modalities;
    std::map<std::pair<std::string, std::string>, RuleCount> m_rules;  // by rule and severity
    std::vector<Ranked> m_largest, m_slowest;
};
