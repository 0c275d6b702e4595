#include "project/autosave.h"

#include <optional>

#include "project/project_store.h"
#include "state/app_state.h"
#include "state/view.h"

namespace veltrano {

void Autosave(AppState& state) {
    View& view = *state.view;
    const std::string settings = AutosaveSettingsText(view.GrabSelection(), view.WebSiteText(), view.SkipMaskText());
    CreateProjectFolder();
    FileSet(view)
        .List(ProjectPath(kAutosaveName, ProjectFileKind::ExtensionFile), state.extensionList.Items())
        .List(ProjectPath(kAutosaveName, ProjectFileKind::PatternFile), state.patternList.Items())
        .Text(ProjectPath(kAutosaveName, ProjectFileKind::AutosaveSettingsFile), settings)
        .Commit();
}

void RestoreAutosave(AppState& state) {
    View& view = *state.view;
    const SettingsReader settings(ProjectPath(kAutosaveName, ProjectFileKind::AutosaveSettingsFile));
    // A number that names no entry leaves the "Grab:" box without a selection.
    state.grabMode = SettingsInt(settings.Number("GRAB_TYPE"));
    view.SetGrabSelection(state.grabMode);
    state.skipMask = settings.Text("SKIP_MASK");
    view.SetSkipMaskText(state.skipMask);
    state.siteAddress = settings.Text("WEB_SITE");
    view.SetWebSiteText(state.siteAddress);

    const auto restore = [&view](ProjectFileKind kind, EditableList& list, ListId id) {
        const std::string path = ProjectPath(kAutosaveName, kind);
        if (!FileExists(path)) return;
        if (std::optional<std::vector<std::string>> items = ReadListFile(view, path)) {
            list.Assign(std::move(*items));
            view.ListChanged(id);
        }
    };
    restore(ProjectFileKind::ExtensionFile, state.extensionList, ListId::extensions);
    restore(ProjectFileKind::PatternFile, state.patternList, ListId::patterns);
}

}  // namespace veltrano
