// desktop-showcase URL: crawls URL in the desktop program's window with the
// "image" link extensions and, once some pages are done, writes the window's
// place on the screen ("x y width height") to the file "ready" and waits
// for a file "done" before it closes. scripts/screenshot takes the picture
// in between.
#include "desktop_harness.h"

int main(int argc, char** argv) {
    using namespace veltrano::testing;
    if (argc != 2) return std::fputs("usage: desktop-showcase URL\n", stderr), 2;
    DesktopHarness desktop(std::filesystem::current_path());
    desktop.Command(IDM_PRESET_IMAGE);
    desktop.SetText(IDC_SKIP_MASK, "print");
    desktop.Start(argv[1]);
    const bool going = WaitFor([&] { return desktop.State().pageList.FirstUnprocessed().value_or(0) >= 24; });
    desktop.Flush();
    RECT place{};
    GetWindowRect(desktop.Window(), &place);
    std::ofstream("ready") << place.left << ' ' << place.top << ' ' << place.right - place.left << ' ' << place.bottom - place.top << '\n';
    WaitFor([] { return std::filesystem::exists("done"); }, std::chrono::seconds(60));
    return going ? 0 : 1;
}
