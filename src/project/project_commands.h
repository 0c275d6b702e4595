// The Project menu: New project, Save project, Load project, and the
// unsaved-changes question that the first two and the window close ask.
#pragma once

#include <string>

namespace veltrano {

struct AppState;

void PromptSaveChanges(AppState& state);
void NewProject(AppState& state);
// True when every file of the project was written.
bool SaveProject(AppState& state);
void LoadProject(AppState& state);
// Loads the named project's files; what the Load project dialog's choice
// leads to. False when a list file could not be read.
bool LoadProjectFiles(AppState& state, const std::string& projectName);

}  // namespace veltrano
