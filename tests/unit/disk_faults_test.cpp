// Saves that meet a full disk or a folder that refuses them: every file of a
// set can be the one that fails, and the old files stay as they were.
// The faults are real ones of the system: a file-size limit makes a write
// fail as a full disk does, and a folder is made read-only for the thread.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
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
using testing::ReadBytes;

// Files may not grow past `bytes` while it lives: writes beyond fail with
// "File too large", as they would on a disk with that much room.
class FullDisk {
public:
    explicit FullDisk(rlim_t bytes) : oldSignal_(std::signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &old_);
        const rlimit limit{bytes, old_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FullDisk() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldSignal_);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

private:
    rlimit old_{};
    void (*oldSignal_)(int);
};

// The folder refuses new files while it lives, even to root: the thread
// then works with the rights of an ordinary user.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(fs::path folder) : folder_(std::move(folder)) {
        fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
        if (geteuid() == 0) {
            setfsgid(65534);
            setfsuid(65534);
        }
    }
    ~ReadOnlyFolder() {
        if (geteuid() == 0) {
            setfsuid(0);
            setfsgid(0);
        }
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add);
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

private:
    fs::path folder_;
};

class DiskFaultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        state.view = &view;
        state.pageList.Assign({{"http://s/", "OK"}, {"http://s/a.htm", ""}});
        state.resultList.Assign({"http://s/a.jpg"});
        state.extensionList.Assign({"jpg"});
        ASSERT_TRUE(Save());
        for (const ProjectFileKind kind : kProjectSet) old[kind] = ReadBytes(ProjectPath("p", kind));
        view.ClearCalls();
    }

    bool Save() {
        view.fileNameScript.push_back("p");
        view.ScriptAnswers({true});
        return SaveProject(state);
    }

    // Every file of the set as it was before, and no temporary left.
    void ExpectTheOldSet() {
        for (const ProjectFileKind kind : kProjectSet) {
            EXPECT_EQ(ReadBytes(ProjectPath("p", kind)), old[kind]) << ProjectPath("p", kind);
        }
        for (const auto& entry : fs::directory_iterator("Projects")) EXPECT_NE(entry.path().extension(), ".saving");
    }

    static constexpr ProjectFileKind kProjectSet[] = {ProjectFileKind::PageFile, ProjectFileKind::ResultFile,
                                                      ProjectFileKind::ExtensionFile, ProjectFileKind::SettingsFile};
    testing::ScopedWorkingDirectory folder;
    testing::FakeView view;
    AppState state;
    std::map<ProjectFileKind, std::string> old;
};

TEST_F(DiskFaultsTest, AFullDiskAtAnyFileOfTheProjectKeepsTheOldProject) {
    // Each change makes one file of the set, and only that one, outgrow the room left.
    const std::vector<std::pair<ProjectFileKind, std::function<void()>>> growths = {
        {ProjectFileKind::PageFile,
         [&] { for (int i = 0; i < 20; ++i) state.pageList.Add("http://s/" + std::to_string(i) + ".htm"); }},
        {ProjectFileKind::ResultFile,
         [&] { for (int i = 0; i < 20; ++i) state.resultList.Add("http://s/" + std::to_string(i) + ".jpg"); }},
        {ProjectFileKind::ExtensionFile,
         [&] { for (int i = 0; i < 80; ++i) state.extensionList.Append("e" + std::to_string(i)); }},
        {ProjectFileKind::SettingsFile, [&] { state.skipMask = std::string(250, 'm'); }},
    };
    for (const auto& [kind, grow] : growths) {
        SetUp();
        grow();
        state.timerSeconds = 42;  // every file of the set would change
        state.modified = true;
        {
            const FullDisk disk(300);
            EXPECT_FALSE(Save());
        }
        EXPECT_TRUE(testing::IsFileError(view.Messages(), "Error write to file. May be disk is full. " +
                                                              ProjectPath("p", kind)))
            << ProjectPath("p", kind) << ": " << (view.Messages().empty() ? "" : view.Messages().front());
        ExpectTheOldSet();
        EXPECT_TRUE(state.modified);
    }
}

TEST_F(DiskFaultsTest, AReadOnlyProjectsFolderKeepsTheOldProjectAndAutosave) {
    Autosave(state);
    const std::string oldAutosave = ReadBytes(ProjectPath(kAutosaveName, ProjectFileKind::AutosaveSettingsFile));
    state.resultList.Add("http://s/new.jpg");
    view.webSite = "http://elsewhere/";
    {
        const ReadOnlyFolder readOnly("Projects");
        EXPECT_FALSE(Save());
        Autosave(state);
    }
    EXPECT_EQ(view.Messages().size(), 2u);
    ExpectTheOldSet();
    EXPECT_EQ(ReadBytes(ProjectPath(kAutosaveName, ProjectFileKind::AutosaveSettingsFile)), oldAutosave);
}

TEST_F(DiskFaultsTest, AFullDiskKeepsTheOldAutosaveAndResultFile) {
    Autosave(state);
    const std::string oldSettings = ReadBytes(ProjectPath(kAutosaveName, ProjectFileKind::AutosaveSettingsFile));
    const std::string oldExtensions = ReadBytes(ProjectPath(kAutosaveName, ProjectFileKind::ExtensionFile));
    view.chooserScript = {"found.txt", "found.txt"};
    ASSERT_TRUE(SaveResults(state));
    const std::string oldResults = ReadBytes("found.txt");
    view.ClearCalls();

    for (int i = 0; i < 40; ++i) state.patternList.Append("<p" + std::to_string(i) + " > </p>");
    view.webSite = "http://elsewhere/";
    for (int i = 0; i < 20; ++i) state.resultList.Add("http://s/" + std::to_string(i) + ".jpg");
    {
        const FullDisk disk(300);
        Autosave(state);
        view.ScriptAnswers({true});
        EXPECT_FALSE(SaveResults(state));
    }
    EXPECT_EQ(view.CallsStartingWith("message").size(), 2u);
    EXPECT_EQ(ReadBytes(ProjectPath(kAutosaveName, ProjectFileKind::AutosaveSettingsFile)), oldSettings);
    EXPECT_EQ(ReadBytes(ProjectPath(kAutosaveName, ProjectFileKind::ExtensionFile)), oldExtensions);
    EXPECT_EQ(ReadBytes("found.txt"), oldResults);
}

}  // namespace
}  // namespace veltrano

#endif  // _WIN32
