#include "project/result_files.h"

#include <optional>

#include "text/text_ops.h"
#include "project/project_store.h"
#include "state/app_state.h"
#include "state/view.h"

namespace veltrano {

bool SaveResults(AppState& state) {
    View& view = *state.view;
    if (state.resultList.Count() == 0) {
        ShowInformation(view, "There is no item to save!");
        return false;
    }
    const std::optional<std::string> path = view.ChooseFile({"Please select file to save result", "txt", false});
    if (!path) return false;
    if (FileExists(*path) && !view.AskYesNo("The file exists. Overwrite?")) return false;
    if (!WriteListFile(view, *path, state.resultList)) return false;
    ShowInformation(view, "Data is saved successfully.");
    return true;
}

void LoadResults(AppState& state) {
    View& view = *state.view;
    const std::optional<std::string> path = view.ChooseFile({"Please select a file", "", true});
    if (!path) return;
    std::optional<std::vector<std::string>> items = ReadListFile(view, *path);
    if (!items) return;
    state.resultList.Assign(std::move(*items));
    view.ListChanged(ListId::results);
    view.SetStatusLabel(StatusLabel::resultsTotal, FormatCount(state.resultList.Count()));
}

}  // namespace veltrano
