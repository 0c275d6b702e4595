// The Result menu: the result list saved to, and loaded from, a text file
// of the user's choice, one result per line.
#pragma once

namespace veltrano {

struct AppState;

// True when the file was written.
bool SaveResults(AppState& state);
void LoadResults(AppState& state);

}  // namespace veltrano
