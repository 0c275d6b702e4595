// The dialogs of the main window as a user meets them: the item editor,
// the project dialogs, the result file chooser, the About box and help.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "desktop_scenario.h"
#include "resource.h"
#include "win32/help.h"

namespace veltrano::testing {
namespace {

using Texts = std::vector<std::string>;

constexpr UINT kInformation = MB_OK | MB_ICONINFORMATION;
constexpr UINT kQuestion = MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2;

std::string Crlf(const Texts& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

class DialogsTest : public DesktopScenario {
protected:
    // A site of two pages with two pictures, crawled to its end.
    void CrawlSmallSite() {
        const std::string home = "<a href=\"a.html\">A</a> <a href=\"one.jpg\">1</a>";
        const std::string a = "<a href=\"two.png\">2</a>";
        traffic = std::to_string(home.size() + a.size());
        Serve("/", home);
        Serve("/a.html", a);
        desktop.Command(IDM_PRESET_IMAGE);
        StartCrawl("/");
        ASSERT_TRUE(desktop.WaitForCrawlEnd());
        ASSERT_EQ(desktop.recorder.MessageTexts().back(), "The project is completed successfully!");
    }

    const ShownMessage& Last() {
        messages_ = desktop.recorder.Messages();
        return messages_.back();
    }

    void SaveProjectAs(const std::string& name) {
        const HWND dialog = OpenDialog(IDM_SAVE_PROJECT, "Enter file name");
        ASSERT_NE(dialog, nullptr);
        Type(dialog, IDC_FILE_NAME, name);
        Press(dialog, IDOK);
        ASSERT_TRUE(Closes(dialog));
    }

    std::string traffic;  // of the small site, as the counter shows it

private:
    std::vector<ShownMessage> messages_;
};

TEST_F(DialogsTest, TheItemEditorAddsAndEditsEntries) {
    // Editing needs an entry, and the editor never shows when it cannot open.
    desktop.PostCommand(IDC_EXT_EDIT);
    ASSERT_TRUE(Shown(1));
    EXPECT_EQ(Last().text, "There is no item for edit!");
    EXPECT_EQ(Last().flags, kInformation);
    EXPECT_NE(Last().owner, desktop.Window());  // owned by the editor's dialog
    EXPECT_EQ(FindWindowA("#32770", "Edit item"), nullptr);

    HWND editor = OpenDialog(IDC_EXT_ADD, "Add item");
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(SendDlgItemMessageA(editor, IDC_ITEM_TEXT, EM_GETLIMITTEXT, 0, 0), 99);
    Type(editor, IDC_ITEM_TEXT, "  mp3\t ");
    Press(editor, IDOK);
    ASSERT_TRUE(Closes(editor));

    editor = OpenDialog(IDC_EXT_ADD, "Add item");
    ASSERT_NE(editor, nullptr);
    Type(editor, IDC_ITEM_TEXT, "mp3");
    Press(editor, IDOK);
    EXPECT_EQ(Last().text, "This item already exist!");
    EXPECT_EQ(Last().owner, editor);
    ASSERT_TRUE(IsWindow(editor));
    Type(editor, IDC_ITEM_TEXT, "MP3");  // the editor's own test heeds case
    Press(editor, IDOK);
    ASSERT_TRUE(Closes(editor));
    desktop.Command(IDM_PRESET_MUSIC);  // the presets do not
    EXPECT_EQ(desktop.ListBoxItems(IDC_EXT_LIST), (Texts{"mp3", "MP3", "wav", "ogg"}));

    // A double-click edits the entry in its place.
    SendMessageA(desktop.Item(IDC_EXT_LIST), LB_SETCURSEL, 1, 0);
    desktop.PostCommand(IDC_EXT_LIST);  // a click is not a double-click
    PostMessageA(desktop.Window(), WM_COMMAND, MAKEWPARAM(IDC_EXT_LIST, LBN_DBLCLK),
                 reinterpret_cast<LPARAM>(desktop.Item(IDC_EXT_LIST)));
    editor = desktop.WaitForDialog("Edit item");
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(desktop.recorder.Messages().size(), 2u);
    char shown[128] = "";
    GetDlgItemTextA(editor, IDC_ITEM_TEXT, shown, sizeof shown);
    EXPECT_STREQ(shown, "MP3");
    Type(editor, IDC_ITEM_TEXT, "flac");
    Press(editor, IDOK);
    ASSERT_TRUE(Closes(editor));
    EXPECT_EQ(desktop.ListBoxItems(IDC_EXT_LIST), (Texts{"mp3", "flac", "wav", "ogg"}));
    EXPECT_EQ(SendMessageA(desktop.Item(IDC_EXT_LIST), LB_GETCURSEL, 0, 0), 1);

    SendMessageA(desktop.Item(IDC_EXT_LIST), LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    desktop.PostCommand(IDC_EXT_EDIT);
    ASSERT_TRUE(Shown(3));
    EXPECT_EQ(Last().text, "Please select an item for edit.");

    // A hundred entries are the most the editor adds to.
    desktop.OnUiThread([this] {
        for (int i = 0; i < 96; ++i) desktop.State().extensionList.Append("x" + std::to_string(i));
    });
    desktop.PostCommand(IDC_EXT_ADD);
    ASSERT_TRUE(Shown(4));
    EXPECT_EQ(Last().text, "Limit of count items is reached.");
    EXPECT_EQ(desktop.State().extensionList.Count(), 100u);
}

TEST_F(DialogsTest, ThePatternEditorHasItsOwnLookAndHelp) {
    std::ofstream("Veltrano.chm") << "help";
    desktop.ChooseGrabMode(1);
    const HWND editor = OpenDialog(IDC_PAT_ADD, "Add item");
    ASSERT_NE(editor, nullptr);
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(editor, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_STREQ(font.lfFaceName, "Courier New");
    // Its client area starts at the main window's.
    POINT mainCorner{0, 0};
    POINT editorCorner{0, 0};
    ClientToScreen(desktop.Window(), &mainCorner);
    ClientToScreen(editor, &editorCorner);
    EXPECT_EQ(editorCorner.x, mainCorner.x);
    EXPECT_EQ(editorCorner.y, mainCorner.y);

    Press(editor, IDC_ITEM_HELP);
    EXPECT_EQ(desktop.recorder.Opened(), Texts{"HH -mapid 2 Veltrano.chm"});
    EXPECT_TRUE(IsWindow(editor));
    Type(editor, IDC_ITEM_TEXT, "<title > </title>");
    Press(editor, IDOK);
    ASSERT_TRUE(Closes(editor));
    EXPECT_EQ(desktop.ListBoxItems(IDC_PATTERN_LIST), Texts{"<title > </title>"});
}

TEST_F(DialogsTest, ProjectsAreSavedLoadedAndDeletedThroughTheirDialogs) {
    desktop.PostCommand(IDM_SAVE_PROJECT);
    ASSERT_TRUE(Shown(1));
    EXPECT_EQ(Last().text, "The current project is empty!");
    EXPECT_EQ(FindWindowA("#32770", "Enter file name"), nullptr);

    CrawlSmallSite();
    const HWND naming = OpenDialog(IDM_SAVE_PROJECT, "Enter file name");
    ASSERT_NE(naming, nullptr);
    Type(naming, IDC_FILE_NAME, " \t ");
    Press(naming, IDOK);
    EXPECT_EQ(Last().text, "Please enter a file name.");
    EXPECT_EQ(Last().owner, naming);
    Type(naming, IDC_FILE_NAME, "  alpha  ");
    Press(naming, IDOK);
    ASSERT_TRUE(Closes(naming));
    ASSERT_TRUE(Shown(4));
    EXPECT_EQ(Last().text, "The current project is saved successfully.");

    const std::string pages = Crlf({Url("/"), "OK", Url("/a.html"), "OK"});
    const std::string results = Crlf({Url("/one.jpg"), Url("/two.png")});
    const std::string extensions = Crlf({"gif", "png", "jpg", "jpeg", "bmp", "ico"});
    EXPECT_EQ(FileText("Projects/alpha_page.txt"), pages);
    EXPECT_EQ(FileText("Projects/alpha_result.txt"), results);
    EXPECT_EQ(FileText("Projects/alpha_extension.txt"), extensions);
    EXPECT_TRUE(std::regex_match(FileText("Projects/alpha.ini"),
                                 std::regex("\\[ MAIN \\]\r\nTIMER_SEC = [0-9]+\r\nTIMER_MIN = 0\r\nTIMER_HOUR = 0\r\n"
                                            "TRAFFIC = " + traffic + "\r\nGRAB_TYPE = 0\r\nSKIP_MASK = \r\n")))
        << FileText("Projects/alpha.ini");

    // The same name again: No keeps every file as it was.
    desktop.Command(IDM_PRESET_MUSIC);
    SaveProjectAs("alpha");
    EXPECT_EQ(Last().text, "The project exists. Overwrite?");
    EXPECT_EQ(Last().flags, kQuestion);
    EXPECT_EQ(FileText("Projects/alpha_extension.txt"), extensions);
    SaveProjectAs("beta");
    ASSERT_TRUE(WaitFor([] { return std::filesystem::exists("Projects/beta.ini"); }));

    desktop.Command(IDM_NEW_PROJECT);
    EXPECT_TRUE(desktop.PageRows().empty());
    desktop.SetText(IDC_WEB_SITE, "elsewhere");

    HWND loading = OpenDialog(IDM_LOAD_PROJECT, "Load project");
    ASSERT_NE(loading, nullptr);
    const HWND box = GetDlgItem(loading, IDC_PROJECT_LIST);
    EXPECT_EQ(SendMessageA(box, LB_GETCOUNT, 0, 0), 2);
    Press(loading, IDOK);
    EXPECT_EQ(Last().text, "Please select an item.");
    SendMessageA(box, LB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("alpha.ini"));
    Press(loading, IDOK);
    ASSERT_TRUE(Closes(loading));
    desktop.Flush();
    EXPECT_EQ(desktop.PageRows(), (std::vector<std::pair<std::string, std::string>>{{Url("/"), "OK"}, {Url("/a.html"), "OK"}}));
    EXPECT_EQ(desktop.ResultItems(), (Texts{Url("/one.jpg"), Url("/two.png")}));
    EXPECT_EQ(desktop.Text(IDC_WEB_SITE), Url("/"));
    EXPECT_EQ(desktop.Text(IDC_TRAFFIC), traffic);
    EXPECT_EQ(desktop.ListBoxItems(IDC_EXT_LIST), (Texts{"gif", "png", "jpg", "jpeg", "bmp", "ico"}));

    loading = OpenDialog(IDM_LOAD_PROJECT, "Load project");
    ASSERT_NE(loading, nullptr);
    SendMessageA(GetDlgItem(loading, IDC_PROJECT_LIST), LB_SELECTSTRING, static_cast<WPARAM>(-1),
                 reinterpret_cast<LPARAM>("beta.ini"));
    desktop.recorder.Answer({true});
    Press(loading, IDC_PROJECT_DELETE);
    EXPECT_EQ(Last().text, "Delete the project. Areyou sure?");
    EXPECT_EQ(Last().owner, loading);
    EXPECT_EQ(SendMessageA(GetDlgItem(loading, IDC_PROJECT_LIST), LB_GETCOUNT, 0, 0), 1);
    for (const char* file : {"beta.ini", "beta_page.txt", "beta_result.txt", "beta_extension.txt"}) {
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::path("Projects") / file)) << file;
    }
    EXPECT_TRUE(std::filesystem::exists("Projects/alpha.ini"));
    Press(loading, IDCANCEL);
    ASSERT_TRUE(Closes(loading));
}

TEST_F(DialogsTest, ResultFilesGoThroughTheFileChooser) {
    desktop.PostCommand(IDM_SAVE_RESULTS);
    ASSERT_TRUE(Shown(1));
    EXPECT_EQ(Last().text, "There is no item to save!");
    EXPECT_TRUE(desktop.recorder.ChooserRequests().empty());

    CrawlSmallSite();
    desktop.recorder.Choose({"found.txt", "found.txt"});
    desktop.Command(IDM_SAVE_RESULTS);
    EXPECT_EQ(Last().text, "Data is saved successfully.");
    const std::string saved = Crlf({Url("/one.jpg"), Url("/two.png")});
    EXPECT_EQ(FileText("found.txt"), saved);
    desktop.Command(IDM_SAVE_RESULTS);  // answered No
    EXPECT_EQ(Last().text, "The file exists. Overwrite?");
    EXPECT_EQ(FileText("found.txt"), saved);

    std::ofstream("other.txt", std::ios::binary) << "first\r\nsecond\r\n";
    desktop.recorder.Choose({std::nullopt, "other.txt"});
    desktop.Command(IDM_LOAD_RESULTS);  // cancelled
    EXPECT_EQ(desktop.ResultItems().size(), 2u);
    desktop.Command(IDM_LOAD_RESULTS);
    EXPECT_EQ(desktop.ResultItems(), (Texts{"first", "second"}));
    EXPECT_EQ(desktop.Text(IDC_RESULTS_TOTAL), "2");

    const std::vector<ChooserRequest> asked = desktop.recorder.ChooserRequests();
    ASSERT_EQ(asked.size(), 4u);
    constexpr DWORD kCommon = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    for (const ChooserRequest& request : asked) {
        EXPECT_EQ(request.owner, desktop.Window());
        EXPECT_EQ(request.filter, std::string("txt (*.txt)\0*.txt\0", 18));
        EXPECT_EQ(request.initialFile, "");
        EXPECT_EQ(request.maxFile, 260u);
    }
    EXPECT_EQ(asked[0].title, "Please select file to save result");
    EXPECT_EQ(asked[0].defaultExtension, "txt");
    EXPECT_EQ(asked[0].flags, kCommon);
    EXPECT_EQ(asked[3].title, "Please select a file");
    EXPECT_EQ(asked[3].defaultExtension, "");
    EXPECT_EQ(asked[3].flags, kCommon | OFN_FILEMUSTEXIST);
}

TEST_F(DialogsTest, AboutBoxManualAndHomePage) {
    const HWND about = OpenDialog(IDM_ABOUT, "About");
    ASSERT_NE(about, nullptr);
    char line[128] = "";
    GetDlgItemTextA(about, IDC_ABOUT_NAME, line, sizeof line);
    EXPECT_STREQ(line, "Veltrano version 1.0");
    GetDlgItemTextA(about, IDC_ABOUT_AUTHOR, line, sizeof line);
    EXPECT_GT(std::strlen(line), 0u);
    EXPECT_NE(SendDlgItemMessageA(about, IDC_ABOUT_PICTURE, STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
    Press(about, IDOK);
    ASSERT_TRUE(Closes(about));

    // The manual in the working folder wins; without one, the copy beside
    // the program is opened.
    wchar_t program[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    const std::filesystem::path beside = std::filesystem::path(program).parent_path() / "Veltrano.chm";
    const bool madeBeside = !std::filesystem::exists(beside);
    if (madeBeside) std::ofstream(beside) << "help";
    desktop.Command(IDM_USER_MANUAL);
    std::ofstream("Veltrano.chm") << "help";
    desktop.Command(IDM_USER_MANUAL);
    desktop.Command(IDM_HOME_PAGE);
    const Texts opened = desktop.recorder.Opened();
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_TRUE(std::filesystem::equivalent(opened[0], beside)) << opened[0];
    if (madeBeside) std::filesystem::remove(beside);
    EXPECT_EQ(opened[1], "Veltrano.chm");
    EXPECT_EQ(opened[2], win32::kHomePage);
}

}  // namespace
}  // namespace veltrano::testing
