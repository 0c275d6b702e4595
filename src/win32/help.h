// The Help menu and the pattern editor's Help button: the user manual, a
// topic of it, and the product's home page.
#pragma once

#include <windows.h>

#include <string>

namespace veltrano::win32 {

inline constexpr const char* kHomePage = "https://veltrano.org/";

// The help file, the program's name with ".chm": in the working directory,
// or else the copy installed beside the program.
std::string HelpFile(const std::string& programName);

void OpenUserManual(HWND owner, const std::string& programName);
// Opens the help file at `topic` in the HTML Help viewer; topic 0 opens
// its start page.
void ShowHelpTopic(HWND owner, int topic, const std::string& programName);
void OpenHomePage(HWND owner);

}  // namespace veltrano::win32
