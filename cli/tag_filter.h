// orveldump --tag: the elements asked for, by tag or by keyword, and the nodes a filtered dump
// shows (the matches, everything inside them and the containers above them).
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

class CDicomTag;
class CTagArray;

struct TagSpec {
    uint16_t group;
    uint16_t element;
    // From a keyword of a repeating group (50xx, 60xx): any group of the range matches.
    bool repeating = false;
};

// "GGGG,EEEE", "(GGGG,EEEE)", "GGGGEEEE" (hex) or a keyword such as PatientName; false with the
// reason otherwise.
bool ParseTagSpec(const std::string& text, TagSpec& spec, std::string& error);

// The keyword of a dictionary name, formed as the standard forms its keywords: each word
// capitalised and joined, "'s" and every character other than a letter or digit dropped
// ("Patient's Name" -> PatientName, "File-set ID" -> FileSetID).
std::string KeywordOf(const char* name);

bool Matches(const std::vector<TagSpec>& specs, const CDicomTag& tag);

// The nodes of a tree that a filtered dump prints.
class ShownNodes {
public:
    ShownNodes(const CTagArray& dataSet, const std::vector<TagSpec>& specs);
    bool Has(const CDicomTag& tag) const { return m_shown.count(&tag) != 0; }
    // The matches in file order, each with the path from the top level down to it.
    struct Match {
        std::vector<uint32_t> indexes;
        std::vector<const CDicomTag*> path;   // top level first; the match last
    };
    const std::vector<Match>& GetMatches() const { return m_matches; }

private:
    bool Visit(const CDicomTag& tag, const std::vector<TagSpec>& specs, Match& path);
    void AddAll(const CDicomTag& tag);

    std::unordered_set<const CDicomTag*> m_shown;
    std::vector<Match> m_matches;
};
