// The parser: turns the downloaded page into new rows of the page list
// (links to further pages of the site) and new results.
#pragma once

#include <string>
#include <string_view>

#include "text/pattern.h"
#include "state/app_state.h"

namespace veltrano {

enum class ListTarget { pages, results };

// The address a captured link stands for: used as it stands when it holds
// "://" or begins with a scheme, else resolved against the page's base
// address, or appended to the site address when the base is no full address.
std::string ResolveCapture(const AppState& state, std::string_view capture);

// An empty table accepts every address; "-" accepts one without extension.
bool ExtensionAccepted(const ExtensionTable& extensions, std::string_view extension);

// One run of a pattern over the page text. Each capture becomes an address
// (in link mode, filtered by the extension table and the site filter) and
// is added to the target list when new. Returns false when the target list
// refused an entry, which ends the run at once.
bool ScanPattern(const ExtensionTable& extensions, std::string_view siteFilter, AppState& state,
                 std::string_view text, bool linkMode, ListTarget target, CompiledPattern pattern);

// Runs the two page runs and the result runs over `text`, then refreshes
// the totals. False (after a message) when a page row could not be added.
bool ParsePageText(AppState& state, std::string_view text);

// Reads the temporary page file whole and parses it.
bool ParsePage(AppState& state);

}  // namespace veltrano
