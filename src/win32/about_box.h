// The About box: the picture, the name and version, the credits.
#pragma once

namespace veltrano::win32 {

class WindowView;

void AboutBox(WindowView& view);

}  // namespace veltrano::win32
