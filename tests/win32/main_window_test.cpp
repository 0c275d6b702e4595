// Scenarios of the main window: each drives the real window through a
// whole story, with fixture sites served on 127.0.0.1 and fetched through
// the system's URL download service.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "desktop_scenario.h"
#include "resource.h"

namespace veltrano::testing {
namespace {

using Rows = std::vector<std::pair<std::string, std::string>>;
using Texts = std::vector<std::string>;

constexpr UINT kQuestion = MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2;
constexpr const char* kCompleted = "The project is completed successfully!";

using MainWindowTest = DesktopScenario;

TEST_F(MainWindowTest, CrawlFillsThePageListTheResultsAndTheCounters) {
    const std::string home = "<a href=\"a.html\">A</a> <a href='b.htm'>B</a> <a href=\"pic.jpg\">P</a>\n"
                             "<a href=\"doc.pdf\">D</a> <a href=\"http://other.invalid/x.html\">X</a>\n<!-- " +
                             std::string(1200, '.') + " -->\n";
    const std::string a = "<a href=\"c.php\">C</a> <a href=\"pic.jpg\">again</a> <A HREF=\"Movie.mp4\">M</A>";
    const std::string b = "<a href=\"a.html\">A again</a>";
    const std::string c = "<p>leaf</p>";
    Serve("/", home);
    Serve("/a.html", a);
    Serve("/b.htm", b);
    Serve("/c.php", c);
    desktop.Command(IDM_PRESET_IMAGE);
    desktop.Command(IDM_PRESET_VIDEO);
    EXPECT_EQ(desktop.ListBoxItems(IDC_EXT_LIST), (Texts{"gif", "png", "jpg", "jpeg", "bmp", "ico", "avi", "mov", "mp4"}));

    // Enter in the address field presses the default button, Start.
    desktop.SetText(IDC_WEB_SITE, Url("/"));
    desktop.PressKey(IDC_WEB_SITE, VK_RETURN);
    ASSERT_TRUE(WaitForRequest("/"));
    ASSERT_TRUE(desktop.WaitForCrawlEnd());

    EXPECT_EQ(Targets(), (Texts{"/", "/a.html", "/b.htm", "/c.php"}));
    EXPECT_EQ(desktop.PageRows(),
              (Rows{{Url("/"), "OK"}, {Url("/a.html"), "OK"}, {Url("/b.htm"), "OK"}, {Url("/c.php"), "OK"}}));
    const Texts results = {Url("/pic.jpg"), Url("/Movie.mp4")};
    EXPECT_EQ(desktop.ResultItems(), results);
    // The last result is selected.
    EXPECT_EQ(SendMessageA(desktop.Item(IDC_RESULT_LIST), LB_GETCURSEL, 0, 0), 1);

    const std::size_t traffic = home.size() + a.size() + b.size() + c.size();
    ASSERT_GT(traffic, 1000u);
    EXPECT_EQ(desktop.Text(IDC_TRAFFIC), std::to_string(traffic / 1000) + "'" + std::to_string(traffic % 1000));
    EXPECT_EQ(desktop.Text(IDC_PAGES_TOTAL), "4");
    EXPECT_EQ(desktop.Text(IDC_RESULTS_TOTAL), "2");
    EXPECT_EQ(desktop.Text(IDC_CURRENT_ROW), "4");
    EXPECT_EQ(desktop.Text(IDC_DOWNLOADING), Url("/c.php"));
    EXPECT_EQ(desktop.ProgressPosition(), 100);
    EXPECT_EQ(desktop.Text(IDC_START), "Start");
    EXPECT_TRUE(desktop.Enabled(IDC_START));
    EXPECT_TRUE(desktop.Enabled(IDC_PAGE_LIST));
    EXPECT_FALSE(std::filesystem::exists("tmp.txt"));

    const std::vector<ShownMessage> shown = desktop.recorder.Messages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, kCompleted);
    EXPECT_EQ(shown[0].caption, "Veltrano");
    EXPECT_EQ(shown[0].flags, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(shown[0].owner, desktop.Window());

    // A completed project is not started again.
    desktop.Command(IDC_START);
    EXPECT_EQ(desktop.recorder.MessageTexts().back(),
              "This project is completed. For start new select menu items Project -> New.");

    // New project asks about the unsaved crawl and clears every display.
    desktop.Command(IDM_NEW_PROJECT);
    EXPECT_EQ(desktop.recorder.Messages().back().text, "Save changes?");
    EXPECT_EQ(desktop.recorder.Messages().back().flags, kQuestion);
    EXPECT_TRUE(desktop.PageRows().empty());
    EXPECT_TRUE(desktop.ResultItems().empty());
    for (const auto& [id, text] : std::vector<std::pair<int, std::string>>{{IDC_TIMER, "00:00:00"},
                                                                            {IDC_TRAFFIC, "0"},
                                                                            {IDC_PAGES_TOTAL, "0"},
                                                                            {IDC_RESULTS_TOTAL, "0"},
                                                                            {IDC_DOWNLOADING, ""},
                                                                            {IDC_CURRENT_ROW, ""},
                                                                            {IDC_START, "Start"}}) {
        EXPECT_EQ(desktop.Text(id), text) << "control " << id;
    }
    EXPECT_EQ(desktop.ProgressPosition(), 0);

    // Nothing unsaved now: Exit closes without a question.
    const std::size_t asked = desktop.recorder.Messages().size();
    desktop.Command(IDM_EXIT);
    ASSERT_TRUE(desktop.WaitForWindowEnd());
    EXPECT_EQ(desktop.Result(), IDCANCEL);
    EXPECT_EQ(desktop.recorder.Messages().size(), asked);
}

TEST_F(MainWindowTest, AllLinksReadsPagesAsABrowserDoes) {
    Serve("/", "<a class=\"nav\" href=\"a.html#top\">A</a><!-- <a href=\"old.html\"> -->"
               "<img src=\"i.png\" srcset=\"i2.png 2x\"><iframe src=\"f.html\"></iframe>");
    Serve("/a.html", "<p>leaf</p>");
    Serve("/f.html", "<body background=\"bg.gif\">");
    desktop.Command(IDM_PRESET_IMAGE);
    desktop.ChooseGrabMode(2);
    StartCrawl("/");
    ASSERT_TRUE(desktop.WaitForCrawlEnd());
    EXPECT_EQ(Targets(), (Texts{"/", "/a.html", "/f.html"}));
    EXPECT_EQ(desktop.ResultItems(), (Texts{Url("/i.png"), Url("/i2.png"), Url("/bg.gif")}));
    EXPECT_EQ(desktop.State().grabMode, kGrabAllLinks);
}

TEST_F(MainWindowTest, PauseOnAMiddleRowThenContinueBelowIt) {
    Serve("/", "<a href=\"p1.html\">1</a> <a href=\"p2.html\">2</a> <a href=\"p3.html\">3</a> <a href=\"p4.html\">4</a>");
    for (const char* leaf : {"/p1.html", "/p2.html", "/p3.html", "/p4.html"}) Serve(leaf, "<p>leaf</p>");
    Hold("/p2.html");
    StartCrawl("/");
    ASSERT_TRUE(WaitForRequest("/p2.html"));

    EXPECT_EQ(desktop.Text(IDC_START), "Pause");
    EXPECT_FALSE(desktop.Enabled(IDC_PAGE_LIST));
    const auto projectCommandsGreyed = [this] {
        return desktop.MenuItemGreyed(0, IDM_NEW_PROJECT) && desktop.MenuItemGreyed(0, IDM_LOAD_PROJECT) &&
               desktop.MenuItemGreyed(0, IDM_SAVE_PROJECT) && desktop.MenuItemGreyed(1, IDM_SAVE_RESULTS);
    };
    EXPECT_TRUE(projectCommandsGreyed());
    EXPECT_FALSE(desktop.MenuItemGreyed(0, IDM_EXIT));
    EXPECT_FALSE(desktop.MenuItemGreyed(1, IDM_LOAD_RESULTS));
    EXPECT_FALSE(desktop.MenuItemGreyed(2, IDM_ABOUT));
    // The clock counts while the crawl runs.
    EXPECT_TRUE(WaitFor([this] { return desktop.Text(IDC_TIMER) == "00:00:01"; }, std::chrono::seconds(5)));

    desktop.Command(IDC_START);
    EXPECT_FALSE(desktop.Enabled(IDC_START));
    EXPECT_EQ(desktop.Text(IDC_START), "Pause");
    // The worker still finishes its page: the project stays out of reach.
    EXPECT_TRUE(projectCommandsGreyed());

    Release("/p2.html");
    ASSERT_TRUE(desktop.WaitForCrawlEnd());
    EXPECT_TRUE(desktop.recorder.Messages().empty());
    EXPECT_EQ(desktop.recorder.Beeps(), 1);
    EXPECT_EQ(desktop.Text(IDC_START), "Continue");
    EXPECT_TRUE(desktop.Enabled(IDC_START));
    EXPECT_TRUE(desktop.Enabled(IDC_PAGE_LIST));
    EXPECT_EQ(desktop.PageRows(), (Rows{{Url("/"), "OK"},
                                        {Url("/p1.html"), "OK"},
                                        {Url("/p2.html"), "OK"},
                                        {Url("/p3.html"), ""},
                                        {Url("/p4.html"), ""}}));
    EXPECT_EQ(desktop.CurrentPageRow(), 3);
    EXPECT_EQ(Targets(), (Texts{"/", "/p1.html", "/p2.html"}));
    EXPECT_FALSE(desktop.MenuItemGreyed(0, IDM_NEW_PROJECT));
    EXPECT_FALSE(desktop.MenuItemGreyed(1, IDM_SAVE_RESULTS));
    // The clock stands still while nothing runs.
    const std::string stopped = desktop.Text(IDC_TIMER);
    Sleep(1300);
    EXPECT_EQ(desktop.Text(IDC_TIMER), stopped);

    desktop.Command(IDC_START);
    ASSERT_TRUE(desktop.WaitForCrawlEnd());
    EXPECT_EQ(desktop.recorder.MessageTexts(), Texts{kCompleted});
    EXPECT_EQ(Targets(), (Texts{"/", "/p1.html", "/p2.html", "/p3.html", "/p4.html"}));
    EXPECT_EQ(desktop.PageRows().back(), (std::pair<std::string, std::string>{Url("/p4.html"), "OK"}));
    EXPECT_EQ(desktop.Text(IDC_START), "Start");
}

TEST_F(MainWindowTest, GrabModeControlsAndListEditing) {
    const int patternSide[] = {IDC_PATTERN_LIST, IDC_PAT_ADD, IDC_PAT_EDIT, IDC_PAT_DELETE, IDC_PAT_PRESETS, IDC_PATTERN_LABEL};
    const int extensionSide[] = {IDC_EXT_LIST, IDC_EXT_ADD, IDC_EXT_EDIT, IDC_EXT_DELETE, IDC_EXT_PRESETS, IDC_EXT_LABEL};
    const auto expectSides = [&](bool patterns, const char* when) {
        for (const int id : patternSide) EXPECT_EQ(desktop.Enabled(id), patterns) << when << ", control " << id;
        for (const int id : extensionSide) EXPECT_EQ(desktop.Enabled(id), !patterns) << when << ", control " << id;
        EXPECT_TRUE(desktop.Enabled(IDC_PAT_CLEAR)) << when;
        EXPECT_TRUE(desktop.Enabled(IDC_EXT_CLEAR)) << when;
    };
    EXPECT_EQ(desktop.Text(IDC_GRAB), "Links");
    expectSides(false, "at start");
    desktop.ChooseGrabMode(1);
    expectSides(true, "after choosing Custom");
    // Only a selection change applies the mode.
    SendMessageA(desktop.Item(IDC_GRAB), CB_SETCURSEL, 0, 0);
    desktop.Command(IDC_GRAB, CBN_DROPDOWN);
    expectSides(true, "after another notification");
    desktop.ChooseGrabMode(2);
    EXPECT_EQ(desktop.Text(IDC_GRAB), "All links");
    expectSides(false, "after choosing All links");

    desktop.Command(IDM_PRESET_MUSIC);
    desktop.Command(IDM_PRESET_MUSIC);
    desktop.Command(IDM_PRESET_HTML_LINK);
    EXPECT_EQ(desktop.ListBoxItems(IDC_EXT_LIST), (Texts{"wav", "mp3", "ogg"}));
    EXPECT_EQ(desktop.ListBoxItems(IDC_PATTERN_LIST), (Texts{"< A  HREF = \" \"", "< A  HREF = ' '"}));

    const HWND extensions = desktop.Item(IDC_EXT_LIST);
    SendMessageA(extensions, LB_SETCURSEL, 1, 0);
    desktop.Command(IDC_EXT_DELETE);
    EXPECT_EQ(desktop.ListBoxItems(IDC_EXT_LIST), (Texts{"wav", "ogg"}));
    EXPECT_EQ(desktop.State().extensionList.Items(), (Texts{"wav", "ogg"}));
    EXPECT_EQ(SendMessageA(extensions, LB_GETCURSEL, 0, 0), LB_ERR);
    desktop.Command(IDC_EXT_DELETE);
    EXPECT_EQ(desktop.ListBoxItems(IDC_EXT_LIST), (Texts{"wav", "ogg"}));
    EXPECT_TRUE(desktop.recorder.Messages().empty());

    desktop.Command(IDC_EXT_CLEAR);
    EXPECT_EQ(desktop.ListBoxItems(IDC_EXT_LIST), (Texts{"wav", "ogg"}));
    desktop.recorder.Answer({true, true});
    desktop.Command(IDC_EXT_CLEAR);
    desktop.Command(IDC_PAT_CLEAR);
    EXPECT_TRUE(desktop.ListBoxItems(IDC_EXT_LIST).empty());
    EXPECT_EQ(desktop.State().extensionList.Count(), 0u);
    EXPECT_TRUE(desktop.ListBoxItems(IDC_PATTERN_LIST).empty());
    desktop.Command(IDC_EXT_CLEAR);  // an empty list asks nothing
    const std::vector<ShownMessage> asked = desktop.recorder.Messages();
    ASSERT_EQ(asked.size(), 3u);
    for (const ShownMessage& question : asked) {
        EXPECT_EQ(question.text, "Delete all items. Are you sure?");
        EXPECT_EQ(question.flags, kQuestion);
    }
}

TEST_F(MainWindowTest, CloseAsksWhileACrawlRunsAndLetsItsPageFinish) {
    Serve("/", "<a href=\"p1.html\">1</a> <a href=\"p2.html\">2</a>");
    Serve("/p1.html", "<p>leaf</p>");
    Hold("/p1.html");
    StartCrawl("/");
    ASSERT_TRUE(WaitForRequest("/p1.html"));

    PostMessageA(desktop.Window(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitFor([this] { return desktop.recorder.Messages().size() == 1; }));
    desktop.Flush();
    EXPECT_TRUE(IsWindow(desktop.Window()));
    EXPECT_TRUE(desktop.State().crawlRunning);

    desktop.recorder.Answer({true, false});
    PostMessageA(desktop.Window(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitFor([this] { return desktop.recorder.Messages().size() == 2; }));
    // Found pages are unsaved: before the question the page in flight ends.
    EXPECT_TRUE(IsWindow(desktop.Window()));
    Release("/p1.html");
    ASSERT_TRUE(desktop.WaitForWindowEnd());

    EXPECT_EQ(desktop.Result(), IDCANCEL);
    EXPECT_EQ(desktop.recorder.MessageTexts(),
              (Texts{"Break search process. Are you sure?", "Break search process. Are you sure?", "Save changes?"}));
    for (const ShownMessage& question : desktop.recorder.Messages()) EXPECT_EQ(question.flags, kQuestion);
    EXPECT_EQ(desktop.State().pageList.Row(1).result, "OK");
    EXPECT_EQ(desktop.State().pageList.Row(2).result, "");
    EXPECT_EQ(Targets(), (Texts{"/", "/p1.html"}));
    EXPECT_NE(FileText("Projects/autosave_ini.txt").find("WEB_SITE = " + Url("/") + "\r\n"), std::string::npos);
}

TEST_F(MainWindowTest, EscapeClosesAtOnceAndTheAutosaveIsWritten) {
    Serve("/", "<a href=\"p1.html\">1</a>");
    Hold("/p1.html");
    desktop.Command(IDM_PRESET_XML);
    desktop.SetText(IDC_SKIP_MASK, "index");
    StartCrawl("/");
    ASSERT_TRUE(WaitForRequest("/p1.html"));

    desktop.PressKey(IDC_WEB_SITE, VK_ESCAPE);
    ASSERT_TRUE(desktop.WaitForWindowEnd());
    EXPECT_EQ(desktop.Result(), IDCANCEL);
    EXPECT_TRUE(desktop.recorder.Messages().empty());
    EXPECT_EQ(FileText("Projects/autosave_ini.txt"),
              "[ MAIN ]\r\nGRAB_TYPE = 0\r\nWEB_SITE = " + Url("/") + "\r\nSKIP_MASK = index\r\n");
    EXPECT_EQ(FileText("Projects/autosave_extension.txt"), "xml\r\n");
}

TEST_F(MainWindowTest, DoubleClicksOpenOnlyWebAddresses) {
    Serve("/",
          "<a href=\"http://one.example/\">1</a> <a href=\"HTTPS://two.example/x\">2</a>\n"
          "<a href=\"Ftp://files.example/f.zip\">3</a> <a href=\"C:\\Windows\\System32\\calc.exe\">4</a>\n"
          "<a href=\"\\\\server\\share\\run.exe\">5</a> <a href=\"file:///C:/run.exe\">6</a>\n"
          "<a href=\"javascript:alert(1)\">7</a> <a href=\"http:/half.example\">8</a> <a href='leaf.html'>9</a>");
    Serve("/leaf.html", "<p>leaf</p>");
    desktop.Command(IDM_PRESET_HTML_LINK);
    desktop.ChooseGrabMode(1);
    StartCrawl("/");
    ASSERT_TRUE(desktop.WaitForCrawlEnd());
    const Texts results = desktop.ResultItems();
    ASSERT_EQ(results.size(), 9u);
    EXPECT_EQ(results[3], "C:\\Windows\\System32\\calc.exe");

    const HWND box = desktop.Item(IDC_RESULT_LIST);
    for (int item = 0; item < 9; ++item) {
        SendMessageA(box, LB_SETCURSEL, static_cast<WPARAM>(item), 0);
        desktop.Command(IDC_RESULT_LIST, LBN_DBLCLK);
    }
    SendMessageA(box, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    desktop.Command(IDC_RESULT_LIST, LBN_DBLCLK);
    desktop.Command(IDC_RESULT_LIST, LBN_SELCHANGE);
    EXPECT_EQ(desktop.recorder.Opened(), (Texts{"http://one.example/", "HTTPS://two.example/x", "Ftp://files.example/f.zip"}));

    // The page list opens its focused and selected row, and nothing without one.
    NMHDR click{desktop.Item(IDC_PAGE_LIST), IDC_PAGE_LIST, static_cast<UINT>(NM_DBLCLK)};
    ASSERT_EQ(desktop.CurrentPageRow(), 1);
    SendMessageA(desktop.Window(), WM_NOTIFY, IDC_PAGE_LIST, reinterpret_cast<LPARAM>(&click));
    LVITEMA none{};
    none.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
    SendMessageA(desktop.Item(IDC_PAGE_LIST), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    SendMessageA(desktop.Window(), WM_NOTIFY, IDC_PAGE_LIST, reinterpret_cast<LPARAM>(&click));
    EXPECT_EQ(desktop.recorder.Opened().size(), 4u);
    EXPECT_EQ(desktop.recorder.Opened().back(), Url("/leaf.html"));
}

TEST_F(MainWindowTest, AHundredThousandFoundPagesAreShownWhileTheCrawlGoesOn) {
    constexpr int kLinks = 100000;
    std::string home;
    for (int link = 1; link <= kLinks; ++link) home += "<a href=\"p" + std::to_string(link) + ".html\">.</a>\n";
    Serve("/", home);
    Hold("/p1.html");
    StartCrawl("/");
    ASSERT_TRUE(WaitForRequest("/p1.html"));
    desktop.Flush();

    EXPECT_EQ(desktop.PageRowCount(), kLinks + 1);
    EXPECT_EQ(desktop.PageRow(0), (std::pair<std::string, std::string>{Url("/"), "OK"}));
    EXPECT_EQ(desktop.PageRow(kLinks), (std::pair<std::string, std::string>{Url("/p100000.html"), ""}));
    EXPECT_EQ(desktop.Text(IDC_PAGES_TOTAL), "100'001");
    EXPECT_EQ(desktop.CurrentPageRow(), 1);
    // Without link extensions every link is a result as well.
    EXPECT_EQ(desktop.ResultItems().size(), static_cast<std::size_t>(kLinks));
    EXPECT_EQ(desktop.Text(IDC_RESULTS_TOTAL), "100'000");
    EXPECT_EQ(SendMessageA(desktop.Item(IDC_RESULT_LIST), LB_GETCURSEL, 0, 0), kLinks - 1);
    // The window keeps answering while the worker waits for its page.
    EXPECT_TRUE(desktop.MenuItemGreyed(0, IDM_SAVE_PROJECT));

    desktop.Command(IDC_START);
    Release("/p1.html");
    ASSERT_TRUE(desktop.WaitForCrawlEnd());
    EXPECT_EQ(desktop.PageRow(1).second, "OK");  // the 404 page of the test server
    EXPECT_EQ(desktop.CurrentPageRow(), 2);
}

}  // namespace
}  // namespace veltrano::testing
