// "Enter file name": the dialog that names a project to save.
#pragma once

namespace veltrano {
class FileNameDialog;
}

namespace veltrano::win32 {

class WindowView;

// Shows the dialog; true when it closed with a name, which `dialog` holds.
bool ShowFileNameDialog(WindowView& view, FileNameDialog& dialog);

}  // namespace veltrano::win32
