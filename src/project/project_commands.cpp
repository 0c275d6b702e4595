#include "project/project_commands.h"

#include <algorithm>
#include <optional>

#include "crawl/status.h"
#include "project/project_dialogs.h"
#include "project/project_store.h"
#include "state/app_state.h"
#include "state/view.h"

namespace veltrano {
void PromptSaveChanges(AppState& state) {
    if (!state.modified) return;
    if (state.view->AskYesNo("Save changes?")) SaveProject(state);
    state.modified = false;
}

void NewProject(AppState& state) {
    PromptSaveChanges(state);
    state.traffic = 0;
    state.modified = false;
    state.timerSeconds = 0;
    state.timerMinutes = 0;
    state.timerHours = 0;
    state.pageList.Clear();
    state.resultList.Clear();
    state.view->ListChanged(ListId::pages);
    state.view->ListChanged(ListId::results);
    RefreshStatus(state);
}

bool SaveProject(AppState& state) {
    View& view = *state.view;
    if (state.pageList.Count() == 0) {
        ShowInformation(view, "The current project is empty!");
        return false;
    }
    FileNameDialog dialog(view);
    if (!view.RunFileNameDialog(dialog)) return false;
    const std::string& name = dialog.Name();
    if (FileExists(ProjectPath(name, ProjectFileKind::SettingsFile)) &&
        !view.AskYesNo("The project exists. Overwrite?")) {
        return false;
    }
    CreateProjectFolder();
    // One set: a page file marked done never stands beside an older result
    // file. The settings file, which makes the project visible, goes last.
    const bool links = GrabsLinks(state.grabMode);
    FileSet files(view);
    files.List(ProjectPath(name, ProjectFileKind::PageFile), state.pageList)
        .List(ProjectPath(name, ProjectFileKind::ResultFile), state.resultList);
    if (links) {
        files.List(ProjectPath(name, ProjectFileKind::ExtensionFile), state.extensionList.Items());
    } else {
        files.List(ProjectPath(name, ProjectFileKind::PatternFile), state.patternList.Items());
    }
    files.Text(ProjectPath(name, ProjectFileKind::SettingsFile), ProjectSettingsText(state));
    if (!files.Commit()) return false;
    ShowInformation(view, "The current project is saved successfully.");
    state.modified = false;
    return true;
}

bool LoadProjectFiles(AppState& state, const std::string& name) {
    View& view = *state.view;
    const SettingsReader settings(ProjectPath(name, ProjectFileKind::SettingsFile));
    // Counts are never negative, whatever a hand-edited file says.
    state.timerSeconds = std::max(0, SettingsInt(settings.Number("TIMER_SEC")));
    state.timerMinutes = std::max(0, SettingsInt(settings.Number("TIMER_MIN")));
    state.timerHours = std::max(0, SettingsInt(settings.Number("TIMER_HOUR")));
    state.traffic = std::max<std::int64_t>(0, settings.Number("TRAFFIC"));
    state.grabMode = SettingsInt(settings.Number("GRAB_TYPE"));
    view.SetGrabSelection(state.grabMode);
    state.skipMask = settings.Text("SKIP_MASK");
    view.SetSkipMaskText(state.skipMask);

    if (!LoadPageListFile(view, ProjectPath(name, ProjectFileKind::PageFile), state.pageList)) return false;
    view.SetWebSiteText(state.pageList.Row(0).webPage.substr(0, kListAddressMax));
    view.ListChanged(ListId::pages);

    std::optional<std::vector<std::string>> results =
        ReadListFile(view, ProjectPath(name, ProjectFileKind::ResultFile));
    if (!results) return false;
    state.resultList.Assign(std::move(*results));
    view.ListChanged(ListId::results);

    const bool links = GrabsLinks(state.grabMode);
    std::optional<std::vector<std::string>> entries = ReadListFile(
        view, ProjectPath(name, links ? ProjectFileKind::ExtensionFile : ProjectFileKind::PatternFile));
    if (!entries) return false;
    if (links) {
        state.extensionList.Assign(std::move(*entries));
        view.ListChanged(ListId::extensions);
    } else {
        state.patternList.Assign(std::move(*entries));
        view.ListChanged(ListId::patterns);
    }
    RefreshStatus(state);
    ApplyGrabMode(state);
    return true;
}

void LoadProject(AppState& state) {
    PromptSaveChanges(state);
    LoadProjectDialog dialog(*state.view);
    if (!state.view->RunLoadProjectDialog(dialog)) return;
    LoadProjectFiles(state, LoadProjectDialog::ProjectName(dialog.Chosen()));
}

}  // namespace veltrano
