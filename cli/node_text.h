// Texts of a node that every output mode shares: its tag, name and VR, and the path to a node
// in words.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CDicomTag;

// "GGGG,EEEE", upper-case hex.
std::string TagText(const CDicomTag& tag);
// The same for a tag given by its numbers (the core's TagText adds the parentheses).
std::string TagCode(uint16_t group, uint16_t element);
// "SQ Item" for items and fragments, else the dictionary's name.
std::string NameOf(const CDicomTag& tag);

// One step of a path in words: "element 4 (0008,1115)" at the top level or below an item,
// "item 0 (FFFE,E000)" for an item, "fragment 1 (FFFE,E000)" for an item of encapsulated pixel
// data (`fragment`); `first` leaves out the " > " before it.
std::string PathStepWords(uint32_t index, uint16_t group, uint16_t element, bool first, bool fragment = false);

// The path to a node in those words, top level first: "element 4 (0008,1115) > item 0 (FFFE,E000)
// > element 2 (0010,0010)"; `indexes` are the positions among the parents' children.
std::string PathWords(const std::vector<uint32_t>& indexes, const std::vector<const CDicomTag*>& nodes);
