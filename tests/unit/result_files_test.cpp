#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_view.h"
#include "project/result_files.h"
#include "state/app_state.h"
#include "temp_dir.h"

namespace veltrano {
namespace {

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

TEST_F(ResultFilesTest, SavingAsksForAFileAndForLeaveToOverwriteIt) {
    view.chooserScript = {std::nullopt, "out.txt", "out.txt", "out.txt"};
    view.ScriptAnswers({false, true});
    SaveResults(state);  // cancelled
    SaveResults(state);
    EXPECT_EQ(ReadBytes("out.txt"), "http://s/a.jpg\r\nhttp://s/b.jpg\r\n");
    WriteBytes("out.txt", "keep");
    SaveResults(state);
    EXPECT_EQ(ReadBytes("out.txt"), "keep");
    SaveResults(state);
    EXPECT_EQ(ReadBytes("out.txt"), "http://s/a.jpg\r\nhttp://s/b.jpg\r\n");
    EXPECT_EQ(view.Calls(), (Texts{"choose file: Please select file to save result",
                                   "choose file: Please select file to save result",
                                   "message(info): Data is saved successfully.",
                                   "choose file: Please select file to save result",
                                   "ask: The file exists. Overwrite? -> No",
                                   "choose file: Please select file to save result",
                                   "ask: The file exists. Overwrite? -> Yes",
                                   "message(info): Data is saved successfully."}));
    view.ClearCalls();
    state.resultList.Clear();
    SaveResults(state);
    EXPECT_EQ(view.Calls(), Texts{"message(info): There is no item to save!"});  // and no chooser
}

TEST_F(ResultFilesTest, LoadingReplacesTheListOrLeavesItAsItWas) {
    view.chooserScript = {std::nullopt, "missing.txt", "in.txt"};
    LoadResults(state);
    LoadResults(state);
    EXPECT_EQ(view.Messages(), Texts{"message(info): Error open file: missing.txt: No such file or directory"});
    EXPECT_EQ(state.resultList.Count(), 2u);

    WriteBytes("in.txt", "one\ntwo\r\nthree");  // any line ends, and a last line without one
    state.modified = false;
    view.ClearCalls();
    LoadResults(state);
    EXPECT_EQ(state.resultList.Items(), (Texts{"one", "two", "three"}));
    EXPECT_EQ(view.CallsStartingWith("label"), Texts{"label resultsTotal: 3"});
    EXPECT_FALSE(state.modified);
    EXPECT_EQ(state.resultList.Add("TWO"), AddOutcome::present);  // loaded items count as found
}

}  // namespace
}  // namespace veltrano
