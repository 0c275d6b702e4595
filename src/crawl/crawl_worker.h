// The crawl worker: walks the page list from the current row downwards on
// its own thread, one page at a time, until the last row, a pause request
// or a parser failure.
#pragma once

namespace veltrano {

struct AppState;

// The thread's whole job, end steps included.
void CrawlWorker(AppState& state);
// The page loop.
void ProcessPageList(AppState& state);
// Blocks until no worker is active.
void WaitForCrawlWorker(AppState& state);

}  // namespace veltrano
