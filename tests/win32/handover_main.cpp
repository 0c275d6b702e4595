// desktop-handover URL NAME: in the working folder, crawls URL in the
// desktop program's window with the "image" link extensions, pauses once a
// few pages are done, saves the project as NAME through the "Enter file
// name" dialog and closes, for the command line to continue
// (tests/win32/test_handover.py).
#include <cstdio>

#include "desktop_harness.h"

int main(int argc, char** argv) {
    using namespace veltrano::testing;
    const auto fail = [](const std::string& what) { return std::fprintf(stderr, "desktop-handover: %s\n", what.c_str()), 1; };
    if (argc != 3) return fail("usage: desktop-handover URL NAME");
    DesktopHarness desktop(std::filesystem::current_path());
    desktop.Command(IDM_PRESET_IMAGE);
    desktop.Start(argv[1]);
    const auto processed = [&desktop] { return desktop.State().pageList.FirstUnprocessed().value_or(0); };
    if (!WaitFor([&] { return processed() >= 3; })) return fail("the crawl did not get going");
    desktop.Command(IDC_START);
    if (!desktop.WaitForCrawlEnd() || desktop.Text(IDC_START) != "Continue") return fail("the crawl did not pause");
    const HWND dialog = desktop.Open(IDM_SAVE_PROJECT, "Enter file name");
    if (dialog == nullptr) return fail("no \"Enter file name\" dialog");
    SetDlgItemTextA(dialog, IDC_FILE_NAME, argv[2]);
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    if (!desktop.WaitUntilSaid(1) || desktop.Said()[0] != "The current project is saved successfully.") return fail("not saved");
    desktop.Command(IDCANCEL);
    if (!desktop.WaitForWindowEnd()) return fail("the window did not close");
    std::printf("paused after %zu of %zu pages and saved\n", processed(), desktop.State().pageList.Count());
}
