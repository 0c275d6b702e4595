// The desktop program under Wine: the real main window and its dialogs as a user meets them, crawling 127.0.0.1 through the
// system's URL download service, and that downloader's own refusals and names. The rules behind them are the core's.
#include <gtest/gtest.h>

#include "desktop_harness.h"
#include "http_test_server.h"
#include "win32/download_status.h"
#include "win32/help.h"
#include "win32/urlmon_downloader.h"

namespace veltrano::testing {
namespace {

class DesktopTest : public ::testing::Test {
protected:
    void TearDown() override { server.Release(held); }
    std::string Url(std::string_view target) const { return server.Address(target); }
    bool HoldWhile(const std::string& target, const auto& action) {  // holds `target` (only), acts, and waits till it is asked for
        server.Release(held);
        server.Hold(held = target);
        action();
        return WaitFor([&] { return !server.Requests().empty() && server.Requests().back().target == target; });
    }

    HttpTestServer server;  // declared first: it outlives the window and its worker
    DesktopHarness desktop;
    std::string held = "/";
};

TEST_F(DesktopTest, ACrawlIsShownSavedAsAProjectAndLoadedBack) {
    const std::string home = "<a href=\"a.html\">A</a> <a href=\"pic.jpg\">P</a> <A HREF=\"Movie.mp4\">M</A>", leaf = "<p>leaf</p>";
    server.Route("/", {.body = home});
    server.Route("/a.html", {.body = leaf});
    desktop.Command(IDM_PRESET_IMAGE);
    desktop.Command(IDM_PRESET_VIDEO);
    desktop.SetText(IDC_WEB_SITE, Url("/"));
    desktop.PressKey(IDC_WEB_SITE, VK_RETURN);  // the default button is Start
    ASSERT_TRUE(desktop.WaitUntilSaid(1) && desktop.WaitForCrawlEnd());
    const Texts rows = {Url("/") + " OK", Url("/a.html") + " OK"};
    EXPECT_EQ(desktop.PageRows(), rows);
    EXPECT_EQ(desktop.ResultItems(), (Texts{Url("/pic.jpg"), Url("/Movie.mp4")}));
    EXPECT_EQ(desktop.Shown({IDC_TRAFFIC, IDC_PAGES_TOTAL, IDC_RESULTS_TOTAL, IDC_CURRENT_ROW, IDC_DOWNLOADING, IDC_START, IDC_PAGE_LIST}),
              (Texts{std::to_string(home.size() + leaf.size()), "2", "2", "2", Url("/a.html"), "Start", ""}));
    EXPECT_TRUE(desktop.Send(IDC_RESULT_LIST, LB_GETCURSEL) == 1 && desktop.Send(IDC_PROGRESS, PBM_GETPOS) == 100);

    // A double-click on the page list opens its current row, and nothing without one.
    NMHDR click{desktop.Item(IDC_PAGE_LIST), IDC_PAGE_LIST, static_cast<UINT>(NM_DBLCLK)};
    SendMessageA(desktop.window, WM_NOTIFY, IDC_PAGE_LIST, reinterpret_cast<LPARAM>(&click));
    ListView_SetItemState(desktop.Item(IDC_PAGE_LIST), -1, 0, LVIS_FOCUSED | LVIS_SELECTED);
    SendMessageA(desktop.window, WM_NOTIFY, IDC_PAGE_LIST, reinterpret_cast<LPARAM>(&click));
    EXPECT_EQ(desktop.Opened(), Texts{Url("/a.html")});

    // Saved, not under a blank name; loaded, once a project is chosen; deleted when asked.
    const HWND naming = desktop.Open(IDM_SAVE_PROJECT, "Enter file name");
    Press(naming, IDOK);
    ASSERT_TRUE(Submit(naming, IDC_FILE_NAME, "alpha") && desktop.WaitUntilSaid(3));
    desktop.Command(IDM_NEW_PROJECT);
    EXPECT_TRUE(desktop.PageRows().empty() && desktop.ResultItems().empty() && desktop.Send(IDC_PROGRESS, PBM_GETPOS) == 0);
    HWND loading = desktop.Open(IDM_LOAD_PROJECT, "Load project");
    EXPECT_EQ(ListBoxItems(GetDlgItem(loading, IDC_PROJECT_LIST)), Texts{"alpha.ini"});
    Press(loading, IDOK);  // nothing chosen
    SendDlgItemMessageA(loading, IDC_PROJECT_LIST, LB_SETCURSEL, 0, 0);
    Press(loading, IDOK);
    ASSERT_TRUE(Closes(loading));
    desktop.Flush();
    EXPECT_TRUE(desktop.PageRows() == rows && desktop.ResultItems().size() == 2);
    loading = desktop.Open(IDM_LOAD_PROJECT, "Load project");
    SendDlgItemMessageA(loading, IDC_PROJECT_LIST, LB_SETCURSEL, 0, 0);
    desktop.Reply({"Yes"});
    Press(loading, IDC_PROJECT_DELETE);
    EXPECT_TRUE(ListBoxItems(GetDlgItem(loading, IDC_PROJECT_LIST)).empty());
    EXPECT_EQ(desktop.Said(), (Texts{"The project is completed successfully! [i]", "Please enter a file name. [i Enter file name]",
                                     "The current project is saved successfully. [i]", "Please select an item. [i Load project]",
                                     "Delete the project. Areyou sure? [? Load project]"}));
}

TEST_F(DesktopTest, PauseContinueAndExitWhileAPageIsInFlight) {
    server.Route("/", {.body = "<a href='p1.html'>1</a><a href='p2.html'>2</a><a href='p3.html'>3</a><a href='p4.html'>4</a><a href='p5.html'>5</a>"});
    const auto greyed = [this] { return std::pair(desktop.MenuItemGreyed(0, IDM_LOAD_PROJECT), desktop.MenuItemGreyed(1, IDM_SAVE_RESULTS)); };
    ASSERT_TRUE(HoldWhile("/p2.html", [this] { desktop.Start(Url("/")); }));
    EXPECT_EQ(desktop.Shown({IDC_START, IDC_PAGE_LIST}), (Texts{"Pause", " [off]"}));
    EXPECT_TRUE(WaitFor([this] { return desktop.Text(IDC_TIMER) == "00:00:01"; }, std::chrono::seconds(5)));
    desktop.Command(IDC_START);  // Pause: the page in flight is finished first
    EXPECT_EQ(desktop.Shown({IDC_START}), Texts{"Pause [off]"});
    EXPECT_EQ(greyed(), std::pair(true, true));
    server.Release("/p2.html");
    ASSERT_TRUE(desktop.WaitForCrawlEnd());
    EXPECT_EQ(desktop.Shown({IDC_START, IDC_PAGE_LIST}), (Texts{"Continue", ""}));
    EXPECT_EQ(desktop.PageRows()[3], Url("/p3.html") + " ");
    EXPECT_EQ(desktop.Send(IDC_PAGE_LIST, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED | LVNI_SELECTED), 3);
    EXPECT_EQ(greyed(), std::pair(false, false));

    ASSERT_TRUE(HoldWhile("/p4.html", [this] { desktop.Command(IDC_START); }));
    desktop.Post(IDM_EXIT);  // answered No: the crawl goes on
    ASSERT_TRUE(desktop.WaitUntilSaid(2) && desktop.app.state.crawlRunning);
    desktop.Reply({"Yes", "No"});
    desktop.Post(IDM_EXIT);
    ASSERT_TRUE(desktop.WaitUntilSaid(3));  // the found pages are unsaved: the page in flight ends before that question
    desktop.Flush();
    EXPECT_TRUE(IsWindow(desktop.window));
    server.Release("/p4.html");
    ASSERT_TRUE(desktop.WaitForWindowEnd() && desktop.result == IDCANCEL);
    const std::string breakOff = "Break search process. Are you sure? [?]";
    EXPECT_EQ(desktop.Said(), (Texts{"(beep)", breakOff, breakOff, "(beep)", "Save changes? [?]"}));
    EXPECT_EQ(desktop.app.state.pageList.Row(4).result + "," + desktop.app.state.pageList.Row(5).result, "OK,");  // the page in flight, finished
}

TEST_F(DesktopTest, EscapeClosesAtOnceMidCrawlAndTheSetupIsKept) {
    desktop.Command(IDM_PRESET_XML);
    desktop.ChooseGrabMode(2);
    desktop.SetText(IDC_SKIP_MASK, "index");
    ASSERT_TRUE(HoldWhile("/", [this] { desktop.Start(Url("/")); }));
    desktop.PressKey(IDC_WEB_SITE, VK_ESCAPE);
    ASSERT_TRUE(desktop.WaitForWindowEnd());
    EXPECT_TRUE(desktop.Said().empty());
    EXPECT_EQ(ReadBytes("Projects/autosave_ini.txt"), "[ MAIN ]\r\nGRAB_TYPE = 2\r\nWEB_SITE = " + Url("/") + "\r\nSKIP_MASK = index\r\n");
    EXPECT_EQ(ReadBytes("Projects/autosave_extension.txt"), "xml\r\n");
}

TEST_F(DesktopTest, TheGrabModeEnablesItsOwnListWhoseEditorsAddEditDeleteAndClear) {
    const auto enabled = [this](std::initializer_list<int> ids) { int on = 0; for (int id : ids) on += desktop.Enabled(id); return std::to_string(on); };
    const auto grab = [&] {  // the mode shown, and how many controls of the pattern side and of the extension side are enabled
        return desktop.Text(IDC_GRAB) + " " + enabled({IDC_PATTERN_LIST, IDC_PAT_ADD, IDC_PAT_EDIT, IDC_PAT_DELETE, IDC_PAT_PRESETS, IDC_PATTERN_LABEL}) +
               " " + enabled({IDC_EXT_LIST, IDC_EXT_ADD, IDC_EXT_EDIT, IDC_EXT_DELETE, IDC_EXT_PRESETS, IDC_EXT_LABEL});
    };
    EXPECT_EQ(grab(), "Links 0 6");
    desktop.ChooseGrabMode(2);
    EXPECT_EQ(grab(), "All links 0 6");
    desktop.ChooseGrabMode(1);
    EXPECT_EQ(grab(), "Custom 6 0");

    std::ofstream("Veltrano.chm") << "help";  // the pattern editor has help on patterns
    HWND editor = desktop.Open(IDC_PAT_ADD, "Add item");
    Press(editor, IDC_ITEM_HELP);
    EXPECT_EQ(desktop.Opened(), Texts{"HH -mapid 2 Veltrano.chm"});
    ASSERT_TRUE(Submit(editor, IDC_ITEM_TEXT, "<title > </title>"));
    desktop.Command(IDM_PRESET_HTML_LINK);
    EXPECT_EQ(ListBoxItems(desktop.Item(IDC_PATTERN_LIST)), (Texts{"<title > </title>", "< A  HREF = \" \"", "< A  HREF = ' '"}));

    // The extension editor: not for an empty list, open over a blank entry, opened by a double-click on the entry it edits.
    desktop.Post(IDC_EXT_EDIT);
    ASSERT_TRUE(desktop.WaitUntilSaid(1));
    EXPECT_TRUE(WaitFor([this] { return IsWindowEnabled(desktop.window); }, std::chrono::seconds(10)));  // no editor holds it
    editor = desktop.Open(IDC_EXT_ADD, "Add item");
    EXPECT_EQ(SendDlgItemMessageA(editor, IDC_ITEM_TEXT, EM_GETLIMITTEXT, 0, 0), 99);
    Press(editor, IDOK);
    ASSERT_TRUE(Submit(editor, IDC_ITEM_TEXT, "ogg"));
    desktop.Command(IDM_PRESET_MUSIC);
    desktop.Send(IDC_EXT_LIST, LB_SETCURSEL, 1);
    editor = desktop.Open(IDC_EXT_LIST, "Edit item", LBN_DBLCLK);
    EXPECT_EQ(ItemText(editor, IDC_ITEM_TEXT), "wav");
    ASSERT_TRUE(Submit(editor, IDC_ITEM_TEXT, "flac"));
    EXPECT_EQ(ListBoxItems(desktop.Item(IDC_EXT_LIST)), (Texts{"ogg", "flac", "mp3"}));
    desktop.Command(IDC_EXT_DELETE);  // the entry edited stays selected
    desktop.Command(IDC_EXT_DELETE);  // nothing selected now
    desktop.Post(IDC_EXT_EDIT);
    ASSERT_TRUE(desktop.WaitUntilSaid(3));
    EXPECT_EQ(ListBoxItems(desktop.Item(IDC_EXT_LIST)), (Texts{"ogg", "mp3"}));

    // Clearing a list asks first, unless it is empty.
    desktop.Command(IDC_EXT_CLEAR);  // answered No
    desktop.Reply({"Yes", "Yes"});
    desktop.Command(IDC_PAT_CLEAR);
    EXPECT_TRUE(ListBoxItems(desktop.Item(IDC_EXT_LIST)).size() == 2 && ListBoxItems(desktop.Item(IDC_PATTERN_LIST)).empty());
    desktop.Command(IDC_EXT_CLEAR);
    desktop.Command(IDC_EXT_CLEAR);
    EXPECT_TRUE(ListBoxItems(desktop.Item(IDC_EXT_LIST)).empty());
    const std::string clear = "Delete all items. Are you sure? [?]";
    EXPECT_EQ(desktop.Said(), (Texts{"There is no item for edit! [i (untitled)]", "Please enter a text [i Add item]",
                                     "Please select an item for edit. [i (untitled)]", clear, clear, clear}));
}

TEST_F(DesktopTest, ResultFilesGoThroughTheChooserOnlyWebAddressesOpenAndHelpIsAtHand) {
    const Texts results = {"http://one.example/", "HTTPS://two.example/x", "Ftp://f.example/", "C:\\calc.exe", "http:/half.example"};
    std::string found;
    for (const std::string& result : results) found += result + "\r\n";
    WriteBytes("found.txt", found);
    desktop.Reply({std::nullopt, "found.txt", "saved.txt"});
    desktop.Command(IDM_LOAD_RESULTS);  // cancelled
    desktop.Command(IDM_LOAD_RESULTS);
    EXPECT_TRUE(desktop.ResultItems() == results && desktop.Text(IDC_RESULTS_TOTAL) == "5");
    for (int item = 0; item <= 5; ++item) {  // the last one selects nothing
        desktop.Send(IDC_RESULT_LIST, LB_SETCURSEL, static_cast<WPARAM>(item < 5 ? item : -1));
        desktop.Command(IDC_RESULT_LIST, LBN_DBLCLK);
        desktop.Command(IDC_RESULT_LIST, LBN_SELCHANGE);
    }
    desktop.Command(IDM_SAVE_RESULTS);
    EXPECT_EQ(ReadBytes("saved.txt"), found);
    EXPECT_EQ(desktop.Said(), Texts{"Data is saved successfully. [i]"});
    constexpr DWORD kFlags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    const std::string filter("txt (*.txt)\0*.txt\0", 18);
    const ChooserRequest load = {desktop.window, "Please select a file", "", kFlags | OFN_FILEMUSTEXIST, filter, MAX_PATH};
    EXPECT_EQ(desktop.ChooserRequests(),
              (std::vector{load, load, ChooserRequest{desktop.window, "Please select file to save result", "txt", kFlags, filter, MAX_PATH}}));

    const HWND about = desktop.Open(IDM_ABOUT, "About");
    EXPECT_EQ(ItemText(about, IDC_ABOUT_NAME), "Veltrano version 1.0");
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
    EXPECT_EQ(desktop.Opened(), (Texts{results[0], results[1], results[2], beside.string(), "Veltrano.chm", win32::kHomePage}));
}

// Pages that succeed are seen through the window; here the failures, the reports Wine never makes, and status code names.
TEST(UrlmonDownloader, FailuresAndStatusCodesComeBackAsTheirNamesAndTheCallbackLearnsRedirectsAndSizes) {
    struct : DownloadProgress {
        void OnProgress(std::uint64_t, std::uint64_t) override {}
        void OnEndOfData(std::uint64_t totalBytes) override { endOfData.push_back(totalBytes); }
        std::vector<std::uint64_t> endOfData;
    } progress;
    const ScopedWorkingDirectory folder;
    HttpTestServer server;
    const auto download = [&](const std::string& url, const char* file = "tmp.txt") { return win32::UrlmonDownloader().Download(url, file, progress); };
    EXPECT_EQ(download("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/").status.rfind("INET_E_", 0), 0u);
    EXPECT_EQ(download(server.Address("/" + std::string(1100, 'a'))).status, "INET_E_INVALID_URL");  // longer than the crawl allows
    std::filesystem::create_directory("folder");
    const std::string local = download(server.Address("/"), "folder").localFailure;
    EXPECT_TRUE(local.starts_with("folder: ") && local.size() > 8) << local;
    EXPECT_TRUE(server.Requests().empty() && progress.endOfData.empty());

    win32::MyCallback callback(progress);
    callback.OnProgress(0, 0, BINDSTATUS_REDIRECTING, L"http://example.test/new/");
    callback.OnProgress(0, 0, BINDSTATUS_REDIRECTING, L"http://example.test/last/");
    callback.OnProgress(3000, 0, BINDSTATUS_ENDDOWNLOADDATA, nullptr);
    EXPECT_EQ(callback.RedirectedTo(), "http://example.test/last/");
    EXPECT_EQ(progress.endOfData, std::vector<std::uint64_t>{3000});

    for (const auto& [code, name] : std::vector<std::pair<std::uint32_t, std::string>>{  // the first and last known codes, and no other
             {0, "OK"}, {0x800C0011, "Unknown error"}, {0x800C0400, "INET_E_CODE_INSTALL_SUPPRESSED"}, {0x800C0401, "Unknown error"}})
        EXPECT_EQ(win32::DownloadStatusText(code), name) << std::hex << code;
}

}  // namespace
}  // namespace veltrano::testing
