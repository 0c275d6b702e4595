// The main window and its dialogs as a user meets them: the real window,
// fixture sites served on 127.0.0.1 and fetched through the system's URL
// download service. The rules behind each command are the core's, tested
// natively; these tests show that the window reflects them and drives them.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <tuple>

#include "desktop_harness.h"
#include "http_test_server.h"
#include "win32/help.h"

namespace veltrano::testing {
namespace {

constexpr UINT kQuestion = MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2;
constexpr const char* kCompleted = "The project is completed successfully!";

void Press(HWND dialog, int id) { SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
bool Closes(HWND dialog) { return WaitFor([dialog] { return !IsWindow(dialog); }, std::chrono::seconds(10)); }

class MainWindowTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (const std::string& target : held_) server.Release(target);
    }
    std::string Url(std::string_view target) const { return server.Address(target); }
    void Serve(const std::string& target, const std::string& body) { server.Route(target, {200, "", body}); }
    void Hold(const std::string& target) {
        held_.insert(target);
        server.Hold(target);
    }
    void Release(const std::string& target) { server.Release(target); }
    bool WaitForRequest(const std::string& target) {
        return WaitFor([&] {
            for (const RecordedRequest& request : server.Requests()) if (request.target == target) return true;
            return false;
        });
    }
    ShownMessage Message(HWND owner, const std::string& text, UINT flags) const { return {owner, text, "Veltrano", flags}; }

    // Declared first: the server outlives the window and its worker.
    HttpTestServer server;
    DesktopHarness desktop;

private:
    std::set<std::string> held_;
};

TEST_F(MainWindowTest, ACrawlFillsThePageListTheResultsAndTheCounters) {
    const std::string home = "<a href=\"a.html\">A</a> <a href=\"pic.jpg\">P</a> <A HREF=\"Movie.mp4\">M</A>";
    const std::string a = "<a href=\"pic.jpg\">again</a>";
    Serve("/", home);
    Serve("/a.html", a);
    desktop.Command(IDM_PRESET_IMAGE);
    desktop.Command(IDM_PRESET_VIDEO);
    EXPECT_EQ(desktop.ListBoxItems(IDC_EXT_LIST), (Texts{"gif", "png", "jpg", "jpeg", "bmp", "ico", "avi", "mov", "mp4"}));
    desktop.SetText(IDC_WEB_SITE, Url("/"));
    desktop.PressKey(IDC_WEB_SITE, VK_RETURN);  // the default button is Start
    ASSERT_TRUE(WaitForRequest("/"));
    ASSERT_TRUE(desktop.WaitForCrawlEnd());

    EXPECT_EQ(desktop.PageRows(), (Rows{{Url("/"), "OK"}, {Url("/a.html"), "OK"}}));
    EXPECT_EQ(desktop.ResultItems(), (Texts{Url("/pic.jpg"), Url("/Movie.mp4")}));
    EXPECT_EQ(desktop.Send(IDC_RESULT_LIST, LB_GETCURSEL), 1);
    const std::pair<int, std::string> labels[] = {{IDC_TRAFFIC, std::to_string(home.size() + a.size())},
        {IDC_PAGES_TOTAL, "2"}, {IDC_RESULTS_TOTAL, "2"}, {IDC_CURRENT_ROW, "2"}, {IDC_DOWNLOADING, Url("/a.html")}, {IDC_START, "Start"}};
    for (const auto& [id, text] : labels) EXPECT_EQ(desktop.Text(id), text) << "control " << id;
    EXPECT_EQ(desktop.Send(IDC_PROGRESS, PBM_GETPOS), 100);
    EXPECT_TRUE(desktop.Enabled(IDC_START) && desktop.Enabled(IDC_PAGE_LIST));
    EXPECT_EQ(desktop.Seen().messages, std::vector{Message(desktop.Window(), kCompleted, MB_OK | MB_ICONINFORMATION)});

    // A double-click on the page list opens its current row, and nothing without one.
    NMHDR click{desktop.Item(IDC_PAGE_LIST), IDC_PAGE_LIST, static_cast<UINT>(NM_DBLCLK)};
    SendMessageA(desktop.Window(), WM_NOTIFY, IDC_PAGE_LIST, reinterpret_cast<LPARAM>(&click));
    LVITEMA none{};
    none.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
    desktop.Send(IDC_PAGE_LIST, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    SendMessageA(desktop.Window(), WM_NOTIFY, IDC_PAGE_LIST, reinterpret_cast<LPARAM>(&click));
    EXPECT_EQ(desktop.Seen().opened, Texts{Url("/a.html")});

    // New project asks about the unsaved crawl and empties the window; Exit then asks nothing.
    desktop.Command(IDM_NEW_PROJECT);
    EXPECT_EQ(desktop.Seen().messages.back(), Message(desktop.Window(), "Save changes?", kQuestion));
    EXPECT_TRUE(desktop.PageRows().empty());
    EXPECT_TRUE(desktop.ResultItems().empty());
    EXPECT_EQ(desktop.Send(IDC_PROGRESS, PBM_GETPOS), 0);
    desktop.Command(IDM_EXIT);
    ASSERT_TRUE(desktop.WaitForWindowEnd());
    EXPECT_EQ(desktop.Result(), IDCANCEL);
    EXPECT_EQ(desktop.Said().size(), 2u);
}

TEST_F(MainWindowTest, PauseThenContinueThenCloseWhileAPageIsInFlight) {
    Serve("/", "<a href='p1.html'>1</a><a href='p2.html'>2</a><a href='p3.html'>3</a><a href='p4.html'>4</a><a href='p5.html'>5</a>");
    for (const char* leaf : {"/p1.html", "/p2.html", "/p3.html", "/p4.html", "/p5.html"}) Serve(leaf, "<p>leaf</p>");
    const std::vector running = {true, true, true, true, false, false};
    const auto greyed = [this] {  // the project commands, then Exit and Load results
        return std::vector{desktop.MenuItemGreyed(0, IDM_NEW_PROJECT), desktop.MenuItemGreyed(0, IDM_LOAD_PROJECT),
                           desktop.MenuItemGreyed(0, IDM_SAVE_PROJECT), desktop.MenuItemGreyed(1, IDM_SAVE_RESULTS),
                           desktop.MenuItemGreyed(0, IDM_EXIT), desktop.MenuItemGreyed(1, IDM_LOAD_RESULTS)};
    };
    Hold("/p2.html");
    Hold("/p4.html");
    desktop.Start(Url("/"));
    ASSERT_TRUE(WaitForRequest("/p2.html"));
    EXPECT_EQ(desktop.Text(IDC_START), "Pause");
    EXPECT_FALSE(desktop.Enabled(IDC_PAGE_LIST));
    EXPECT_EQ(greyed(), running);
    EXPECT_TRUE(WaitFor([this] { return desktop.Text(IDC_TIMER) == "00:00:01"; }, std::chrono::seconds(5)));

    desktop.Command(IDC_START);  // Pause: the page in flight is finished first
    EXPECT_FALSE(desktop.Enabled(IDC_START));
    EXPECT_EQ(greyed(), running);
    Release("/p2.html");
    ASSERT_TRUE(desktop.WaitForCrawlEnd());
    EXPECT_EQ(desktop.Seen().beeps, 1);
    EXPECT_EQ(desktop.Text(IDC_START), "Continue");
    EXPECT_TRUE(desktop.Enabled(IDC_START) && desktop.Enabled(IDC_PAGE_LIST));
    EXPECT_EQ(desktop.PageRows()[2], (std::pair{Url("/p2.html"), std::string("OK")}));
    EXPECT_EQ(desktop.PageRows()[3], (std::pair{Url("/p3.html"), std::string()}));
    EXPECT_EQ(desktop.CurrentPageRow(), 3);
    EXPECT_EQ(greyed(), std::vector<bool>(6, false));

    desktop.Command(IDC_START);
    ASSERT_TRUE(WaitForRequest("/p4.html"));
    PostMessageA(desktop.Window(), WM_CLOSE, 0, 0);  // answered No: the crawl goes on
    ASSERT_TRUE(desktop.WaitUntilSaid(1));
    EXPECT_TRUE(desktop.State().crawlRunning);
    desktop.Answer({true, false});
    PostMessageA(desktop.Window(), WM_CLOSE, 0, 0);
    // The found pages are unsaved: the page in flight ends before that question.
    ASSERT_TRUE(desktop.WaitUntilSaid(2));
    desktop.Flush();
    EXPECT_TRUE(IsWindow(desktop.Window()));
    Release("/p4.html");
    ASSERT_TRUE(desktop.WaitForWindowEnd());
    EXPECT_EQ(desktop.Said(), (Texts{"Break search process. Are you sure?", "Break search process. Are you sure?", "Save changes?"}));
    EXPECT_EQ(desktop.State().pageList.Row(4).result, "OK");
    EXPECT_EQ(desktop.State().pageList.Row(5).result, "");
}

TEST_F(MainWindowTest, EscapeClosesAtOnceMidCrawlAndTheSetupIsKept) {
    Hold("/");
    desktop.Command(IDM_PRESET_XML);
    desktop.ChooseGrabMode(2);
    desktop.SetText(IDC_SKIP_MASK, "index");
    desktop.Start(Url("/"));
    ASSERT_TRUE(WaitForRequest("/"));
    desktop.PressKey(IDC_WEB_SITE, VK_ESCAPE);
    ASSERT_TRUE(desktop.WaitForWindowEnd());
    EXPECT_EQ(desktop.Result(), IDCANCEL);
    EXPECT_TRUE(desktop.Said().empty());
    EXPECT_EQ(FileText("Projects/autosave_ini.txt"), "[ MAIN ]\r\nGRAB_TYPE = 2\r\nWEB_SITE = " + Url("/") + "\r\nSKIP_MASK = index\r\n");
    EXPECT_EQ(FileText("Projects/autosave_extension.txt"), "xml\r\n");
}

TEST_F(MainWindowTest, TheGrabModeEnablesItsOwnListAndTheListsAreEdited) {
    const auto enabled = [this](std::initializer_list<int> ids) {
        return static_cast<int>(std::count_if(ids.begin(), ids.end(), [this](int id) { return desktop.Enabled(id); }));
    };
    const auto sides = [&] {  // how many controls of the pattern side and of the extension side are enabled
        return std::pair(enabled({IDC_PATTERN_LIST, IDC_PAT_ADD, IDC_PAT_EDIT, IDC_PAT_DELETE, IDC_PAT_PRESETS, IDC_PATTERN_LABEL}),
                         enabled({IDC_EXT_LIST, IDC_EXT_ADD, IDC_EXT_EDIT, IDC_EXT_DELETE, IDC_EXT_PRESETS, IDC_EXT_LABEL}));
    };
    EXPECT_EQ(desktop.Text(IDC_GRAB), "Links");
    EXPECT_EQ(sides(), std::pair(0, 6));
    desktop.ChooseGrabMode(1);
    desktop.Send(IDC_GRAB, CB_SETCURSEL, 0);
    desktop.Command(IDC_GRAB, CBN_DROPDOWN);  // only a selection change applies the mode
    EXPECT_EQ(sides(), std::pair(6, 0));
    desktop.ChooseGrabMode(2);
    EXPECT_EQ(desktop.Text(IDC_GRAB), "All links");
    EXPECT_EQ(sides(), std::pair(0, 6));
    EXPECT_EQ(enabled({IDC_PAT_CLEAR, IDC_EXT_CLEAR}), 2);

    desktop.Command(IDM_PRESET_MUSIC);
    desktop.Command(IDM_PRESET_HTML_LINK);
    EXPECT_EQ(desktop.ListBoxItems(IDC_PATTERN_LIST), (Texts{"< A  HREF = \" \"", "< A  HREF = ' '"}));
    desktop.Send(IDC_EXT_LIST, LB_SETCURSEL, 1);
    desktop.Command(IDC_EXT_DELETE);
    desktop.Command(IDC_EXT_DELETE);  // nothing selected now
    EXPECT_EQ(desktop.ListBoxItems(IDC_EXT_LIST), (Texts{"wav", "ogg"}));
    desktop.Command(IDC_EXT_CLEAR);  // answered No
    EXPECT_EQ(desktop.ListBoxItems(IDC_EXT_LIST), (Texts{"wav", "ogg"}));
    desktop.Answer({true, true});
    desktop.Command(IDC_EXT_CLEAR);
    desktop.Command(IDC_PAT_CLEAR);
    desktop.Command(IDC_EXT_CLEAR);  // an empty list asks nothing
    EXPECT_TRUE(desktop.ListBoxItems(IDC_EXT_LIST).empty() && desktop.ListBoxItems(IDC_PATTERN_LIST).empty());
    EXPECT_EQ(desktop.Seen().messages, std::vector(3, Message(desktop.Window(), "Delete all items. Are you sure?", kQuestion)));
}

TEST_F(MainWindowTest, TheItemEditorsAddAndEditInPlace) {
    desktop.Post(IDC_EXT_EDIT);  // nothing to edit: only the refusal shows
    ASSERT_TRUE(desktop.WaitUntilSaid(1));
    EXPECT_EQ(FindWindowA("#32770", "Edit item"), nullptr);
    HWND editor = desktop.Open(IDC_EXT_ADD, "Add item");
    ASSERT_NE(editor, nullptr);
    SetDlgItemTextA(editor, IDC_ITEM_TEXT, "mp3");
    Press(editor, IDOK);
    ASSERT_TRUE(Closes(editor));
    editor = desktop.Open(IDC_EXT_ADD, "Add item");
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(SendDlgItemMessageA(editor, IDC_ITEM_TEXT, EM_GETLIMITTEXT, 0, 0), 99);
    SetDlgItemTextA(editor, IDC_ITEM_TEXT, "mp3");
    Press(editor, IDOK);  // a duplicate: the editor stays open over its message
    EXPECT_EQ(desktop.Seen().messages.back(), Message(editor, "This item already exist!", MB_OK | MB_ICONINFORMATION));
    SetDlgItemTextA(editor, IDC_ITEM_TEXT, "ogg");
    Press(editor, IDOK);
    ASSERT_TRUE(Closes(editor));
    desktop.Send(IDC_EXT_LIST, LB_SETCURSEL, 1);
    desktop.Command(IDC_EXT_LIST, LBN_SELCHANGE);  // a click is not a double-click
    editor = desktop.Open(IDC_EXT_LIST, "Edit item", LBN_DBLCLK);
    ASSERT_NE(editor, nullptr);
    char shown[128] = "";
    GetDlgItemTextA(editor, IDC_ITEM_TEXT, shown, sizeof shown);
    EXPECT_STREQ(shown, "ogg");
    SetDlgItemTextA(editor, IDC_ITEM_TEXT, "flac");
    Press(editor, IDOK);
    ASSERT_TRUE(Closes(editor));
    EXPECT_EQ(desktop.ListBoxItems(IDC_EXT_LIST), (Texts{"mp3", "flac"}));
    EXPECT_EQ(desktop.Send(IDC_EXT_LIST, LB_GETCURSEL), 1);
    desktop.Send(IDC_EXT_LIST, LB_SETCURSEL, static_cast<WPARAM>(-1));
    desktop.Post(IDC_EXT_EDIT);
    ASSERT_TRUE(desktop.WaitUntilSaid(3));
    EXPECT_EQ(desktop.Said().back(), "Please select an item for edit.");

    // The pattern editor: a fixed font over the main window's client area, and help on patterns.
    std::ofstream("Veltrano.chm") << "help";
    const HWND patterns = desktop.Open(IDC_PAT_ADD, "Add item");
    ASSERT_NE(patterns, nullptr);
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(patterns, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_STREQ(font.lfFaceName, "Courier New");
    POINT corners[2] = {};
    ClientToScreen(desktop.Window(), &corners[0]);
    ClientToScreen(patterns, &corners[1]);
    EXPECT_TRUE(corners[0].x == corners[1].x && corners[0].y == corners[1].y);
    Press(patterns, IDC_ITEM_HELP);
    EXPECT_EQ(desktop.Seen().opened, Texts{"HH -mapid 2 Veltrano.chm"});
    SetDlgItemTextA(patterns, IDC_ITEM_TEXT, "<title > </title>");
    Press(patterns, IDOK);
    ASSERT_TRUE(Closes(patterns));
    EXPECT_EQ(desktop.ListBoxItems(IDC_PATTERN_LIST), Texts{"<title > </title>"});
}

TEST_F(MainWindowTest, ProjectsAreSavedLoadedAndDeletedThroughTheirDialogs) {
    const Rows rows = {{"http://a.example/", "OK"}, {"http://a.example/b.html", ""}};
    desktop.OnUiThread([&] {
        desktop.State().pageList.Assign({{rows[0].first, rows[0].second}, {rows[1].first, rows[1].second}});
        desktop.State().resultList.Assign({"http://a.example/c.jpg"});
        desktop.State().modified = true;
    });
    const HWND naming = desktop.Open(IDM_SAVE_PROJECT, "Enter file name");
    ASSERT_NE(naming, nullptr);
    Press(naming, IDOK);
    EXPECT_EQ(desktop.Seen().messages.back(), Message(naming, "Please enter a file name.", MB_OK | MB_ICONINFORMATION));
    SetDlgItemTextA(naming, IDC_FILE_NAME, "alpha");
    Press(naming, IDOK);
    ASSERT_TRUE(Closes(naming) && desktop.WaitUntilSaid(2));
    EXPECT_EQ(desktop.Said().back(), "The current project is saved successfully.");
    desktop.Command(IDM_NEW_PROJECT);
    EXPECT_TRUE(desktop.PageRows().empty());

    HWND loading = desktop.Open(IDM_LOAD_PROJECT, "Load project");
    ASSERT_NE(loading, nullptr);
    EXPECT_EQ(DesktopHarness::ListBoxItems(GetDlgItem(loading, IDC_PROJECT_LIST)), Texts{"alpha.ini"});
    Press(loading, IDOK);
    EXPECT_EQ(desktop.Said().back(), "Please select an item.");
    SendDlgItemMessageA(loading, IDC_PROJECT_LIST, LB_SETCURSEL, 0, 0);
    Press(loading, IDOK);
    ASSERT_TRUE(Closes(loading));
    desktop.Flush();
    EXPECT_EQ(desktop.PageRows(), rows);
    EXPECT_EQ(desktop.ResultItems(), Texts{"http://a.example/c.jpg"});

    loading = desktop.Open(IDM_LOAD_PROJECT, "Load project");
    ASSERT_NE(loading, nullptr);
    SendDlgItemMessageA(loading, IDC_PROJECT_LIST, LB_SETCURSEL, 0, 0);
    desktop.Answer({true});
    Press(loading, IDC_PROJECT_DELETE);
    EXPECT_EQ(desktop.Seen().messages.back(), Message(loading, "Delete the project. Areyou sure?", kQuestion));
    EXPECT_EQ(SendDlgItemMessageA(loading, IDC_PROJECT_LIST, LB_GETCOUNT, 0, 0), 0);
    EXPECT_FALSE(std::filesystem::exists("Projects/alpha.ini"));
    Press(loading, IDCANCEL);
    ASSERT_TRUE(Closes(loading));
}

TEST_F(MainWindowTest, ResultFilesGoThroughTheChooserAndOnlyWebAddressesOpen) {
    const Texts results = {"http://one.example/", "HTTPS://two.example/x", "Ftp://files.example/f.zip", "C:\\Windows\\calc.exe",
                           "\\\\server\\share\\run.exe", "file:///C:/run.exe", "javascript:alert(1)", "http:/half.example"};
    std::ofstream found("found.txt", std::ios::binary);
    for (const std::string& result : results) found << result << "\r\n";
    found.close();
    desktop.Choose({std::nullopt, "found.txt", "saved.txt"});
    desktop.Command(IDM_LOAD_RESULTS);  // cancelled
    desktop.Command(IDM_LOAD_RESULTS);
    EXPECT_EQ(desktop.ResultItems(), results);
    EXPECT_EQ(desktop.Text(IDC_RESULTS_TOTAL), "8");
    for (WPARAM item = 0; item <= results.size(); ++item) {  // the last one selects nothing
        desktop.Send(IDC_RESULT_LIST, LB_SETCURSEL, item < results.size() ? item : static_cast<WPARAM>(-1));
        desktop.Command(IDC_RESULT_LIST, LBN_DBLCLK);
        desktop.Command(IDC_RESULT_LIST, LBN_SELCHANGE);
    }
    EXPECT_EQ(desktop.Seen().opened, (Texts{results[0], results[1], results[2]}));
    desktop.Command(IDM_SAVE_RESULTS);
    EXPECT_EQ(FileText("saved.txt"), FileText("found.txt"));

    const std::vector<ChooserRequest> asked = desktop.Seen().chooserRequests;
    ASSERT_EQ(asked.size(), 3u);
    constexpr DWORD kFlags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    for (const ChooserRequest& request : asked) {
        EXPECT_EQ(request.owner, desktop.Window());
        EXPECT_EQ(request.filter, std::string("txt (*.txt)\0*.txt\0", 18));
        EXPECT_EQ(request.maxFile, static_cast<DWORD>(MAX_PATH));
    }
    EXPECT_EQ(std::tie(asked[1].title, asked[1].defaultExtension, asked[1].flags),
              std::tuple("Please select a file", "", kFlags | OFN_FILEMUSTEXIST));
    EXPECT_EQ(std::tie(asked[2].title, asked[2].defaultExtension, asked[2].flags),
              std::tuple("Please select file to save result", "txt", kFlags));
}

TEST_F(MainWindowTest, AboutBoxManualAndHomePage) {
    const HWND about = desktop.Open(IDM_ABOUT, "About");
    ASSERT_NE(about, nullptr);
    char name[128] = "", author[128] = "";
    GetDlgItemTextA(about, IDC_ABOUT_NAME, name, sizeof name);
    GetDlgItemTextA(about, IDC_ABOUT_AUTHOR, author, sizeof author);
    EXPECT_STREQ(name, "Veltrano version 1.0");
    EXPECT_NE(author[0], '\0');
    EXPECT_NE(SendDlgItemMessageA(about, IDC_ABOUT_PICTURE, STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
    Press(about, IDOK);
    ASSERT_TRUE(Closes(about));

    // The manual in the working folder wins; without one, the copy beside the program opens.
    wchar_t program[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    const std::filesystem::path beside = std::filesystem::path(program).parent_path() / "Veltrano.chm";
    const bool madeBeside = !std::filesystem::exists(beside);
    if (madeBeside) std::ofstream(beside) << "help";
    desktop.Command(IDM_USER_MANUAL);
    std::ofstream("Veltrano.chm") << "help";
    desktop.Command(IDM_USER_MANUAL);
    desktop.Command(IDM_HOME_PAGE);
    if (madeBeside) std::filesystem::remove(beside);
    EXPECT_EQ(desktop.Seen().opened, (Texts{beside.string(), "Veltrano.chm", win32::kHomePage}));
}

}  // namespace
}  // namespace veltrano::testing
