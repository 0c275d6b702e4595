// The item editor of the two user lists: "+" adds one entry, "..." replaces
// the selected one. The view shows the dialog and hands it the user's
// presses; this class says what happens.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace veltrano {

class View;
class EditableList;

enum class ItemEditMode { add, edit };

inline constexpr std::size_t kEntryTextMax = 99;  // what the editor's field takes
inline constexpr std::size_t kEditorEntriesMax = 100;  // the add mode opens below this count

class ItemEditor {
public:
    ItemEditor(View& view, EditableList& list, ItemEditMode mode) : view_(view), list_(list), mode_(mode) {}

    // The checks made before the dialog shows; false after the message when
    // the editor does not open.
    bool Open();
    std::string_view Title() const { return mode_ == ItemEditMode::add ? "Add item" : "Edit item"; }
    // What the field shows at first: the edited entry whole, or nothing.
    const std::string& InitialText() const { return initial_; }
    // OK with the field's text; true when the list changed and the dialog closes.
    bool OnOk(std::string_view typed);

private:
    View& view_;
    EditableList& list_;
    const ItemEditMode mode_;
    std::optional<std::size_t> edited_;
    std::size_t count_ = 0;  // the entries when the editor opened
    std::string initial_;
};

}  // namespace veltrano
