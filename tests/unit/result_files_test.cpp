#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fake_view.h"
#include "project/project_store.h"
#include "project/result_files.h"
#include "state/app_state.h"
#include "temp_dir.h"

namespace veltrano {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;
using testing::ReadBytes;
using testing::WriteBytes;

class ResultFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        state.view = &view;
        state.resultList.Assign({"http://s/a.jpg", "http://s/b.jpg"});
    }
    testing::ScopedWorkingDirectory folder;
    testing::FakeView view;
    AppState state;
};

TEST_F(ResultFilesTest, AnEmptyListIsNotSavedAndNoChooserOpens) {
    state.resultList.Clear();
    SaveResults(state);
    EXPECT_EQ(view.Calls(), Texts{"message(info): There is no item to save!"});
}

TEST_F(ResultFilesTest, SavesOneResultPerLine) {
    view.chooserScript = {"out.txt"};
    SaveResults(state);
    EXPECT_EQ(view.Calls(), (Texts{"choose file: Please select file to save result",
                                   "message(info): Data is saved successfully."}));
    EXPECT_EQ(ReadBytes("out.txt"), "http://s/a.jpg\r\nhttp://s/b.jpg\r\n");
}

TEST_F(ResultFilesTest, AnExistingFileIsOverwrittenOnlyOnYes) {
    WriteBytes("out.txt", "keep");
    view.chooserScript = {"out.txt", "out.txt"};
    view.ScriptAnswers({false, true});
    SaveResults(state);
    EXPECT_EQ(ReadBytes("out.txt"), "keep");
    SaveResults(state);
    EXPECT_EQ(ReadBytes("out.txt"), "http://s/a.jpg\r\nhttp://s/b.jpg\r\n");
    EXPECT_EQ(view.CallsStartingWith("ask"), (Texts{"ask: The file exists. Overwrite? -> No",
                                                    "ask: The file exists. Overwrite? -> Yes"}));
}

TEST_F(ResultFilesTest, CancellingTheChooserDoesNothing) {
    SaveResults(state);
    LoadResults(state);
    EXPECT_EQ(view.Calls(), (Texts{"choose file: Please select file to save result",
                                   "choose file: Please select a file (must exist)"}));
    EXPECT_EQ(state.resultList.Count(), 2u);
}

TEST_F(ResultFilesTest, LoadingReplacesTheListAndRefreshesItsTotal) {
    WriteBytes("in.txt", "one\ntwo\r\nthree");  // any line ends, and a last line without one
    view.chooserScript = {"in.txt"};
    state.modified = false;
    LoadResults(state);
    EXPECT_EQ(state.resultList.Items(), (Texts{"one", "two", "three"}));
    EXPECT_EQ(view.CallsStartingWith("label"), Texts{"label resultsTotal: 3"});
    EXPECT_FALSE(state.modified);
    // Loaded items count for the parser's duplicate test.
    EXPECT_EQ(state.resultList.Add("TWO"), AddOutcome::present);
}

TEST_F(ResultFilesTest, AProjectsResultFileStandsInForAResultFile) {
    fs::create_directory("Projects");
    WriteBytes(ProjectPath("Shop", ProjectFileKind::ResultFile), "http://s/c.mp3\r\n");
    view.chooserScript = {ProjectPath("Shop", ProjectFileKind::ResultFile), "saved.txt"};
    LoadResults(state);
    SaveResults(state);
    EXPECT_EQ(ReadBytes("saved.txt"), ReadBytes(ProjectPath("Shop", ProjectFileKind::ResultFile)));
}

TEST_F(ResultFilesTest, AFailedLoadLeavesTheListAsItWas) {
    view.chooserScript = {"missing.txt"};
    LoadResults(state);
    EXPECT_EQ(view.Messages(), Texts{"message(info): Error open file: missing.txt: No such file or directory"});
    EXPECT_EQ(state.resultList.Count(), 2u);
}

}  // namespace
}  // namespace veltrano
