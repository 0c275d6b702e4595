// The working setup carried from one run to the next: grab mode, web site,
// skip mask and the two user lists, in the autosave set of Projects.
#pragma once

namespace veltrano {

struct AppState;

// Writes the autosave set from what the view shows now.
void Autosave(AppState& state);
// Reads the autosave set back into the state and the view.
void RestoreAutosave(AppState& state);

}  // namespace veltrano
