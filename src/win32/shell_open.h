// Handing texts to the shell. Page addresses and results come from the
// pages of strangers, so only web addresses are handed over: a result such
// as a local program path or a network share must never be started by a
// double-click.
#pragma once

#include <windows.h>

#include <string_view>

namespace veltrano::win32 {

// True when the text begins with "http://", "https://" or "ftp://", in
// letters of either case.
bool IsWebAddress(std::string_view text);

// The shell's "open" verb on the text; the outcome is not looked at.
void ShellOpen(HWND owner, std::string_view text);

// ShellOpen for a crawled text that is a web address; any other text is
// not opened.
void OpenCrawledText(HWND owner, std::string_view text);

}  // namespace veltrano::win32
