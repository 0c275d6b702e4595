// "Load project": the saved projects, to load one or delete some.
#pragma once

namespace veltrano {
class LoadProjectDialog;
}

namespace veltrano::win32 {

class WindowView;

// Shows the dialog; true when it closed with a project chosen, which
// `dialog` holds.
bool ShowLoadProjectDialog(WindowView& view, LoadProjectDialog& dialog);

}  // namespace veltrano::win32
