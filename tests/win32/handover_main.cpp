// desktop-handover URL NAME: in the working folder, crawls URL in the
// desktop program's window with the "image" link extensions, pauses once
// a few pages are done, saves the project as NAME through the "Enter file
// name" dialog and closes. The command line then continues the project
// (tests/win32/test_handover.py).
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "desktop_harness.h"
#include "resource.h"

namespace {

int Fail(const char* what) {
    std::fprintf(stderr, "desktop-handover: %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace veltrano::testing;
    if (argc != 3) return Fail("usage: desktop-handover URL NAME");
    DesktopHarness desktop(std::filesystem::current_path());
    desktop.SetText(IDC_WEB_SITE, argv[1]);
    desktop.Command(IDM_PRESET_IMAGE);
    desktop.Command(IDC_START);

    const auto processed = [&desktop] { return desktop.State().pageList.FirstUnprocessed().value_or(0); };
    if (!WaitFor([&] { return processed() >= 3; })) return Fail("the crawl did not get going");
    desktop.Command(IDC_START);
    if (!desktop.WaitForCrawlEnd()) return Fail("the worker did not pause");
    if (desktop.Text(IDC_START) != "Continue") return Fail("the crawl ended instead of pausing");

    desktop.PostCommand(IDM_SAVE_PROJECT);
    const HWND dialog = desktop.WaitForDialog("Enter file name");
    if (dialog == nullptr) return Fail("no \"Enter file name\" dialog");
    SendMessageA(GetDlgItem(dialog, IDC_FILE_NAME), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[2]));
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    if (!WaitFor([&] { return !desktop.recorder.Messages().empty(); })) return Fail("the save said nothing");
    const std::string said = desktop.recorder.MessageTexts().back();
    if (said != "The current project is saved successfully.") return Fail(said.c_str());

    desktop.Command(IDCANCEL);
    if (!desktop.WaitForWindowEnd()) return Fail("the window did not close");
    std::printf("paused after %zu of %zu pages and saved\n", processed(), desktop.State().pageList.Count());
    return 0;
}
