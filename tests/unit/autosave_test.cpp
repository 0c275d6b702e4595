#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fake_view.h"
#include "project/autosave.h"
#include "project/project_store.h"
#include "state/app_state.h"
#include "temp_dir.h"

namespace veltrano {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;
using testing::ReadBytes;
using testing::WriteBytes;

class AutosaveTest : public ::testing::Test {
protected:
    void SetUp() override { state.view = &view; }
    testing::ScopedWorkingDirectory folder;
    testing::FakeView view;
    AppState state;
};

TEST_F(AutosaveTest, FirstStartTakesTheDefaultsQuietly) {
    RestoreAutosave(state);
    EXPECT_EQ(view.Calls(), (Texts{"grab: 0", "skip mask: ", "web site: "}));
    EXPECT_EQ(state.grabMode, kGrabLinks);
    EXPECT_EQ(state.extensionList.Count(), 0u);
    EXPECT_FALSE(fs::exists("Projects"));
}

TEST_F(AutosaveTest, WritesTheSetupAsTheViewShowsIt) {
    view.grabSelection = 1;
    view.webSite = "http://www.site.com/";
    view.skipMask = "";
    state.grabMode = kGrabLinks;  // the snapshot of the last crawl does not count
    state.extensionList.Assign({"jpg"});
    Autosave(state);
    EXPECT_EQ(ReadBytes("Projects/autosave_ini.txt"),
              "[ MAIN ]\r\nGRAB_TYPE = 1\r\nWEB_SITE = http://www.site.com/\r\nSKIP_MASK = \r\n");
    EXPECT_EQ(ReadBytes("Projects/autosave_extension.txt"), "jpg\r\n");
    EXPECT_TRUE(fs::exists("Projects/autosave_pattern.txt"));
    EXPECT_EQ(fs::file_size("Projects/autosave_pattern.txt"), 0u);
    EXPECT_TRUE(view.Messages().empty());
}

TEST_F(AutosaveTest, TheSetupComesBackAtTheNextStart) {
    view.grabSelection = 1;
    view.webSite = "  http://www.site.com/ ";
    view.skipMask = std::string(300, 'm');
    state.extensionList.Assign({});
    state.patternList.Assign({"<b > </b>", "<i > </i>"});
    Autosave(state);

    testing::FakeView nextView;
    AppState next;
    next.view = &nextView;
    next.extensionList.Assign({"stale"});
    RestoreAutosave(next);
    EXPECT_EQ(next.grabMode, kGrabCustom);
    EXPECT_EQ(nextView.grabSelection, 1);
    EXPECT_EQ(next.siteAddress, "http://www.site.com/");
    EXPECT_EQ(nextView.webSite, "http://www.site.com/");
    EXPECT_EQ(next.skipMask, std::string(259, 'm'));
    EXPECT_EQ(next.extensionList.Items(), Texts{});  // an empty file is an empty list
    EXPECT_EQ(next.patternList.Items(), (Texts{"<b > </b>", "<i > </i>"}));
    EXPECT_TRUE(nextView.Messages().empty());
}

TEST_F(AutosaveTest, AGrabTypeThatNamesNoEntryIsKept) {
    fs::create_directory("Projects");
    WriteBytes("Projects/autosave_ini.txt", "[ MAIN ]\r\nGRAB_TYPE = 5\r\n");
    RestoreAutosave(state);
    EXPECT_EQ(state.grabMode, 5);
    EXPECT_EQ(view.CallsStartingWith("grab"), Texts{"grab: 5"});
}

TEST_F(AutosaveTest, AMissingListFileLeavesTheListAsItIsWithoutAMessage) {
    state.patternList.Assign({"a b c"});
    Autosave(state);
    fs::remove("Projects/autosave_pattern.txt");
    AppState next;
    next.view = &view;
    RestoreAutosave(next);
    EXPECT_EQ(next.patternList.Count(), 0u);
    EXPECT_TRUE(view.Messages().empty());
}

TEST_F(AutosaveTest, TheSetIsReplacedWholeOrNotAtAll) {
    state.patternList.Assign({"old pattern x"});
    Autosave(state);
    const std::string oldSettings = ReadBytes("Projects/autosave_ini.txt");
    fs::create_directories("Projects/autosave_pattern.txt.saving");  // the pattern file cannot be written
    state.extensionList.Assign({"new"});
    state.patternList.Assign({"p q r"});
    view.webSite = "http://elsewhere/";
    Autosave(state);
    EXPECT_TRUE(testing::IsFileError(view.Messages(),
                                     "Error open file for write: " + ProjectPath(kAutosaveName, ProjectFileKind::PatternFile)))
        << view.Messages().front();
    EXPECT_EQ(ReadBytes("Projects/autosave_pattern.txt"), "old pattern x\r\n");
    EXPECT_EQ(ReadBytes("Projects/autosave_extension.txt"), "");
    EXPECT_EQ(ReadBytes("Projects/autosave_ini.txt"), oldSettings);
    EXPECT_FALSE(fs::exists("Projects/autosave_extension.txt.saving"));
}

}  // namespace
}  // namespace veltrano
