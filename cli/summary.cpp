#include "cli/summary.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "cli/json_read.h"
#include "cli/output.h"
#include "dicom/dictionary/UidDictionary.h"

namespace {

const size_t kRanked = 5;  // largest and slowest files kept

// --- the record between processes: each field as its decimal length, ':' and its bytes ---

void Put(std::string& out, const std::string& field) {
    out += std::to_string(field.size());
    out += ':';
    out += field;
}

class Fields {
public:
    explicit Fields(const std::string& bytes) : m_bytes(bytes) {}
    bool Next(std::string& field) {
        const size_t colon = m_bytes.find(':', m_pos);
        if (colon == std::string::npos) return false;
        char* end = nullptr;
        const unsigned long long length = std::strtoull(m_bytes.c_str() + m_pos, &end, 10);
        if (end != m_bytes.c_str() + colon || length > m_bytes.size() - colon - 1) return false;
        field.assign(m_bytes, colon + 1, static_cast<size_t>(length));
        m_pos = colon + 1 + static_cast<size_t>(length);
        return true;
    }
    bool Number(uint64_t& value) {
        std::string field;
        if (!Next(field)) return false;
        value = std::strtoull(field.c_str(), nullptr, 10);
        return true;
    }

private:
    const std::string& m_bytes;
    size_t m_pos = 0;
};

uint64_t NumberOf(const JsonValue* value) {
    return value != nullptr && value->type == JsonValue::Number && value->number > 0 ? static_cast<uint64_t>(value->number) : 0;
}

std::string TextOf(const JsonValue* value) { return value != nullptr && value->type == JsonValue::String ? value->text : ""; }

bool ReadCounts(const JsonValue& summary, const char* key, std::map<std::string, Summary::Count>& counts) {
    const JsonValue* list = summary.Member(key);
    if (list == nullptr || list->type != JsonValue::Array) return false;
    for (const JsonValue& item : list->items)
        counts[TextOf(item.Member("value"))] = {NumberOf(item.Member("files")), TextOf(item.Member("example"))};
    return true;
}

bool ReadRanked(const JsonValue& summary, const char* key, const char* valueKey, std::vector<Summary::Ranked>& ranks) {
    const JsonValue* list = summary.Member(key);
    if (list == nullptr || list->type != JsonValue::Array) return false;
    for (const JsonValue& item : list->items) {
        const JsonValue* value = item.Member(valueKey);
        ranks.push_back({TextOf(item.Member("file")), value != nullptr ? value->number : 0});
    }
    return true;
}

// --- output ---

// The counts by files, most first, then by value.
std::vector<std::pair<std::string, Summary::Count>> Sorted(const std::map<std::string, Summary::Count>& counts) {
    std::vector<std::pair<std::string, Summary::Count>> sorted(counts.begin(), counts.end());
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return a.second.files > b.second.files; });
    return sorted;
}

void JsonCounts(Output& out, const char* key, const std::map<std::string, Summary::Count>& counts,
                bool uidNames = false) {
    out.Raw(", \"");
    out.Raw(key, std::strlen(key));
    out.Raw("\": [");
    bool first = true;
    for (const auto& [value, count] : Sorted(counts)) {
        if (!first) out.Raw(", ");
        first = false;
        out.Raw("{\"value\": ");
        out.JsonUtf8(value);
        if (uidNames) {
            // The registry's name of the UID, null where it has none.
            out.Raw(", \"name\": ");
            const char* name = UidName(value);
            if (name != nullptr)
                out.JsonUtf8(name);
            else
                out.Raw("null");
        }
        out.Raw(", \"files\": ");
        out.Number(count.files);
        out.Raw(", \"example\": ");
        out.JsonUtf8(count.example);
        out.Raw("}");
    }
    out.Raw("]");
}

void TableCounts(std::string& out, const char* title, const std::map<std::string, Summary::Count>& counts,
                 bool example, bool uidNames = false) {
    if (counts.empty()) return;
    out += title;
    out += ":\n";
    char line[64];
    for (const auto& [value, count] : Sorted(counts)) {
        std::snprintf(line, sizeof line, "  %10llu  ", static_cast<unsigned long long>(count.files));
        out += line + (value.empty() ? std::string("(none)") : value);
        if (const char* name = uidNames ? UidName(value) : nullptr) out += std::string("  ") + name;
        if (example) out += "\n              e.g. " + count.example;
        out += "\n";
    }
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

}  // namespace

std::string FileRecord::Serialize() const {
    std::string out;
    Put(out, path);
    Put(out, std::to_string(static_cast<int>(outcome)));
    Put(out, reason);
    Put(out, std::to_string(bytes));
    Put(out, Seconds(seconds));
    Put(out, transferSyntax);
    Put(out, sopClass);
    Put(out, modality);
    Put(out, std::to_string((checked ? 1 : 0) | (serious ? 2 : 0) | (status << 2)));
    Put(out, std::to_string(rules.size()));
    for (const RuleHits& hits : rules) {
        Put(out, hits.rule);
        Put(out, hits.severity);
        Put(out, std::to_string(hits.problems));
        Put(out, std::to_string(hits.firstOffset));
    }
    return out;
}

bool FileRecord::Deserialize(const std::string& bytes) {
    Fields fields(bytes);
    std::string secondsText;
    uint64_t kind = 0, flags = 0, ruleCount = 0;
    if (!fields.Next(path) || !fields.Number(kind) || !fields.Next(reason) || !fields.Number(this->bytes) ||
        !fields.Next(secondsText) || !fields.Next(transferSyntax) || !fields.Next(sopClass) ||
        !fields.Next(modality) || !fields.Number(flags) || !fields.Number(ruleCount) || kind > 3)
        return false;
    outcome = static_cast<Outcome>(kind);
    seconds = std::strtod(secondsText.c_str(), nullptr);
    checked = (flags & 1) != 0;
    serious = (flags & 2) != 0;
    status = static_cast<int>(flags >> 2);
    rules.clear();
    for (uint64_t i = 0; i < ruleCount; ++i) {
        RuleHits hits;
        if (!fields.Next(hits.rule) || !fields.Next(hits.severity) || !fields.Number(hits.problems) ||
            !fields.Number(hits.firstOffset))
            return false;
        rules.push_back(std::move(hits));
    }
    return true;
}

std::string ReasonKind(const std::string& reason) {
    // A word of digits and hex letters with at least one digit is a number: "N".
    std::string kind;
    size_t i = 0;
    while (i < reason.size()) {
        if (!std::isalnum(static_cast<unsigned char>(reason[i]))) {
            kind += reason[i++];
            continue;
        }
        size_t end = i;
        bool digit = false, hex = true;
        while (end < reason.size() && std::isalnum(static_cast<unsigned char>(reason[end]))) {
            digit = digit || std::isdigit(static_cast<unsigned char>(reason[end]));
            hex = hex && std::isxdigit(static_cast<unsigned char>(reason[end]));
            ++end;
        }
        const bool prefixed = end - i > 2 && reason[i] == '0' && (reason[i + 1] == 'x' || reason[i + 1] == 'X');
        kind += (digit && (hex || prefixed)) ? std::string("N") : reason.substr(i, end - i);
        i = end;
    }
    return kind;
}

void Summary::AddCount(std::map<std::string, Count>& counts, const std::string& key, const Count& count) {
    Count& total = counts[key];
    if (total.example.empty()) total.example = count.example;
    total.files += count.files;
}

void Summary::AddRanked(std::vector<Ranked>& ranks, const std::vector<Ranked>& more) {
    ranks.insert(ranks.end(), more.begin(), more.end());
    // Equal values keep their input order.
    std::stable_sort(ranks.begin(), ranks.end(), [](const Ranked& a, const Ranked& b) { return a.value > b.value; });
    if (ranks.size() > kRanked) ranks.resize(kRanked);
}

void Summary::Add(const FileRecord& record) {
    ++m_files;
    m_bytes += record.bytes;
    const Count one{1, record.path};
    switch (record.outcome) {
        case Outcome::Loaded:
            ++m_loaded;
            AddCount(m_transferSyntaxes, record.transferSyntax, one);
            AddCount(m_sopClasses, record.sopClass, one);
            AddCount(m_modalities, record.modality, one);
            break;
        case Outcome::Refused:
            ++m_refused;
            AddCount(m_refusedBy, record.reason, one);
            break;
        case Outcome::NotDicom: ++m_notDicom; break;
        case Outcome::IoError:
            ++m_ioErrors;
            AddCount(m_ioErrorsBy, record.reason, one);
            break;
    }
    m_checked = m_checked || record.checked;
    for (const FileRecord::RuleHits& hits : record.rules) {
        RuleCount& count = m_rules[{hits.rule, hits.severity}];
        if (count.example.empty()) {
            count.example = record.path;
            count.offset = hits.firstOffset;
        }
        count.problems += hits.problems;
        ++count.files;
    }
    if (record.outcome != Outcome::IoError) {
        AddRanked(m_largest, {{record.path, static_cast<double>(record.bytes)}});
        AddRanked(m_slowest, {{record.path, record.seconds}});
    }
}

void Summary::Merge(const Summary& other) {
    m_files += other.m_files;
    m_bytes += other.m_bytes;
    m_loaded += other.m_loaded;
    m_refused += other.m_refused;
    m_notDicom += other.m_notDicom;
    m_ioErrors += other.m_ioErrors;
    m_checked = m_checked || other.m_checked;
    for (const auto& [key, count] : other.m_refusedBy) AddCount(m_refusedBy, key, count);
    for (const auto& [key, count] : other.m_ioErrorsBy) AddCount(m_ioErrorsBy, key, count);
    for (const auto& [key, count] : other.m_transferSyntaxes) AddCount(m_transferSyntaxes, key, count);
    for (const auto& [key, count] : other.m_sopClasses) AddCount(m_sopClasses, key, count);
    for (const auto& [key, count] : other.m_modalities) AddCount(m_modalities, key, count);
    for (const auto& [key, count] : other.m_rules) {
        RuleCount& total = m_rules[key];
        if (total.example.empty()) {
            total.example = count.example;
            total.offset = count.offset;
        }
        total.problems += count.problems;
        total.files += count.files;
    }
    AddRanked(m_largest, other.m_largest);
    AddRanked(m_slowest, other.m_slowest);
}

std::string Summary::Table() const {
    std::string out;
    char line[200];
    std::snprintf(line, sizeof line,
                  "Summary: %llu files, %llu bytes\n  loaded      %10llu\n  refused     %10llu\n"
                  "  not DICOM   %10llu\n  I/O errors  %10llu\n",
                  static_cast<unsigned long long>(m_files), static_cast<unsigned long long>(m_bytes),
                  static_cast<unsigned long long>(m_loaded), static_cast<unsigned long long>(m_refused),
                  static_cast<unsigned long long>(m_notDicom), static_cast<unsigned long long>(m_ioErrors));
    out += line;
    TableCounts(out, "Refused, by reason", m_refusedBy, true);
    TableCounts(out, "I/O errors, by reason", m_ioErrorsBy, true);
    TableCounts(out, "Transfer syntaxes", m_transferSyntaxes, false, true);
    TableCounts(out, "SOP classes", m_sopClasses, false, true);
    TableCounts(out, "Modalities", m_modalities, false);
    if (m_checked) {
        out += "Problems, by rule and severity:\n";
        if (m_rules.empty()) out += "  none\n";
        for (const auto& [key, count] : m_rules) {
            std::snprintf(line, sizeof line, "  %-20s %-8s %10llu problems in %llu files\n", key.first.c_str(),
                          key.second.c_str(), static_cast<unsigned long long>(count.problems),
                          static_cast<unsigned long long>(count.files));
            out += line;
            std::snprintf(line, sizeof line, " at offset %llu (0x%llX)\n", static_cast<unsigned long long>(count.offset),
                          static_cast<unsigned long long>(count.offset));
            out += "              e.g. " + count.example + line;
        }
    }
    if (!m_largest.empty()) out += "Largest files:\n";
    for (const Ranked& rank : m_largest) {
        std::snprintf(line, sizeof line, "  %14llu bytes  ", static_cast<unsigned long long>(rank.value));
        out += line + rank.file + "\n";
    }
    if (!m_slowest.empty()) out += "Slowest files:\n";
    for (const Ranked& rank : m_slowest) {
        std::snprintf(line, sizeof line, "  %12.3f s      ", rank.value);
        out += line + rank.file + "\n";
    }
    return out;
}

std::string Summary::Json() const {
    std::string text;
    {
        Output out(&text, 4096);
        out.Raw("{\"summary\": {\"files\": ");
        out.Number(m_files);
        out.Raw(", \"bytes\": ");
        out.Number(m_bytes);
        out.Raw(", \"loaded\": ");
        out.Number(m_loaded);
        out.Raw(", \"refused\": ");
        out.Number(m_refused);
        out.Raw(", \"notDicom\": ");
        out.Number(m_notDicom);
        out.Raw(", \"ioErrors\": ");
        out.Number(m_ioErrors);
        JsonCounts(out, "refusedBy", m_refusedBy);
        JsonCounts(out, "ioErrorsBy", m_ioErrorsBy);
        JsonCounts(out, "transferSyntaxes", m_transferSyntaxes, true);
        JsonCounts(out, "sopClasses", m_sopClasses, true);
        JsonCounts(out, "modalities", m_modalities);
        out.Raw(", \"checked\": ");
        out.Boolean(m_checked);
        out.Raw(", \"problems\": [");
        bool first = true;
        for (const auto& [key, count] : m_rules) {
            if (!first) out.Raw(", ");
            first = false;
            out.Raw("{\"rule\": ");
            out.JsonUtf8(key.first);
            out.Raw(", \"severity\": ");
            out.JsonUtf8(key.second);
            out.Raw(", \"problems\": ");
            out.Number(count.problems);
            out.Raw(", \"files\": ");
            out.Number(count.files);
            out.Raw(", \"example\": {\"file\": ");
            out.JsonUtf8(count.example);
            out.Raw(", \"offset\": ");
            out.Number(count.offset);
            out.Raw("}}");
        }
        out.Raw("], \"largest\": [");
        for (size_t i = 0; i < m_largest.size(); ++i) {
            out.Raw(i == 0 ? "{\"file\": " : ", {\"file\": ");
            out.JsonUtf8(m_largest[i].file);
            out.Raw(", \"bytes\": ");
            out.Number(static_cast<uint64_t>(m_largest[i].value));
            out.Raw("}");
        }
        out.Raw("], \"slowest\": [");
        for (size_t i = 0; i < m_slowest.size(); ++i) {
            out.Raw(i == 0 ? "{\"file\": " : ", {\"file\": ");
            out.JsonUtf8(m_slowest[i].file);
            out.Raw(", \"seconds\": ");
            out.Raw(Seconds(m_slowest[i].value));
            out.Raw("}");
        }
        out.Raw("]}}\n");
    }
    return text;
}

bool Summary::Parse(const std::string& text, Summary& summary, std::string& error) {
    // Every line that holds a summary: a --json run's output ends with one, and the output of
    // several runs (GNU parallel's) holds one per run.
    Summary total;
    bool found = false;
    for (size_t at = text.find("{\"summary\""); at != std::string::npos; at = text.find("{\"summary\"", at + 1)) {
        if (at != 0 && text[at - 1] != '\n') continue;
        const size_t end = text.find('\n', at);
        Summary part;
        if (!ParseLine(text.substr(at, end == std::string::npos ? std::string::npos : end - at), part)) {
            error = "its summary is not one orveldump wrote";
            return false;
        }
        total.Merge(part);
        found = true;
    }
    if (!found) {
        error = "no summary in it (a line {\"summary\": ...} as --summary --json writes)";
        return false;
    }
    summary = std::move(total);
    return true;
}

bool Summary::ParseLine(const std::string& line, Summary& summary) {
    JsonValue document;
    std::string error;
    const JsonValue* object = nullptr;
    if (ReadJson(line, document, error)) object = document.Member("summary");
    Summary read;
    if (object == nullptr || object->type != JsonValue::Object || !ReadCounts(*object, "refusedBy", read.m_refusedBy) ||
        !ReadCounts(*object, "ioErrorsBy", read.m_ioErrorsBy) ||
        !ReadCounts(*object, "transferSyntaxes", read.m_transferSyntaxes) ||
        !ReadCounts(*object, "sopClasses", read.m_sopClasses) ||
        !ReadCounts(*object, "modalities", read.m_modalities) ||
        !ReadRanked(*object, "largest", "bytes", read.m_largest) ||
        !ReadRanked(*object, "slowest", "seconds", read.m_slowest))
        return false;
    read.m_files = NumberOf(object->Member("files"));
    read.m_bytes = NumberOf(object->Member("bytes"));
    read.m_loaded = NumberOf(object->Member("loaded"));
    read.m_refused = NumberOf(object->Member("refused"));
    read.m_notDicom = NumberOf(object->Member("notDicom"));
    read.m_ioErrors = NumberOf(object->Member("ioErrors"));
    const JsonValue* checked = object->Member("checked");
    read.m_checked = checked != nullptr && checked->boolean;
    if (const JsonValue* problems = object->Member("problems"); problems != nullptr)
        for (const JsonValue& item : problems->items) {
            RuleCount& count = read.m_rules[{TextOf(item.Member("rule")), TextOf(item.Member("severity"))}];
            count.problems = NumberOf(item.Member("problems"));
            count.files = NumberOf(item.Member("files"));
            if (const JsonValue* example = item.Member("example"); example != nullptr) {
                count.example = TextOf(example->Member("file"));
                count.offset = NumberOf(example->Member("offset"));
            }
        }
    summary = std::move(read);
    return true;
}
