// The project files, the Project and Result menus and the autosave set, through the fake view.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/fsuid.h>
#include <sys/resource.h>
#endif

#include <csignal>
#include <limits>
#include <map>

#include "test_support.h"
#include "project/autosave.h"
#include "project/project_commands.h"
#include "project/project_store.h"
#include "project/result_files.h"
#include "state/app_state.h"

namespace veltrano {
namespace {

namespace fs = std::filesystem;
using Action = testing::FakeView::LoadDialogAction;
using namespace testing;

std::string Missing(const std::string& path) { return Info("Error open file: " + path + ": No such file or directory"); }

class ProjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        state.view = loaded.view = &view;
        view.webSite = "http://www.site.com/";
        state.pageList.Assign({{"http://www.site.com/", "OK"}, {"http://www.site.com/a.htm", ""}});
        state.resultList.Assign({"http://www.site.com/a.jpg"});
        state.extensionList.Assign({"jpg", "png"});
        state.patternList.Assign({"<b > </b>"});
        state.timerSeconds = 9;
        state.traffic = 5'000'000'000LL;  // past 32 bits
        state.skipMask = "index";
        state.modified = true;
    }
    bool SaveAs(const std::string& name, std::initializer_list<bool> answers = {}) {
        view.fileNameScript = {name};
        view.answers = answers;
        return SaveProject(state);
    }

    testing::ScopedWorkingDirectory folder;
    testing::FakeView view;
    AppState state;
    AppState loaded;  // as the next start of the program has it
};

// The golden list and page files: CR and LF in an entry become blanks; a page cell keeps 1023 characters, a list
// entry all; each list also past the 64 KiB written at once. A reader ends a line at CR LF, CR or LF, the text at a
// NUL. A folder where a file of a set belongs stops the set before any old file is replaced.
TEST_F(ProjectTest, ListFilesHoldALineAnEntryAndASetIsWrittenWholeOrNotAtAll) {
    const Texts items = {"jpg", "", " \xE9 ", "a\r\nb", "c\nd\re", std::string(70000, 'w')};
    state.resultList.Assign(items);
    ASSERT_TRUE(WriteListFile(view, "a.txt", items) && WriteListFile(view, "b.txt", state.resultList));
    EXPECT_EQ(ReadBytes("a.txt"), "jpg\r\n\r\n \xE9 \r\na  b\r\nc d e\r\n" + std::string(70000, 'w') + "\r\n");
    EXPECT_EQ(ReadBytes("b.txt"), ReadBytes("a.txt"));
    std::vector<PageRow> rows(70, {std::string(1100, 'p'), ""});
    rows[0] = {"http://a/x\ny", "OK"};
    state.pageList.Assign(rows);
    ASSERT_TRUE(FileSet(view).List("pages.txt", state.pageList).Commit());
    std::string pages = "http://a/x y\r\nOK\r\n";
    for (int row = 1; row < 70; ++row) pages += std::string(1023, 'p') + "\r\n\r\n";
    EXPECT_EQ(ReadBytes("pages.txt"), pages);
    for (const auto& [bytes, lines] : {std::pair<std::string, Texts>{"a\r\n\r\n\nb\r\r\nc", {"a", "", "", "b", "", "c"}},
                                       {std::string("a\r\n\0b", 5), {"a"}}, {'\0' + std::string(70000, 'x'), {}}}) {
        WriteBytes("list.txt", bytes);  // the list-file fuzz target compares any file, also at the 64 KiB edges
        EXPECT_EQ(ReadListFile(view, "list.txt"), lines) << bytes.substr(0, 12);
    }
    EXPECT_EQ(ReadPageListFile(view, "."), std::nullopt);
    fs::create_directories("b/inside");
    EXPECT_FALSE(FileSet(view).Text("a.txt", "new a").Text("b", "new b").Commit());
    EXPECT_EQ(ReadBytes("a.txt"), ReadBytes("b.txt"));
    EXPECT_EQ(view.Messages(), (Texts{Info("Error open file: .: Is a directory"), Info("Error open file for write: b: Is a directory")}));
}

// Keys count in the MAIN section alone, named in any case, each with a number (a sign and leading digits) and a text.
// The numbers of any text are compared with std::from_chars by the settings fuzz target.
TEST_F(ProjectTest, SettingsAreReadLikePrivateProfiles) {
    WriteBytes("s.ini", "OUT = 7\r\n  [ Main ]  \r\nA = -12abc\r\nE = 3000000000\r\nSITE =   http://x/  \nQ1 = \"quoted \"\nQ2 = 'single'\n"
                        "Q3 = \"odd'\r[OTHER]\rOTHER = 7\n[main]\nkey=7\rLONG = " + std::string(400, 'L'));
    const SettingsReader read("s.ini");
    const std::tuple<const char*, std::int64_t, std::string> values[] = {{"OUT", 0, ""}, {"OTHER", 0, ""}, {"KEY", 7, "7"},
        {"A", -12, "-12abc"}, {"E", 3'000'000'000LL, "3000000000"}, {"SITE", 0, "http://x/"}, {"Q1", 0, "quoted "},
        {"Q2", 0, "single"}, {"Q3", 0, "\"odd'"}, {"LONG", 0, std::string(259, 'L')}, {"NONE", 0, ""}};
    for (const auto& [key, number, text] : values) {
        EXPECT_EQ(std::pair(read.Number(key), read.Text(key)), std::pair(number, text)) << key;
    }
    EXPECT_EQ(SettingsInt(read.Number("E")), std::numeric_limits<int>::max());
}

TEST_F(ProjectTest, AProjectIsNamedByOneFileNameInTheProjectsFolder) {
    const std::string longest(ProjectNameMax(), 'n');
    view.fileNameScript = {" \t ", "../outside", "a\\b", " .. ", "tab\tbed", "del\x7f", longest + "n", std::nullopt};
    EXPECT_FALSE(SaveProject(state));
    const std::string path = Info("A project name cannot contain \"/\" or \"\\\": it names files in the Projects folder only."),
                      control = Info("A project name cannot contain control characters.");
    EXPECT_EQ(view.Messages(), (Texts{Info("Please enter a file name."), path, path, Info("A project name cannot be \".\" or \"..\"."), control,
                                      control, Info("A project name can have at most 227 characters.")}));
    EXPECT_FALSE(fs::exists("Projects"));
    EXPECT_TRUE(SaveAs("  " + longest + "  "));  // its files and their temporaries fit the path limit
    EXPECT_FALSE(state.modified);
    state.pageList.Clear();
    EXPECT_FALSE(SaveAs("Shop"));
    EXPECT_EQ(view.Calls().back(), Info("The current project is empty!"));
}

// Only the list of the grab mode goes with the project; the other's file stays as it was. Counts read from a
// hand-edited file are never negative; a missing list file stops the load with the status not refreshed.
TEST_F(ProjectTest, ASavedProjectLoadsBackAsItWasAndAHandEditedOneAsFarAsItCan) {
    ASSERT_TRUE(SaveAs(" My Shop\t"));
    EXPECT_EQ(ReadBytes("Projects/My Shop.ini"), "[ MAIN ]\r\nTIMER_SEC = 9\r\nTIMER_MIN = 0\r\nTIMER_HOUR = 0\r\n"
                                             "TRAFFIC = 5000000000\r\nGRAB_TYPE = 0\r\nSKIP_MASK = index\r\n");
    state.resultList.Assign({"changed"});
    EXPECT_FALSE(SaveAs("My Shop", {false}));
    view.loadDialogScript = {{Action::load, 0}};
    LoadProject(loaded);
    EXPECT_EQ(std::tuple(loaded.pageList.Rows(), loaded.resultList.Items(), loaded.extensionList.Items(), ProjectSettingsText(loaded)),
              std::tuple(state.pageList.Rows(), Texts{"http://www.site.com/a.jpg"}, state.extensionList.Items(), ProjectSettingsText(state)));
    EXPECT_EQ(view.CallsStartingWith("label traffic"), Texts{"label traffic: 5'000'000'000"});
    state.grabMode = kGrabCustom;
    ASSERT_TRUE(SaveAs("My Shop", {true}));
    loaded.extensionList.Assign({"kept"});
    view.loadDialogScript = {{Action::load, 0}};
    LoadProject(loaded);
    EXPECT_EQ(std::tuple(loaded.resultList.Items(), loaded.patternList.Items(), loaded.extensionList.Items()),
              std::tuple(Texts{"changed"}, state.patternList.Items(), Texts{"kept"}));
    EXPECT_EQ(ReadBytes("Projects/My Shop_extension.txt"), "jpg\r\npng\r\n");
    WriteBytes("Projects/My Shop.ini", "[ MAIN ]\r\nTIMER_SEC = -5\r\nTIMER_HOUR = -99999999999\r\nTRAFFIC = -7\r\n");
    ASSERT_TRUE(LoadProjectFiles(loaded, "My Shop"));
    EXPECT_EQ(ProjectSettingsText(loaded), ProjectSettingsText(AppState()));
    for (const auto kind : {ProjectFileKind::ExtensionFile, ProjectFileKind::ResultFile, ProjectFileKind::PageFile}) {
        fs::remove(ProjectPath("My Shop", kind));
        view.ClearCalls();
        EXPECT_FALSE(LoadProjectFiles(loaded, "My Shop"));
        EXPECT_EQ(std::pair(view.Messages(), view.CallsStartingWith("label")), std::pair(Texts{Missing(ProjectPath("My Shop", kind))}, Texts{}));
    }
}

TEST_F(ProjectTest, TheLoadDialogListsTheProjectsAndDeletesOne) {
    view.loadDialogScript = {{Action::load, 0}, {Action::remove, 0}};
    LoadProject(loaded);
    fs::create_directory("Projects");
    for (const char* name : {"x.ini", "X.ini.ini", "ac.ini", "Abc.ini", ".ini", "Shop.ini", "Shop2.ini", "Shop_page.txt",
                             "Shop_result.txt", "Shop_extension.txt", "Shop_pattern.txt"}) WriteBytes(fs::path("Projects") / name, "");
    view.loadDialogScript = {{Action::load, std::nullopt}, {Action::load, 6}, {Action::remove, std::nullopt},
                             {Action::remove, 6}, {Action::remove, 3}, {Action::remove, 2}};
    view.answers = {false, true};
    LoadProject(loaded);
    const std::string select = Info("Please select an item."), sure = "ask: Delete the project. Areyou sure?";
    EXPECT_EQ(view.Calls(), (Texts{"load dialog:", Info("There is no project for load."), Info("There is no project for delete."),
                                   "load dialog: Abc.ini ac.ini Shop.ini Shop2.ini x.ini X.ini.ini", select, select, select, select,
                                   sure + " -> No", sure + " -> Yes"}));
    EXPECT_EQ(std::distance(fs::directory_iterator("Projects"), {}), 6);  // the five files of Shop went, not Shop2
}

TEST_F(ProjectTest, ChangesAreOfferedForSavingOnceAndANewProjectKeepsTheSetup) {
    view.answers = {true, false};
    PromptSaveChanges(state);  // Yes, then the save is cancelled
    PromptSaveChanges(state);
    state.modified = true;
    NewProject(state);  // No
    EXPECT_FALSE(state.modified);
    EXPECT_EQ(view.CallsStartingWith("ask"), (Texts{"ask: Save changes? -> Yes", "ask: Save changes? -> No"}));
    EXPECT_EQ(std::tuple(state.pageList.Count() + state.resultList.Count(), state.traffic + state.timerSeconds,
                         state.extensionList.Count() + state.patternList.Count(), view.CallsStartingWith("label traffic")),
              std::tuple(0u, 0, 3u, Texts{"label traffic: 0"}));
}

// The golden autosave settings file. An empty list file is an empty list, a missing one leaves its list as it is.
TEST_F(ProjectTest, TheSetupAsTheViewShowsItComesBackAtTheNextStart) {
    view.grabSelection = 5;  // a selection this program does not know is kept as it is
    view.webSite = " http://s/ ";
    view.skipMask = std::string(300, 'm');
    state.extensionList.Assign({});
    Autosave(state);
    EXPECT_EQ(ReadBytes("Projects/autosave_ini.txt"), "[ MAIN ]\r\nGRAB_TYPE = 5\r\nWEB_SITE =  http://s/ \r\n"
                                                      "SKIP_MASK = " + std::string(259, 'm') + "\r\n");
    loaded.extensionList.Assign({"stale"});
    RestoreAutosave(loaded);
    EXPECT_EQ(std::tuple(loaded.grabMode, loaded.siteAddress, loaded.skipMask, loaded.extensionList.Items(), loaded.patternList.Items()),
              std::tuple(5, "http://s/", std::string(259, 'm'), Texts{}, Texts{"<b > </b>"}));
    fs::remove("Projects/autosave_pattern.txt");
    loaded.patternList.Assign({"kept"});
    RestoreAutosave(loaded);
    EXPECT_EQ(loaded.patternList.Items(), Texts{"kept"});
    EXPECT_TRUE(view.Messages().empty());
}

TEST_F(ProjectTest, ResultsAreSavedToAndLoadedFromAFileOfTheUsersChoice) {
    view.chooserScript = {std::nullopt, "out.txt", "out.txt", std::nullopt, "missing.txt", "out.txt", "out.txt"};
    view.answers = {false, true};
    EXPECT_FALSE(SaveResults(state));  // cancelled
    EXPECT_TRUE(SaveResults(state));
    WriteBytes("out.txt", "one\ntwo\r\nthree");  // any line ends, and a last line without one
    EXPECT_FALSE(SaveResults(state));  // not overwritten
    LoadResults(state);
    LoadResults(state);
    EXPECT_EQ(state.resultList.Items(), Texts{"http://www.site.com/a.jpg"});
    LoadResults(state);
    EXPECT_EQ(state.resultList.Add("TWO"), AddOutcome::present);  // loaded items count as found
    EXPECT_TRUE(SaveResults(state));
    EXPECT_EQ(ReadBytes("out.txt"), "one\r\ntwo\r\nthree\r\n");
    state.resultList.Clear();
    EXPECT_FALSE(SaveResults(state));
    const std::string saved = Info("Data is saved successfully.");
    EXPECT_EQ(view.Messages(), (Texts{saved, Missing("missing.txt"), saved, Info("There is no item to save!")}));
    EXPECT_EQ(view.CallsStartingWith("choose file: Please select a file (must exist)").size(), 3u);  // loading offers existing files only
    EXPECT_EQ(view.CallsStartingWith("label"), Texts{"label resultsTotal: 3"});
}

#ifndef _WIN32
// A full disk (a file-size limit fails writes as one does) at each file of a set, the room sized to the order they
// are written in; or a read-only Projects folder (room 0; root too, with an ordinary user's rights). The message
// names the file, and every old file stays as it was.
TEST_F(ProjectTest, AFullDiskOrAReadOnlyFolderLeavesEveryOldFileAsItWas) {
    enum Set { project, autosave, results };
    const auto save = [this](Set set) {  // over the old files, answering Yes to overwrite; false when that failed
        view.chooserScript = {"found.txt"};
        view.answers = {true};
        if (set == project) return SaveAs("p", {true});
        if (set == results) return SaveResults(state);
        Autosave(state);
        return view.Messages().empty();  // it says nothing when it succeeds
    };
    const auto files = [] {  // every file in the working folder, with its bytes
        std::map<std::string, std::string> found;
        for (const fs::path& path : fs::recursive_directory_iterator(".")) if (fs::is_regular_file(path)) found[path.string()] = ReadBytes(path);
        return found;
    };
    state.resultList.Assign({"http://s/a.jpg", "http://s/b.jpg", "http://s/c.jpg", "http://s/d.jpg"});  // 64 bytes
    state.extensionList.Assign(Texts(20, "jpeg"));                                                  // 120
    state.patternList.Assign(Texts(20, "<b > </b>"));                                               // 220
    state.skipMask = view.skipMask = std::string(250, 'm');  // settings files of 358 and 319 bytes
    ASSERT_TRUE(save(autosave) && save(project) && save(results));
    const auto old = files();
    state.timerSeconds = 42;  // the settings files, replaced last, would change as well
    view.webSite = "http://elsewhere/";
    state.modified = true;
    std::signal(SIGXFSZ, SIG_IGN);  // a write past the room fails rather than ends the process
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    using enum ProjectFileKind;
    const std::string_view auto_ = kAutosaveName;
    const std::tuple<Set, std::string, rlim_t> faults[] = {{project, ProjectPath("p", PageFile), 40},
        {project, ProjectPath("p", ExtensionFile), 100}, {project, ProjectPath("p", SettingsFile), 200},
        {autosave, ProjectPath(auto_, PatternFile), 160}, {autosave, ProjectPath(auto_, AutosaveSettingsFile), 260},
        {results, "found.txt", 60}, {project, ProjectPath("p", PageFile), 0}, {autosave, ProjectPath(auto_, ExtensionFile), 0}};
    for (const auto& [set, failing, room] : faults) {
        view.ClearCalls();
        const rlimit limited{room == 0 ? limit.rlim_cur : room, limit.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limited);
        if (room == 0) {
            fs::permissions("Projects", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                            fs::perm_options::remove);
            setfsuid(65534);  // no effect but for root
        }
        EXPECT_FALSE(save(set)) << failing;
        setfsuid(0);
        fs::permissions("Projects", fs::perms::owner_all);
        setrlimit(RLIMIT_FSIZE, &limit);
        const std::string error = room ? "Error write to file. May be disk is full. " : "Error open file for write: ";
        EXPECT_EQ(view.Messages(), Texts{Info(error + failing + (room ? ": File too large" : ": Permission denied"))});
        EXPECT_EQ(files(), old) << failing;  // nor is a temporary left
        EXPECT_TRUE(state.modified);
    }
}
#endif  // _WIN32

}  // namespace
}  // namespace veltrano
