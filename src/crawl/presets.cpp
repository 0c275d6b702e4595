#include "crawl/presets.h"

#include <string>

#include "text/pattern.h"

namespace veltrano {

const std::vector<PresetGroup>& PresetGroups() {
    static const std::vector<PresetGroup> groups = {
        {"html", "html", false, {"htm", "html", "php", "aspx", "cgi"}},
        {"image", "image", false, {"gif", "png", "jpg", "jpeg", "bmp", "ico"}},
        {"music", "music", false, {"wav", "mp3", "ogg"}},
        {"torrent", "torrent", false, {"torrent"}},
        {"video", "video", false, {"avi", "mov", "mp4"}},
        {"xml", "xml", false, {"xml"}},
        {"html-link", "HTML link", true, {kLinkPatternDoubleQuote, kLinkPatternSingleQuote}},
    };
    return groups;
}

const PresetGroup* FindPresetGroup(std::string_view name) {
    for (const PresetGroup& group : PresetGroups()) {
        if (group.name == name) return &group;
    }
    return nullptr;
}

void AddPresetGroup(const PresetGroup& group, EditableList& list) {
    for (const std::string_view member : group.members) {
        if (!list.FindNoCase(member)) list.Append(std::string(member));
    }
}

}  // namespace veltrano
