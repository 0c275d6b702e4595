#include "win32/result_box.h"

#include <string>

#include "state/lists.h"

namespace veltrano::win32 {

void SetUpResultBox(HWND box) {
    const HDC dc = GetDC(box);
    const HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(box, WM_GETFONT, 0, 0)));
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, previous);
    ReleaseDC(box, dc);
    SendMessageA(box, LB_SETITEMHEIGHT, 0, static_cast<LPARAM>(metrics.tmHeight));
}

void DrawResult(const DRAWITEMSTRUCT& item, const ResultList& results) {
    RECT area = item.rcItem;
    if (item.itemID == static_cast<UINT>(-1)) {
        // An empty box that has the focus shows only the focus frame.
        if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &area);
        return;
    }
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    FillRect(item.hDC, &area, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    SetTextColor(item.hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : disabled ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT));
    SetBkMode(item.hDC, TRANSPARENT);
    const std::string text = results.At(item.itemID);
    RECT textArea = area;
    textArea.left += 2;
    DrawTextA(item.hDC, text.c_str(), static_cast<int>(text.size()), &textArea, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &area);
}

}  // namespace veltrano::win32
