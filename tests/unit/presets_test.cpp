#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crawl/presets.h"

namespace veltrano {
namespace {

using Texts = std::vector<std::string>;

TEST(Presets, GroupsInMenuOrder) {
    Texts names;
    Texts forPatterns;
    for (const PresetGroup& group : PresetGroups()) {
        names.emplace_back(group.name);
        if (group.patterns) forPatterns.emplace_back(group.name);
    }
    EXPECT_EQ(names, (Texts{"html", "image", "music", "torrent", "video", "xml", "html-link"}));
    EXPECT_EQ(forPatterns, Texts{"html-link"});
    ASSERT_NE(FindPresetGroup("html-link"), nullptr);
    EXPECT_TRUE(FindPresetGroup("html-link")->patterns);
    EXPECT_EQ(FindPresetGroup("HTML"), nullptr);
}

TEST(Presets, AddOnlyMissingMembersIgnoringCase) {
    ExtensionList list;
    AddPresetGroup(*FindPresetGroup("html"), list);
    EXPECT_EQ(list.Items(), (Texts{"htm", "html", "php", "aspx", "cgi"}));
    AddPresetGroup(*FindPresetGroup("html"), list);
    EXPECT_EQ(list.Count(), 5u);
    list.Assign({"MP3"});
    AddPresetGroup(*FindPresetGroup("music"), list);
    EXPECT_EQ(list.Items(), (Texts{"MP3", "wav", "ogg"}));
}

TEST(Presets, HaveNoCountLimit) {
    ExtensionList list;
    for (int i = 0; i < 100; ++i) list.Append("e" + std::to_string(i));
    AddPresetGroup(*FindPresetGroup("video"), list);
    EXPECT_EQ(list.Count(), 103u);
    PatternList patterns;
    AddPresetGroup(*FindPresetGroup("html-link"), patterns);
    EXPECT_EQ(patterns.Items(), (Texts{"< A  HREF = \" \"", "< A  HREF = ' '"}));
}

}  // namespace
}  // namespace veltrano
