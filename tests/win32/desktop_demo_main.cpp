// The desktop program's window crawling URL with the "image" extensions. desktop-showcase URL, once some pages are done,
// writes the window's place ("x y width height") to a file "ready" and waits for a file "done" (scripts/screenshot);
// desktop-handover URL NAME pauses after a few pages, saves the project as NAME and closes (tests/win32/test_handover.py).
#include <cstdio>

#include "desktop_harness.h"

int main(int argc, char** argv) {
    using namespace veltrano::testing;
    const auto fail = [](const char* what) { return std::fprintf(stderr, "%s\n", what), 1; };
    if (argc != 2 && argc != 3) return fail("usage: desktop-showcase URL, or desktop-handover URL NAME");
    const bool handover = argc == 3;
    DesktopHarness desktop(false);
    desktop.Command(IDM_PRESET_IMAGE);
    if (!handover) desktop.SetText(IDC_SKIP_MASK, "print");
    desktop.Start(argv[1]);
    if (!WaitFor([&] { return desktop.app.state.pageList.FirstUnprocessed().value_or(0) >= (handover ? 3u : 24u); })) return fail("no crawl");
    if (!handover) {
        desktop.Flush();
        RECT place{};
        GetWindowRect(desktop.window, &place);
        std::ofstream("ready") << place.left << ' ' << place.top << ' ' << place.right - place.left << ' ' << place.bottom - place.top << '\n';
        return WaitFor([] { return std::filesystem::exists("done"); }, std::chrono::seconds(60)) ? 0 : 1;
    }
    desktop.Command(IDC_START);
    if (!desktop.WaitForCrawlEnd() || desktop.Text(IDC_START) != "Continue") return fail("the crawl did not pause");
    if (!Submit(desktop.Open(IDM_SAVE_PROJECT, "Enter file name"), IDC_FILE_NAME, argv[2]) || !desktop.WaitUntilSaid(2)) return fail("not saved");
    return desktop.Said() == Texts{"(beep)", "The current project is saved successfully. [i]"} ? 0 : fail("not saved");
}
