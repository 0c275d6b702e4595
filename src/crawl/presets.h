// The preset groups of the ">" buttons: fixed entries appended to the
// extension or pattern list in one go.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "state/lists.h"

namespace veltrano {

struct PresetGroup {
    std::string_view name;   // as the command line names it
    std::string_view label;  // as the preset menu shows it
    bool patterns;           // true: PatternList, false: ExtensionList
    std::vector<std::string_view> members;
};

// In menu order: html, image, music, torrent, video, xml, then HTML link.
const std::vector<PresetGroup>& PresetGroups();
const PresetGroup* FindPresetGroup(std::string_view name);

// Appends each member that the list does not hold in any case; no other
// change, no limit, no message.
void AddPresetGroup(const PresetGroup& group, EditableList& list);

}  // namespace veltrano
