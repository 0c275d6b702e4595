// Everything the desktop program keeps for one main window: the state,
// the window's view of it and the downloader.
#pragma once

#include <windows.h>

#include "state/app_state.h"
#include "win32/urlmon_downloader.h"
#include "win32/window_view.h"

namespace veltrano::win32 {

struct DesktopApp {
    DesktopApp();
    DesktopApp(const DesktopApp&) = delete;
    DesktopApp& operator=(const DesktopApp&) = delete;

    AppState state;
    WindowView view{state};
    UrlmonDownloader downloader;
    // The preset popups, loaded with the window.
    HMENU presetMenus = nullptr;
};

// Runs the main window as a modal dialog on the calling thread until it
// ends; returns its result (2 after a close).
INT_PTR RunMainWindow(DesktopApp& app);

}  // namespace veltrano::win32
