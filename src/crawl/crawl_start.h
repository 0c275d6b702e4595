// The Start button: starts a fresh crawl, continues an unfinished one, or
// asks a running crawl to pause after its current page.
#pragma once

#include <string>
#include <string_view>

namespace veltrano {

struct AppState;

void StartOrPauseCrawl(AppState& state);

// The part of the site address that every page of the site must contain:
// what follows the first "www.", or else the first "http://", or the whole.
std::string SiteKey(std::string_view siteAddress);

}  // namespace veltrano
