// The project files, and the Project and Result menus and the autosave set, through the fake view.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/fsuid.h>
#include <sys/resource.h>
#endif

#include <csignal>
#include <filesystem>
#include <limits>
#include <map>

#include "fake_view.h"
#include "project/autosave.h"
#include "project/project_commands.h"
#include "project/project_dialogs.h"
#include "project/project_store.h"
#include "project/result_files.h"
#include "state/app_state.h"
#include "temp_dir.h"

namespace veltrano {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;
using Action = testing::FakeView::LoadDialogAction;
using testing::ReadBytes;
using testing::WriteBytes;

std::string Info(const std::string& text) { return "message(info): " + text; }
std::string Missing(std::string path) { return Info("Error open file: " + path + ": No such file or directory"); }

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
        view.ScriptAnswers(answers);
        return SaveProject(state);
    }
    void LoadTheFirstProject() {
        view.loadDialogScript = {{Action::load, 0}};
        LoadProject(loaded);
    }

    testing::ScopedWorkingDirectory folder;
    testing::FakeView view;
    AppState state;
    AppState loaded;  // as the next start of the program has it
};

// The golden list and page files (settings files have theirs where saved): CR and LF in an entry are written
// as blanks; a page cell keeps 1023 characters, a list entry all of it (here past the 64 KiB written at once).
TEST_F(ProjectTest, ListsAreWrittenALineAnEntry) {
    ASSERT_TRUE(WriteListFile(view, "a.txt", Texts{"jpg", "", " \xE9 ", "a\r\nb", "c\nd\re", std::string(70000, 'w')}));
    EXPECT_EQ(ReadBytes("a.txt"), "jpg\r\n\r\n \xE9 \r\na  b\r\nc d e\r\n" + std::string(70000, 'w') + "\r\n");
    state.pageList.Assign({{"http://a/x\ny", "OK"}, {std::string(1100, 'p'), ""}});
    ASSERT_TRUE(FileSet(view).List("pages.txt", state.pageList).Commit());
    EXPECT_EQ(ReadBytes("pages.txt"), "http://a/x y\r\nOK\r\n" + std::string(1023, 'p') + "\r\n\r\n");
}

// Lines end at CR LF, CR or LF, the last also without; the text ends at a NUL; a line keeps its
// first 1024 bytes, also across the 64 KiB pieces a file is read in, where a CR LF may be split.
TEST_F(ProjectTest, ListFilesAreReadLineByLine) {
    const std::string x(65535, 'x'), kept(1024, 'x');
    const std::pair<std::string, Texts> files[] = {
        {"a\r\nb\r\n", {"a", "b"}}, {"a\nb\n", {"a", "b"}}, {"a\rb\r", {"a", "b"}}, {"a\r\nb", {"a", "b"}},
        {"a\r\n\r\n\nb\r\r\n", {"a", "", "", "b", ""}}, {"", {}}, {"\r\n", {""}}, {"\nx", {"", "x"}},
        {std::string("a\r\nb\0c\r\nd\r\n", 11), {"a", "b"}}, {std::string("a\r\n\0b", 5), {"a"}}, {'\0' + x + "x", {}},
        {x + "\r\nq\r\n", {kept, "q"}}, {x + "x\r\nq\r\n", {kept, "q"}}, {x + x + "x\r\nq", {kept, "q"}}};
    for (const auto& [bytes, lines] : files) {
        WriteBytes("list.txt", bytes);
        EXPECT_EQ(ReadListFile(view, "list.txt"), lines) << bytes.substr(0, 12);
    }
    WriteBytes("pages.txt", "a\r\nOK\r\nb\r\n\r\nc\r\n");
    EXPECT_EQ(ReadPageListFile(view, "pages.txt"), (std::vector<PageRow>{{"a", "OK"}, {"b", ""}, {"c", ""}}));
    EXPECT_EQ(ReadPageListFile(view, "."), std::nullopt);
    EXPECT_EQ(ReadListFile(view, "missing"), std::nullopt);
    EXPECT_EQ(view.Messages(), (Texts{Info("Error open file: .: Is a directory"), Missing("missing")}));
#ifndef _WIN32
    EXPECT_EQ(ReadListFile(view, "list.txt/x"), std::nullopt);
    EXPECT_EQ(view.Messages().back(), Info("Error open file: list.txt/x: Not a directory"));
#endif
}

// A folder where a file of a set belongs stops the set before any old file is replaced.
TEST_F(ProjectTest, ASetIsWrittenWholeOrNotAtAll) {
    WriteBytes("a", "old a");
    fs::create_directories("b/inside");
    EXPECT_FALSE(FileSet(view).Text("a", "new a").Text("b", "new b").Commit());
    EXPECT_EQ(view.Messages(), Texts{Info("Error open file for write: b: Is a directory")});
    EXPECT_EQ(ReadBytes("a"), "old a");
}

// Keys count in the MAIN section alone, named in any case, each with a number (a sign and leading digits) and a text.
TEST_F(ProjectTest, SettingsAreReadLikePrivateProfiles) {
    WriteBytes("s.ini", "OUT = 7\r\n  [ Main ]  \r\nA = -12abc\r\nB = letters\r\nC = +8\r\nD = -\r\nE = 3000000000\r\n"
                        "F = 99999999999999999999\r\nG = 9223372036854775806\r\nEMPTY =\r\nSITE =   http://x/  \n"
                        "Q1 = \"quoted \"\nQ2 = 'single'\nQ3 = \"odd'\rQ4 = \"\"\r[OTHER]\rOTHER = 7\n[main]\n"
                        "key=7\rLONG = " + std::string(400, 'L'));
    const SettingsReader read("s.ini");
    const std::tuple<const char*, std::int64_t, std::string> values[] = {{"OUT", 0, ""}, {"OTHER", 0, ""},
        {"KEY", 7, "7"}, {"A", -12, "-12abc"}, {"B", 0, "letters"}, {"C", 8, "+8"}, {"D", 0, "-"}, {"EMPTY", 0, ""},
        {"E", 3'000'000'000LL, "3000000000"}, {"F", std::numeric_limits<std::int64_t>::max(), "99999999999999999999"},
        {"G", 9223372036854775806, "9223372036854775806"}, {"SITE", 0, "http://x/"}, {"Q1", 0, "quoted "},
        {"Q2", 0, "single"}, {"Q3", 0, "\"odd'"}, {"Q4", 0, ""}, {"LONG", 0, std::string(259, 'L')}, {"NONE", 0, ""}};
    for (const auto& [key, number, text] : values) {
        EXPECT_EQ(std::pair(read.Number(key), read.Text(key)), std::pair(number, text)) << key;
    }
    EXPECT_EQ(SettingsInt(read.Number("E")), std::numeric_limits<int>::max());
}

TEST_F(ProjectTest, AProjectIsNamedByOneFileNameInTheProjectsFolder) {
    const std::string longest(ProjectNameMax(), 'n');
    view.fileNameScript = {" \t ", "../outside", "a\\b", " .. ", "tab\tbed", "del\x7f", longest + "n", std::nullopt};
    EXPECT_FALSE(SaveProject(state));
    const char* path = "A project name cannot contain \"/\" or \"\\\": it names files in the Projects folder only.";
    const char* control = "A project name cannot contain control characters.";
    EXPECT_EQ(view.Messages(), (Texts{Info("Please enter a file name."), Info(path), Info(path),
                                      Info("A project name cannot be \".\" or \"..\"."), Info(control), Info(control),
                                      Info("A project name can have at most 227 characters.")}));
    EXPECT_FALSE(fs::exists("Projects"));
    EXPECT_TRUE(SaveAs("  " + longest + "  "));  // its files and their temporaries fit the path limit
    EXPECT_FALSE(state.modified);
    state.pageList.Clear();
    EXPECT_FALSE(SaveAs("Shop"));
    EXPECT_EQ(view.Calls().back(), Info("The current project is empty!"));
}

TEST_F(ProjectTest, ASavedProjectLoadsBackAsItWas) {
    ASSERT_TRUE(SaveAs(" My Shop\t"));
    EXPECT_EQ(ReadBytes("Projects/My Shop.ini"), "[ MAIN ]\r\nTIMER_SEC = 9\r\nTIMER_MIN = 0\r\nTIMER_HOUR = 0\r\n"
                                             "TRAFFIC = 5000000000\r\nGRAB_TYPE = 0\r\nSKIP_MASK = index\r\n");
    state.resultList.Assign({"changed"});
    EXPECT_FALSE(SaveAs("My Shop", {false}));
    LoadTheFirstProject();
    EXPECT_EQ(loaded.pageList.Rows(), state.pageList.Rows());
    EXPECT_EQ(loaded.resultList.Items(), Texts{"http://www.site.com/a.jpg"});  // not overwritten
    EXPECT_EQ(loaded.extensionList.Items(), state.extensionList.Items());
    EXPECT_EQ(ProjectSettingsText(loaded), ProjectSettingsText(state));
    EXPECT_EQ(view.CallsStartingWith("label traffic"), Texts{"label traffic: 5'000'000'000"});
    // Only the list of the grab mode goes with the project; the other's file stays as it was.
    state.grabMode = kGrabCustom;
    ASSERT_TRUE(SaveAs("My Shop", {true}));
    loaded.extensionList.Assign({"kept"});
    LoadTheFirstProject();
    EXPECT_EQ(loaded.resultList.Items(), Texts{"changed"});
    EXPECT_EQ(loaded.patternList.Items(), state.patternList.Items());
    EXPECT_EQ(loaded.extensionList.Items(), Texts{"kept"});
    EXPECT_EQ(ReadBytes("Projects/My Shop_extension.txt"), "jpg\r\npng\r\n");
}

TEST_F(ProjectTest, AHandEditedOrIncompleteProjectLoadsWhatItCan) {
    state.resultList.Clear();
    ASSERT_TRUE(SaveAs("Shop"));
    WriteBytes("Projects/Shop.ini", "[ MAIN ]\r\nTIMER_SEC = -5\r\nTIMER_HOUR = -99999999999\r\nTRAFFIC = -7\r\n");
    ASSERT_TRUE(LoadProjectFiles(loaded, "Shop"));
    EXPECT_EQ(ProjectSettingsText(loaded), ProjectSettingsText(AppState()));  // counts are never negative
    for (const auto kind : {ProjectFileKind::ExtensionFile, ProjectFileKind::ResultFile, ProjectFileKind::PageFile}) {
        fs::remove(ProjectPath("Shop", kind));
        view.ClearCalls();
        EXPECT_FALSE(LoadProjectFiles(loaded, "Shop"));
        EXPECT_EQ(view.Messages(), Texts{Missing(ProjectPath("Shop", kind))});
        EXPECT_TRUE(view.CallsStartingWith("label").empty());  // the status is not refreshed
    }
}

TEST_F(ProjectTest, TheLoadDialogListsTheProjectsAndDeletesOne) {
    view.loadDialogScript = {{Action::load, 0}, {Action::remove, 0}};
    LoadProject(loaded);
    fs::create_directory("Projects");
    for (const char* name : {"x.ini", "X.ini.ini", "ac.ini", "Abc.ini", ".ini", "Shop.ini", "Shop2.ini",
                             "Shop_page.txt", "Shop_result.txt", "Shop_extension.txt", "Shop_pattern.txt"}) {
        WriteBytes(fs::path("Projects") / name, "");
    }
    view.loadDialogScript = {{Action::load, std::nullopt}, {Action::load, 6}, {Action::remove, std::nullopt},
                             {Action::remove, 6}, {Action::remove, 3}, {Action::remove, 2}};
    view.ScriptAnswers({false, true});
    LoadProject(loaded);
    const std::string select = Info("Please select an item."), sure = "ask: Delete the project. Areyou sure?";
    EXPECT_EQ(view.Calls(), (Texts{"load dialog:", Info("There is no project for load."),
                                   Info("There is no project for delete."),
                                   "load dialog: Abc.ini ac.ini Shop.ini Shop2.ini x.ini X.ini.ini", select, select,
                                   select, select, sure + " -> No", sure + " -> Yes"}));
    EXPECT_EQ(std::distance(fs::directory_iterator("Projects"), {}), 6);  // the five files of Shop went, not Shop2
}

TEST_F(ProjectTest, ChangesAreOfferedForSavingOnceAndANewProjectKeepsTheSetup) {
    view.ScriptAnswers({true, false});
    PromptSaveChanges(state);  // Yes, then the save is cancelled
    PromptSaveChanges(state);
    state.modified = true;
    NewProject(state);  // No
    EXPECT_FALSE(state.modified);
    EXPECT_EQ(view.CallsStartingWith("ask"), (Texts{"ask: Save changes? -> Yes", "ask: Save changes? -> No"}));
    EXPECT_EQ(state.pageList.Count() + state.resultList.Count(), 0u);
    EXPECT_EQ(state.traffic + state.timerSeconds, 0);
    EXPECT_EQ(state.extensionList.Count() + state.patternList.Count(), 3u);
    EXPECT_EQ(view.CallsStartingWith("label traffic"), Texts{"label traffic: 0"});
}

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
    EXPECT_EQ(loaded.grabMode, 5);
    EXPECT_EQ(loaded.siteAddress, "http://s/");
    EXPECT_EQ(loaded.skipMask, std::string(259, 'm'));
    EXPECT_EQ(loaded.extensionList.Items(), Texts{});  // an empty file is an empty list
    EXPECT_EQ(loaded.patternList.Items(), Texts{"<b > </b>"});
    fs::remove("Projects/autosave_pattern.txt");  // a missing list file leaves its list as it is
    loaded.patternList.Assign({"kept"});
    RestoreAutosave(loaded);
    EXPECT_EQ(loaded.patternList.Items(), Texts{"kept"});
    EXPECT_TRUE(view.Messages().empty());
}

TEST_F(ProjectTest, ResultsAreSavedToAndLoadedFromAFileOfTheUsersChoice) {
    view.chooserScript = {std::nullopt, "out.txt", "out.txt", std::nullopt, "missing.txt", "out.txt", "out.txt"};
    view.ScriptAnswers({false, true});
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
    const std::string save = "choose file: Please select file to save result";
    const std::string load = "choose file: Please select a file (must exist)";
    EXPECT_EQ(view.CallsStartingWith("choose file"), (Texts{save, save, save, load, load, load, save}));
    EXPECT_EQ(view.CallsStartingWith("label"), Texts{"label resultsTotal: 3"});
}

#ifndef _WIN32
// A full disk (a file-size limit fails writes as one does) at each file of a set, sized to grow in the order they are
// written; or a read-only Projects folder (room 0), which refuses root too once the thread has the rights
// of an ordinary user: the message names the file, and every old file stays as it was.
enum class Set { project, autosave, results };
struct Fault { const char* name; Set set; std::string failing; rlim_t room; };
const Fault kFaults[] = {
    {"ProjectPages", Set::project, ProjectPath("p", ProjectFileKind::PageFile), 40},
    {"ProjectResults", Set::project, ProjectPath("p", ProjectFileKind::ResultFile), 60},
    {"ProjectExtensions", Set::project, ProjectPath("p", ProjectFileKind::ExtensionFile), 100},
    {"ProjectSettings", Set::project, ProjectPath("p", ProjectFileKind::SettingsFile), 200},
    {"AutosaveExtensions", Set::autosave, ProjectPath(kAutosaveName, ProjectFileKind::ExtensionFile), 100},
    {"AutosavePatterns", Set::autosave, ProjectPath(kAutosaveName, ProjectFileKind::PatternFile), 160},
    {"AutosaveSettings", Set::autosave, ProjectPath(kAutosaveName, ProjectFileKind::AutosaveSettingsFile), 260},
    {"ResultFile", Set::results, "found.txt", 60},
    {"ReadOnlyProject", Set::project, ProjectPath("p", ProjectFileKind::PageFile), 0},
    {"ReadOnlyAutosave", Set::autosave, ProjectPath(kAutosaveName, ProjectFileKind::ExtensionFile), 0},
};

// Every file in the working folder, with its bytes.
std::map<std::string, std::string> Files() {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(".")) {
        if (entry.is_regular_file()) files[entry.path().string()] = ReadBytes(entry.path());
    }
    return files;
}

class DiskFaultsTest : public ProjectTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(DiskFaultsTest, TheOldFilesStayAndTheMessageNamesTheFile) {
    const auto save = [this](Set set) {  // over the old files; false when that failed
        view.ScriptAnswers({true});       // to overwrite
        view.chooserScript = {"found.txt"};
        if (set == Set::project) return SaveAs("p");
        if (set == Set::results) return SaveResults(state);
        Autosave(state);
        return view.Messages().empty();  // it says nothing when it succeeds
    };
    state.resultList.Assign({"http://s/a.jpg", "http://s/b.jpg", "http://s/c.jpg", "http://s/d.jpg"});  // 64 bytes
    state.extensionList.Assign(Texts(20, "jpeg"));                                                  // 120
    state.patternList.Assign(Texts(20, "<b > </b>"));                                               // 220
    state.skipMask = view.skipMask = std::string(250, 'm');  // settings files of 358 and 319 bytes
    ASSERT_TRUE(save(Set::autosave) && save(Set::project) && save(Set::results));
    const auto old = Files();
    view.ClearCalls();
    state.timerSeconds = 42;  // the settings files, replaced last, would change as well
    view.webSite = "http://elsewhere/";
    state.modified = true;
    const Fault& fault = GetParam();
    std::signal(SIGXFSZ, SIG_IGN);  // a write past the room fails rather than ends the process
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit room{fault.room == 0 ? limit.rlim_cur : fault.room, limit.rlim_max};
    setrlimit(RLIMIT_FSIZE, &room);
    const auto writable = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    if (fault.room == 0) fs::permissions("Projects", writable, fs::perm_options::remove);
    if (fault.room == 0) setfsuid(65534);  // no effect but for root
    EXPECT_FALSE(save(fault.set));
    setfsuid(0);
    fs::permissions("Projects", fs::perms::owner_all);
    setrlimit(RLIMIT_FSIZE, &limit);
    const std::string error = fault.room ? "Error write to file. May be disk is full. " : "Error open file for write: ";
    const std::string reason = fault.room ? ": File too large" : ": Permission denied";
    EXPECT_EQ(view.Messages(), Texts{Info(error + fault.failing + reason)});
    EXPECT_EQ(Files(), old);  // nor is a temporary left
    EXPECT_TRUE(state.modified);
}

INSTANTIATE_TEST_SUITE_P(EachFile, DiskFaultsTest, ::testing::ValuesIn(kFaults),
                         [](const auto& test) { return std::string(test.param.name); });
#endif  // _WIN32

}  // namespace
}  // namespace veltrano
