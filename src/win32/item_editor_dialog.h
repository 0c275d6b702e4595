// The item editor's dialog: template 130 for link extensions, 134 (with a
// Help button) for text patterns.
#pragma once

#include "crawl/item_editor.h"
#include "state/view.h"

namespace veltrano::win32 {

class WindowView;

// Opens the editor on the list shown as `list`, whose selection is taken
// from its box; the box shows the outcome.
void ShowItemEditor(WindowView& view, ListId list, ItemEditMode mode);

}  // namespace veltrano::win32
