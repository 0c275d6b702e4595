#include "win32/seams.h"

#include <shellapi.h>

namespace veltrano::win32 {

Seams SystemSeams() {
    Seams seams;
    seams.messageBox = [](HWND owner, const std::string& text, const std::string& caption, UINT flags) {
        return MessageBoxA(owner, text.c_str(), caption.c_str(), flags);
    };
    seams.shellOpen = [](HWND owner, const std::string& file, const std::string& parameters) {
        ShellExecuteA(owner, "open", file.c_str(), parameters.empty() ? nullptr : parameters.c_str(), nullptr,
                      SW_SHOWNORMAL);
    };
    seams.beep = [] { MessageBeep(MB_OK); };
    seams.chooseFile = [](OPENFILENAMEA& request) { return GetOpenFileNameA(&request) != FALSE; };
    return seams;
}

Seams& CurrentSeams() {
    static Seams seams = SystemSeams();
    return seams;
}

}  // namespace veltrano::win32
