// "Enter file name": the dialog that names a project to save.
#pragma once

#include <windows.h>

namespace veltrano {
class FileNameDialog;
}

namespace veltrano::win32 {

// Shows the dialog owned by `owner`; true when it closed with a name,
// which `dialog` then holds.
bool ShowFileNameDialog(HWND owner, FileNameDialog& dialog);

}  // namespace veltrano::win32
