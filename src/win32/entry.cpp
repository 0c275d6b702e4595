// Veltrano.exe: the desktop program's entry.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "resource.h"
#include "win32/desktop_app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    CoInitialize(nullptr);
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&classes);

    // Static: a crawl worker may still run when the window has ended, and it
    // ends with the process, never after the state it works on.
    static veltrano::win32::DesktopApp app;
    char caption[260] = "";
    if (LoadStringA(instance, IDS_APP_NAME, caption, static_cast<int>(sizeof caption)) > 0) app.state.caption = caption;
    veltrano::win32::RunMainWindow(app);

    CoUninitialize();
    // Any running worker ends here with the process, before anything of the
    // state could be torn down under it.
    ExitProcess(0);
}
