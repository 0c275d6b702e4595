// The result list box: a list box that holds only the number of results
// and draws each visible entry from the core's list.
#pragma once

#include <windows.h>

namespace veltrano {
class ResultList;
}

namespace veltrano::win32 {

// Gives the entries the height of a line of the box's font.
void SetUpResultBox(HWND box);
// WM_DRAWITEM for the box.
void DrawResult(const DRAWITEMSTRUCT& item, const ResultList& results);

}  // namespace veltrano::win32
