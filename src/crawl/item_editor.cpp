#include "crawl/item_editor.h"

#include <algorithm>

#include "state/lists.h"
#include "state/view.h"
#include "text/text_ops.h"

namespace veltrano {

bool ItemEditor::Open() {
    count_ = list_.Count();
    if (mode_ == ItemEditMode::add) {
        if (count_ < kEditorEntriesMax) return true;
        ShowInformation(view_, "Limit of count items is reached.");
        return false;
    }
    if (count_ == 0) {
        ShowInformation(view_, "There is no item for edit!");
        return false;
    }
    edited_ = list_.Selection();
    if (!edited_ || *edited_ >= count_) {
        ShowInformation(view_, "Please select an item for edit.");
        return false;
    }
    initial_ = list_.At(*edited_);
    return true;
}

bool ItemEditor::OnOk(std::string_view typed) {
    std::string text(typed.substr(0, kEntryTextMax));
    TrimBlanks(text);
    if (text.empty()) {
        ShowInformation(view_, "Please enter a text");
        return false;
    }
    // Whole texts, case kept: "MP3" is not "mp3". The edited entry may keep its text.
    for (std::size_t i = 0; i < std::min(count_, list_.Count()); ++i) {
        if (edited_ == i) continue;
        if (list_.At(i) == text) {
            ShowInformation(view_, "This item already exist!");
            return false;
        }
    }
    if (edited_) {
        list_.Replace(*edited_, std::move(text));
        list_.Select(edited_);
    } else {
        list_.Append(std::move(text));
        list_.Select(count_);
    }
    return true;
}

}  // namespace veltrano
