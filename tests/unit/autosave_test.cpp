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

TEST_F(AutosaveTest, TheSetupAsTheViewShowsItComesBackAtTheNextStart) {
    view.grabSelection = 5;  // a selection this program does not know is kept as it is
    view.webSite = "  http://www.site.com/ ";
    view.skipMask = std::string(300, 'm');
    state.grabMode = kGrabLinks;  // the snapshot of the last crawl does not count
    state.extensionList.Assign({});
    state.patternList.Assign({"<b > </b>", "<i > </i>"});
    Autosave(state);
    EXPECT_TRUE(view.Messages().empty());

    testing::FakeView nextView;
    AppState next;
    next.view = &nextView;
    next.extensionList.Assign({"stale"});
    RestoreAutosave(next);
    EXPECT_EQ(next.grabMode, 5);
    EXPECT_EQ(nextView.CallsStartingWith("grab"), Texts{"grab: 5"});
    EXPECT_EQ(next.siteAddress, "http://www.site.com/");
    EXPECT_EQ(nextView.webSite, "http://www.site.com/");
    EXPECT_EQ(next.skipMask, std::string(259, 'm'));
    EXPECT_EQ(next.extensionList.Items(), Texts{});  // an empty file is an empty list
    EXPECT_EQ(next.patternList.Items(), (Texts{"<b > </b>", "<i > </i>"}));
    EXPECT_TRUE(nextView.Messages().empty());

    // A missing list file leaves that list as it is, without a word.
    fs::remove("Projects/autosave_pattern.txt");
    next.patternList.Assign({"kept"});
    RestoreAutosave(next);
    EXPECT_EQ(next.patternList.Items(), Texts{"kept"});
    EXPECT_TRUE(nextView.Messages().empty());
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
