#include "win32/file_chooser.h"

#include <commdlg.h>

#include "win32/seams.h"

namespace veltrano::win32 {

std::optional<std::string> ShowFileChooser(HWND owner, const FileChooserRequest& request) {
    char path[MAX_PATH] = "";
    OPENFILENAMEA chooser{};
    chooser.lStructSize = sizeof chooser;
    chooser.hwndOwner = owner;
    chooser.lpstrFilter = "txt (*.txt)\0*.txt\0";
    chooser.lpstrFile = path;
    chooser.nMaxFile = sizeof path;
    chooser.lpstrTitle = request.title.c_str();
    chooser.lpstrDefExt = request.defaultExtension.empty() ? nullptr : request.defaultExtension.c_str();
    // The working directory stays: Projects and the page file are found there.
    chooser.Flags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR |
                    (request.fileMustExist ? OFN_FILEMUSTEXIST : 0);
    if (!CurrentSeams().chooseFile(chooser)) return std::nullopt;
    return std::string(path);
}

}  // namespace veltrano::win32
