#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fake_view.h"
#include "project/project_commands.h"
#include "project/project_dialogs.h"
#include "project/project_store.h"
#include "project/safe_file.h"
#include "state/app_state.h"
#include "temp_dir.h"

namespace veltrano {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;
using Action = testing::FakeView::LoadDialogAction;
using testing::ReadBytes;
using testing::WriteBytes;

class ProjectCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        state.view = &view;
        view.webSite = "http://www.site.com/";
        view.skipMask = "index";
        state.pageList.Assign({{"http://www.site.com/", "OK"}, {"http://www.site.com/a.htm", ""}});
        state.resultList.Assign({"http://www.site.com/a.jpg"});
        state.extensionList.Assign({"jpg", "png"});
        state.patternList.Assign({"<b > </b>"});
        state.timerSeconds = 9;
        state.timerMinutes = 8;
        state.timerHours = 7;
        state.traffic = 123456;
        state.grabMode = kGrabLinks;
        state.skipMask = "index";
        state.modified = true;
    }

    void SaveAs(const std::string& name, std::initializer_list<bool> answers = {}) {
        view.fileNameScript.push_back(name);
        view.ScriptAnswers(answers);
        SaveProject(state);
    }

    void Load(std::size_t entry) {
        view.loadDialogScript.push_back({Action::load, entry});
        LoadProject(state);
    }

    static std::string Page(const char* name) { return ReadBytes(ProjectPath(name, ProjectFileKind::PageFile)); }

    testing::ScopedWorkingDirectory folder;
    testing::FakeView view;
    AppState state;
};

TEST_F(ProjectCommandsTest, AProjectNameIsOneFileNameInTheProjectsFolder) {
    state.pageList.Clear();
    SaveAs("Shop");
    EXPECT_EQ(view.Calls(), Texts{"message(info): The current project is empty!"});  // no dialog at all
    state.pageList.Add("http://www.site.com/");
    view.fileNameScript = {" \t ", std::nullopt};
    SaveProject(state);  // blanks, then Cancel
    EXPECT_EQ(view.Messages().back(), "message(info): Please enter a file name.");
    EXPECT_FALSE(fs::exists("Projects"));
    EXPECT_TRUE(state.modified);
    view.ClearCalls();

    const std::string longest(ProjectNameMax(), 'n');
    view.fileNameScript = {"../outside", "a\\b", " .. ", "tab\tbed", longest + "n", "  " + longest + "  "};
    SaveProject(state);
    EXPECT_EQ(view.Messages(),
              (Texts{"message(info): A project name cannot contain \"/\" or \"\\\": it names files in the Projects folder only.",
                     "message(info): A project name cannot contain \"/\" or \"\\\": it names files in the Projects folder only.",
                     "message(info): A project name cannot be \".\" or \"..\".",
                     "message(info): A project name cannot contain control characters.",
                     "message(info): A project name can have at most " + std::to_string(ProjectNameMax()) + " characters.",
                     "message(info): The current project is saved successfully."}));
    EXPECT_TRUE(fs::exists(ProjectPath(longest, ProjectFileKind::ExtensionFile)));
    EXPECT_FALSE(fs::exists("outside.ini"));
    EXPECT_EQ(ProjectPath(longest, ProjectFileKind::ExtensionFile).size() + 7, kPathTextMax);
}

TEST_F(ProjectCommandsTest, SavingOverAnExistingProjectAsksFirst) {
    SaveAs("Shop");
    state.resultList.Assign({"changed"});
    view.ClearCalls();
    SaveAs("Shop", {false});
    EXPECT_EQ(view.CallsStartingWith("ask"), Texts{"ask: The project exists. Overwrite? -> No"});
    EXPECT_EQ(ReadBytes("Projects/Shop_result.txt"), "http://www.site.com/a.jpg\r\n");
    SaveAs("Shop", {true});
    EXPECT_EQ(ReadBytes("Projects/Shop_result.txt"), "changed\r\n");
}

TEST_F(ProjectCommandsTest, AProjectSavedAndLoadedBackEqualsTheOriginal) {
    state.traffic = 5'000'000'000LL;  // past 32 bits
    SaveAs("  Shop \t");
    const std::vector<PageRow> rows = state.pageList.Rows();
    const Texts results = state.resultList.Items();

    AppState loaded;
    loaded.view = &view;
    view.loadDialogScript.push_back({Action::load, 0});
    LoadProject(loaded);
    EXPECT_EQ(view.Messages(), Texts{"message(info): The current project is saved successfully."});
    EXPECT_FALSE(fs::exists("Projects/Shop_pattern.txt"));  // only the list of the grab mode is saved
    EXPECT_EQ(loaded.pageList.Rows(), rows);
    EXPECT_EQ(loaded.resultList.Items(), results);
    EXPECT_EQ(loaded.extensionList.Items(), (Texts{"jpg", "png"}));
    EXPECT_EQ(loaded.timerSeconds, 9);
    EXPECT_EQ(loaded.timerMinutes, 8);
    EXPECT_EQ(loaded.timerHours, 7);
    EXPECT_EQ(loaded.traffic, 5'000'000'000LL);
    EXPECT_EQ(loaded.grabMode, kGrabLinks);
    EXPECT_EQ(loaded.skipMask, "index");
    EXPECT_FALSE(loaded.modified);
    EXPECT_EQ(view.webSite, "http://www.site.com/");
    EXPECT_EQ(view.CallsStartingWith("label traffic"), Texts{"label traffic: 5'000'000'000"});
    EXPECT_EQ(view.CallsStartingWith("start text"), Texts{"start text: Start"});
    EXPECT_EQ(view.CallsStartingWith("grab controls"), Texts{"grab controls: patterns off, extensions on"});
}

TEST_F(ProjectCommandsTest, NegativeCountsInAHandEditedProjectLoadAsNothing) {
    SaveAs("Shop");
    WriteBytes("Projects/Shop.ini", "[ MAIN ]\r\nTIMER_SEC = -5\r\nTIMER_MIN = -1\r\nTIMER_HOUR = -99999999999\r\n"
                                    "TRAFFIC = -7\r\nGRAB_TYPE = 0\r\n");
    AppState loaded;
    loaded.view = &view;
    view.loadDialogScript.push_back({Action::load, 0});
    LoadProject(loaded);
    EXPECT_EQ(loaded.timerSeconds + loaded.timerMinutes + loaded.timerHours, 0);
    EXPECT_EQ(loaded.traffic, 0);
}

TEST_F(ProjectCommandsTest, TheListOfTheOtherGrabModeStaysBesideTheProject) {
    state.grabMode = kGrabCustom;
    SaveAs("Shop");
    state.grabMode = kGrabLinks;
    SaveAs("Shop", {true});
    EXPECT_EQ(ReadBytes("Projects/Shop_pattern.txt"), "<b > </b>\r\n");

    AppState loaded;
    loaded.view = &view;
    loaded.patternList.Assign({"kept"});
    view.loadDialogScript.push_back({Action::load, 0});
    LoadProject(loaded);
    EXPECT_EQ(loaded.grabMode, kGrabLinks);
    EXPECT_EQ(loaded.extensionList.Items(), (Texts{"jpg", "png"}));
    EXPECT_EQ(loaded.patternList.Items(), Texts{"kept"});

    // "All links" keeps its extensions as "Links" does.
    state.grabMode = kGrabAllLinks;
    state.extensionList.Assign({"gif"});
    SaveAs("Shop", {true});
    EXPECT_EQ(ReadBytes("Projects/Shop_extension.txt"), "gif\r\n");
    view.loadDialogScript.push_back({Action::load, 0});
    LoadProject(loaded);
    EXPECT_EQ(loaded.grabMode, kGrabAllLinks);
    EXPECT_EQ(loaded.extensionList.Items(), Texts{"gif"});
}

TEST_F(ProjectCommandsTest, AMissingPageFileStopsTheLoadAfterTheSettings) {
    SaveAs("Shop");
    fs::remove("Projects/Shop_page.txt");
    state.modified = false;
    state.traffic = 0;
    state.pageList.Assign({{"http://other/", ""}});
    view.ClearCalls();
    Load(0);
    EXPECT_EQ(view.Messages(), Texts{"message(info): Error open file: " + ProjectPath("Shop", ProjectFileKind::PageFile) +
                                     ": No such file or directory"});
    EXPECT_EQ(state.traffic, 123456);
    EXPECT_EQ(state.pageList.Rows(), (std::vector<PageRow>{{"http://other/", ""}}));
    EXPECT_TRUE(view.CallsStartingWith("label").empty());  // the status is not refreshed

    // So does a missing result file, after the pages.
    SaveAs("Shop", {true});
    fs::remove("Projects/Shop_result.txt");
    view.ClearCalls();
    Load(0);
    EXPECT_EQ(view.Messages().size(), 1u);
    EXPECT_TRUE(view.CallsStartingWith("label").empty());
}

TEST_F(ProjectCommandsTest, TheLoadDialogListsSettingsFilesInOrder) {
    fs::create_directory("Projects");
    for (const char* name : {"beta.ini", "Alpha.ini", "gamma_page.txt", "autosave_ini.txt", "delta.txt"}) {
        WriteBytes(fs::path("Projects") / name, "");
    }
    view.loadDialogScript = {{Action::load, std::nullopt}, {Action::cancel, std::nullopt}};
    state.modified = false;
    LoadProject(state);
    EXPECT_EQ(view.CallsStartingWith("load dialog"), Texts{"load dialog: Alpha.ini beta.ini"});
    EXPECT_EQ(view.Messages(), Texts{"message(info): Please select an item."});
}

TEST_F(ProjectCommandsTest, AnEmptyLoadDialogSaysSo) {
    view.loadDialogScript = {{Action::load, 0}, {Action::remove, 0}, {Action::cancel, std::nullopt}};
    state.modified = false;
    LoadProject(state);
    EXPECT_EQ(view.Messages(), (Texts{"message(info): There is no project for load.",
                                      "message(info): There is no project for delete."}));
}

TEST_F(ProjectCommandsTest, DeleteRemovesEveryFileOfTheProjectOnly) {
    fs::create_directory("Projects");
    for (const char* name : {"Shop.ini", "Shop_page.txt", "Shop_result.txt", "Shop_extension.txt",
                             "Shop_pattern.txt", "Shop2.ini", "Shop2_page.txt"}) {
        WriteBytes(fs::path("Projects") / name, "x");
    }
    const auto files = [] {
        Texts names;
        for (const auto& entry : fs::directory_iterator("Projects")) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    const Texts all = files();
    view.loadDialogScript = {{Action::remove, std::nullopt}, {Action::remove, 0}, {Action::cancel, std::nullopt}};
    view.ScriptAnswers({false});
    state.modified = false;
    LoadProject(state);
    EXPECT_EQ(files(), all);  // No deletes nothing
    view.loadDialogScript = {{Action::remove, 0}, {Action::cancel, std::nullopt}};
    view.ScriptAnswers({true});
    LoadProject(state);
    EXPECT_EQ(view.Calls(), (Texts{"load dialog: Shop.ini Shop2.ini", "message(info): Please select an item.",
                                   "ask: Delete the project. Areyou sure? -> No", "load dialog: Shop.ini Shop2.ini",
                                   "ask: Delete the project. Areyou sure? -> Yes"}));
    EXPECT_EQ(files(), (Texts{"Shop2.ini", "Shop2_page.txt"}));
}

TEST_F(ProjectCommandsTest, AnsweringNoThenCancellingTheLoadLeavesNothingToSave) {
    view.ScriptAnswers({false});
    view.loadDialogScript = {{Action::cancel, std::nullopt}};
    LoadProject(state);
    EXPECT_EQ(view.CallsStartingWith("ask"), Texts{"ask: Save changes? -> No"});
    EXPECT_EQ(state.pageList.Count(), 2u);
    EXPECT_FALSE(state.modified);
    PromptSaveChanges(state);
    EXPECT_EQ(view.CallsStartingWith("ask").size(), 1u);
}

TEST_F(ProjectCommandsTest, YesToSaveChangesRunsTheSaveWhichMayStillBeCancelled) {
    view.ScriptAnswers({true});
    PromptSaveChanges(state);
    EXPECT_EQ(view.Calls(), (Texts{"ask: Save changes? -> Yes", "file name dialog"}));
    EXPECT_FALSE(state.modified);
    EXPECT_FALSE(fs::exists("Projects"));
}

TEST_F(ProjectCommandsTest, NewProjectClearsTheCrawlButKeepsTheSetup) {
    state.modified = false;
    state.pageList.SetCurrentRow(1);
    NewProject(state);
    EXPECT_FALSE(state.modified);
    EXPECT_EQ(state.pageList.Count(), 0u);
    EXPECT_EQ(state.resultList.Count(), 0u);
    EXPECT_EQ(state.traffic, 0);
    EXPECT_EQ(state.timerHours + state.timerMinutes + state.timerSeconds, 0);
    EXPECT_EQ(state.extensionList.Count(), 2u);
    EXPECT_EQ(state.patternList.Count(), 1u);
    EXPECT_EQ(state.grabMode, kGrabLinks);
    EXPECT_EQ(view.webSite, "http://www.site.com/");
    EXPECT_EQ(view.CallsStartingWith("label"),
              (Texts{"label timer: 00:00:00", "label traffic: 0", "label pagesTotal: 0", "label resultsTotal: 0",
                     "label downloadingAddress: ", "label downloadingRow: "}));
    EXPECT_EQ(view.CallsStartingWith("start text"), Texts{"start text: Start"});
    EXPECT_EQ(view.CallsStartingWith("progress"), Texts{"progress: 0"});
}

TEST_F(ProjectCommandsTest, AFailedSaveKeepsTheOldFilesAndTheChanges) {
    SaveAs("Shop");
    const std::string oldPages = Page("Shop");
    state.pageList.Add("http://www.site.com/new.htm");
    state.modified = true;
    fs::create_directory(SafeFileWriter::TemporaryPath(ProjectPath("Shop", ProjectFileKind::PageFile)));
    view.ClearCalls();
    SaveAs("Shop", {true});
    EXPECT_TRUE(testing::IsFileError(view.Messages(),
                                     "Error open file for write: " + ProjectPath("Shop", ProjectFileKind::PageFile)));
    EXPECT_EQ(Page("Shop"), oldPages);
    EXPECT_TRUE(state.modified);
    // The rest of the set is not written either: no file of the set is newer than another.
    fs::remove(SafeFileWriter::TemporaryPath(ProjectPath("Shop", ProjectFileKind::PageFile)));
    fs::create_directory(SafeFileWriter::TemporaryPath(ProjectPath("Shop", ProjectFileKind::SettingsFile)));
    state.resultList.Add("http://www.site.com/new.jpg");
    const std::string oldResults = ReadBytes(ProjectPath("Shop", ProjectFileKind::ResultFile));
    SaveAs("Shop", {true});
    EXPECT_EQ(Page("Shop"), oldPages);
    EXPECT_EQ(ReadBytes(ProjectPath("Shop", ProjectFileKind::ResultFile)), oldResults);
}

}  // namespace
}  // namespace veltrano
