// desktop-showcase URL: crawls URL in the desktop program's window with the
// "image" link extensions and, once some pages are done, writes the window's
// place on the screen ("x y width height") to the file "ready" and waits
// for a file "done" before it closes. scripts/screenshot takes the picture
// in between.
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "desktop_harness.h"
#include "resource.h"

int main(int argc, char** argv) {
    using namespace veltrano::testing;
    if (argc != 2) {
        std::fputs("usage: desktop-showcase URL\n", stderr);
        return 2;
    }
    DesktopHarness desktop(std::filesystem::current_path());
    desktop.SetText(IDC_WEB_SITE, argv[1]);
    desktop.Command(IDM_PRESET_IMAGE);
    desktop.SetText(IDC_SKIP_MASK, "print");
    desktop.Command(IDC_START);
    const bool going = WaitFor([&] { return desktop.State().pageList.FirstUnprocessed().value_or(0) >= 24; });
    desktop.Flush();

    RECT place{};
    GetWindowRect(desktop.Window(), &place);
    std::ofstream("ready") << place.left << ' ' << place.top << ' ' << place.right - place.left << ' '
                           << place.bottom - place.top << '\n';
    WaitFor([] { return std::filesystem::exists("done"); }, std::chrono::seconds(60));
    desktop.Command(IDCANCEL);
    desktop.WaitForWindowEnd();
    return going ? 0 : 1;
}
