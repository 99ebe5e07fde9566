// Texts of a node that every output mode shares: its tag, name and VR, and the path to a node
// in words.
#pragma once

#include <cstdint>
#include <string>

class CDicomTag;

// "GGGG,EEEE", upper-case hex.
std::string TagText(const CDicomTag& tag);
// The same for a tag given by its numbers (the core's TagText adds the parentheses).
std::string TagCode(uint16_t group, uint16_t element);
// "SQ Item" for items and fragments, else the dictionary's name.
std::string NameOf(const CDicomTag& tag);
// Empty for items and fragments.
std::string VROf(const CDicomTag& tag);

// One step of a path in words: "element 4 (0008,1115)" at the top level or below an item,
// "item 0 (FFFE,E000)" for an item or fragment; `first` leaves out the " > " before it.
std::string PathStepWords(uint32_t index, uint16_t group, uint16_t element, bool first);
