// Saves that meet a full disk or a folder that refuses them: any file of a
// set can be the one that fails, and the old files stay as they were. The
// faults are the system's own: a file-size limit fails a write as a full
// disk does, and the thread loses the right to write into Projects.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <sys/fsuid.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "fake_view.h"
#include "project/autosave.h"
#include "project/project_commands.h"
#include "project/project_store.h"
#include "project/result_files.h"
#include "state/app_state.h"
#include "temp_dir.h"

namespace veltrano {
namespace {

namespace fs = std::filesystem;
using K = ProjectFileKind;

enum class Set { project, autosave, results };

struct Fault {
    const char* name;
    Set set;              // saved again over its old files
    std::string failing;  // the first of its files to outgrow the room
    rlim_t room;          // bytes a file may hold; 0: the Projects folder is read-only instead
};

// The files of each set grow in the order they are written (see SetUp), so
// a room between two sizes makes the larger file the first to fail.
const Fault kFaults[] = {
    {"ProjectPages", Set::project, ProjectPath("p", K::PageFile), 10},
    {"ProjectResults", Set::project, ProjectPath("p", K::ResultFile), 30},
    {"ProjectExtensions", Set::project, ProjectPath("p", K::ExtensionFile), 80},
    {"ProjectSettings", Set::project, ProjectPath("p", K::SettingsFile), 200},
    {"AutosaveExtensions", Set::autosave, ProjectPath(kAutosaveName, K::ExtensionFile), 80},
    {"AutosavePatterns", Set::autosave, ProjectPath(kAutosaveName, K::PatternFile), 160},
    {"AutosaveSettings", Set::autosave, ProjectPath(kAutosaveName, K::AutosaveSettingsFile), 260},
    {"ResultFile", Set::results, "found.txt", 30},
    {"ReadOnlyProject", Set::project, ProjectPath("p", K::PageFile), 0},
    {"ReadOnlyAutosave", Set::autosave, ProjectPath(kAutosaveName, K::ExtensionFile), 0},
};

class DiskFaultsTest : public ::testing::TestWithParam<Fault> {
protected:
    void SetUp() override {
        std::signal(SIGXFSZ, SIG_IGN);  // a write past the room fails instead of ending the process
        state.view = &view;
        state.pageList.Assign({{"http://s/", "OK"}});                                       // 15 bytes
        state.resultList.Assign({"http://s/a.jpg", "http://s/b.jpg", "http://s/c.jpg"});  // 48
        state.extensionList.Assign(std::vector<std::string>(20, "jpeg"));                  // 120
        state.patternList.Assign(std::vector<std::string>(20, "<b > </b>"));              // 220
        state.skipMask = std::string(200, 'm');                                            // settings: 300
        view.skipMask = std::string(250, 'm');                                             // autosave settings: 320
        ASSERT_TRUE(Save(Set::autosave) && Save(Set::project) && Save(Set::results));
        old = Files();
        view.ClearCalls();
    }

    // Saves the set over its old files; false when that failed.
    bool Save(Set set) {
        view.ScriptAnswers({true});  // to overwrite
        view.fileNameScript = {"p"};
        view.chooserScript = {"found.txt"};
        if (set == Set::project) return SaveProject(state);
        if (set == Set::results) return SaveResults(state);
        Autosave(state);
        return view.Messages().empty();  // it says nothing when it succeeds
    }

    // Saves the set while a fault lasts: a full disk, where no file may grow
    // past `room` bytes, or a Projects folder that refuses new files, even
    // to root, whose thread then works with the rights of an ordinary user.
    bool SaveWithFault(Set set, rlim_t room) {
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit full{room == 0 ? limit.rlim_cur : room, limit.rlim_max};
        setrlimit(RLIMIT_FSIZE, &full);
        const bool readOnly = room == 0, root = geteuid() == 0;
        if (readOnly) fs::permissions("Projects", fs::perms::owner_write, fs::perm_options::remove);
        if (readOnly && root) {
            setfsgid(65534);
            setfsuid(65534);
        }
        const bool saved = Save(set);
        if (readOnly && root) {
            setfsuid(0);
            setfsgid(0);
        }
        fs::permissions("Projects", fs::perms::owner_write, fs::perm_options::add);
        setrlimit(RLIMIT_FSIZE, &limit);
        return saved;
    }

    // Every file in the working folder, with its bytes.
    static std::map<std::string, std::string> Files() {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(".")) {
            if (entry.is_regular_file()) files[entry.path().string()] = testing::ReadBytes(entry.path());
        }
        return files;
    }

    testing::ScopedWorkingDirectory folder;
    testing::FakeView view;
    AppState state;
    std::map<std::string, std::string> old;
};

TEST_P(DiskFaultsTest, TheOldFilesStayAndTheMessageNamesTheFile) {
    const Fault& fault = GetParam();
    state.timerSeconds = 42;  // the settings files, replaced last, would change as well
    view.webSite = "http://elsewhere/";
    state.modified = true;
    EXPECT_FALSE(SaveWithFault(fault.set, fault.room));
    const std::string error = fault.room == 0 ? "Error open file for write: " : "Error write to file. May be disk is full. ";
    EXPECT_TRUE(testing::IsFileError(view.Messages(), error + fault.failing)) << ::testing::PrintToString(view.Messages());
    EXPECT_EQ(Files(), old);  // nor is a temporary left
    EXPECT_TRUE(state.modified);
}

INSTANTIATE_TEST_SUITE_P(EachFile, DiskFaultsTest, ::testing::ValuesIn(kFaults),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace veltrano

#endif  // _WIN32
